#pragma once

// Include only in .cpp files that talk to FFmpeg.

#include <filesystem>
#include <functional>

#include "media/ffmpeg_handles.h"

namespace orvane {

// Writes an MP4 holding the first video stream of an existing movie, packet for packet, plus one
// audio stream the caller supplies. Everything goes to a hidden partial file that finish() renames
// over the output, so a failure never leaves a damaged file where the output should be. Throws
// std::runtime_error with the reason.
class VideoCopyMux {
public:
    VideoCopyMux(const std::filesystem::path& video, const std::filesystem::path& output);
    ~VideoCopyMux();
    VideoCopyMux(const VideoCopyMux&) = delete;
    VideoCopyMux& operator=(const VideoCopyMux&) = delete;

    // MP4 wants codec configuration out of band.
    bool wantsGlobalHeader() const;
    // The seconds of video the source holds (from its stream or container), or 0 when unknown.
    double videoDuration() const { return videoDuration_; }

    // Adds the audio stream; call once, before run().
    void addAudioStream(const AVCodecParameters& parameters, AVRational timeBase);

    // Writes the header, then the video packets in order. Before each one (and once after the last,
    // with +infinity) `audioUntil(seconds)` is asked to write audio up to that output time through
    // writeAudio(), so the two streams interleave. Then writes the trailer and renames the file.
    void run(const std::function<void(double untilSeconds)>& audioUntil);

    // One audio packet with timestamps in `timeBase`.
    void writeAudio(AVPacket& packet, AVRational timeBase);

private:
    ffmpeg::InputFormatContext input_;
    ffmpeg::OutputFormatContext output_;
    std::filesystem::path partial_;
    std::filesystem::path target_;
    AVStream* inputVideo_ = nullptr;
    AVStream* outputVideo_ = nullptr;
    AVStream* outputAudio_ = nullptr;
    double videoDuration_ = 0;
    bool finished_ = false;
};

}  // namespace orvane
