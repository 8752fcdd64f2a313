#pragma once

#include <cstdint>
#include <functional>
#include <memory>

struct AVCodecContext;
struct AVPacket;

namespace orvane {

// AAC-LC through libavcodec, fed interleaved float samples of any length; it cuts them into the
// encoder's 1024-sample frames and stamps packets in samples from 0. Not thread-safe.
class AacTrackEncoder {
public:
    using PacketSink = std::function<void(AVPacket* packet)>;

    // `globalHeader` for containers that keep the codec set-up in the header (MP4). Throws
    // std::runtime_error when the encoder is missing or refuses the settings.
    AacTrackEncoder(int sampleRate, int channels, std::int64_t bitRate, bool globalHeader);
    AacTrackEncoder(const AacTrackEncoder&) = delete;
    AacTrackEncoder& operator=(const AacTrackEncoder&) = delete;
    ~AacTrackEncoder();

    AVCodecContext* context() const;
    // Encodes whole frames as they fill; the rest waits for more samples or flush(). Throws on errors.
    void push(const float* interleaved, int frames, const PacketSink& sink);
    // Encodes what is left (padded with silence) and drains the encoder.
    void flush(const PacketSink& sink);
    std::int64_t framesPushed() const { return framesPushed_; }

private:
    void encodePending(bool final, const PacketSink& sink);
    void drain(const PacketSink& sink);

    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::int64_t framesPushed_ = 0;
};

}  // namespace orvane
