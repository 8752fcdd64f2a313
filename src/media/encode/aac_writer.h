#pragma once

// Include only in .cpp files that talk to FFmpeg.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "media/ffmpeg_handles.h"

namespace orvane {

// FFmpeg's AAC encoder fed with interleaved float frames. Packets carry timestamps in samples
// (time base 1 / sampleRate) and go to the sink as they come out.
class AacEncoder {
public:
    using PacketSink = std::function<void(AVPacket& packet)>;

    // `globalHeader`: the container wants the codec configuration out of band (MP4 does).
    // Throws std::runtime_error when the encoder cannot be opened with these values.
    AacEncoder(int sampleRate, int channels, std::int64_t bitRate, bool globalHeader);

    const AVCodecContext& context() const { return *codec_; }
    int sampleRate() const { return codec_->sample_rate; }
    int channels() const { return codec_->ch_layout.nb_channels; }
    // Frames handed in so far, including those still waiting for a whole encoder frame.
    std::int64_t framesPushed() const { return framesPushed_; }

    // Encodes whole encoder frames; a remainder is kept for the next call or finish().
    void push(const float* interleaved, std::size_t frames, const PacketSink& sink);
    // Encodes the remainder and drains the encoder.
    void finish(const PacketSink& sink);

private:
    void encodeFrame(const float* interleaved, int frames, const PacketSink& sink);
    void drain(const PacketSink& sink);

    ffmpeg::CodecContext codec_;
    ffmpeg::Frame frame_;
    ffmpeg::Packet packet_;
    std::vector<float> pending_;
    std::int64_t nextPts_ = 0;
    std::int64_t framesPushed_ = 0;
};


}  // namespace orvane
