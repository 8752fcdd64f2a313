#pragma once

// Include only in .cpp files that talk to FFmpeg.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "media/ffmpeg_handles.h"

namespace orvane {

// What an audio track is compressed with: AAC everywhere, MP3 only where a user converts to it.
enum class AudioTrackCodec { aac, mp3 };

// Every audio track Orvane writes: FFmpeg's AAC encoder (or LAME for an .mp3 conversion) fed with
// interleaved float frames. Packets go to the sink as they come out, in the track's time base once
// addTrackTo() gave it one, otherwise in samples (1 / sampleRate).
class AacWriter {
public:
    // The packet is emptied after the call; the sink may take its contents.
    using PacketSink = std::function<void(AVPacket& packet)>;

    // `wanted` when the codec takes it, else 48 kHz, else the codec's first rate. Throws
    // std::runtime_error when the codec is not available.
    static int supportedSampleRate(AudioTrackCodec codec, int wanted);

    // `globalHeader`: the container wants the codec configuration out of band (MP4 does).
    // Throws std::runtime_error when the encoder cannot be opened with these values.
    AacWriter(int sampleRate, int channels, std::int64_t bitRate, bool globalHeader,
              AudioTrackCodec codec = AudioTrackCodec::aac);
    // Opens the encoder for a track of `output` and adds the track.
    AacWriter(AVFormatContext& output, int sampleRate, int channels, std::int64_t bitRate,
              AudioTrackCodec codec = AudioTrackCodec::aac);

    const AVCodecContext& context() const { return *codec_; }
    AVStream* stream() const { return stream_; }
    int sampleRate() const { return codec_->sample_rate; }
    int channels() const { return codec_->ch_layout.nb_channels; }
    // Frames handed in so far, including those still waiting for a whole encoder frame.
    std::int64_t framesPushed() const { return framesPushed_; }

    // Where the first sample lies on the movie's clock, in samples; before the first push().
    void startAt(std::int64_t sample) { nextPts_ = sample; }

    // Encodes whole encoder frames; a remainder is kept for the next call or finish().
    void push(const float* interleaved, std::size_t frames, const PacketSink& sink);
    // The same for samples at another rate or channel count, converted first.
    void pushConverted(const float* interleaved, int frames, int channels, int sampleRate, const PacketSink& sink);
    // Encodes the remainder and drains the encoder.
    void finish(const PacketSink& sink);

private:
    void encodeFrame(const float* interleaved, int frames, const PacketSink& sink);
    void drain(const PacketSink& sink);

    ffmpeg::CodecContext codec_;
    ffmpeg::Frame frame_;
    ffmpeg::Packet packet_;
    AVStream* stream_ = nullptr;
    std::vector<float> pending_;
    std::int64_t nextPts_ = 0;
    std::int64_t framesPushed_ = 0;
    ffmpeg::ResampleContext resampler_;
    int resamplerRate_ = 0;
    int resamplerChannels_ = 0;
    std::vector<float> converted_;
};

}  // namespace orvane
