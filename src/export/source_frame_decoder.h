#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "base/geometry.h"
#include "media/decode/frame_decoder.h"

namespace orvane {

// What a video file holds, read without decoding.
struct VideoFileInfo {
    Size displaySize;     // after rotation
    double duration = 0;  // seconds; 0 when the file does not say
};

// Throws std::runtime_error naming the file when it has no decodable video.
VideoFileInfo readVideoFileInfo(const std::filesystem::path& file);

// Reads a movie forward only, for output frames that ask for increasing source times. Seeks once,
// on first use, to the key frame before the first time asked for, then only decodes forward.
class SequentialSourceFrameDecoder {
public:
    // Opens lazily; `frameDuration` is the output frame's duration in seconds.
    SequentialSourceFrameDecoder(std::filesystem::path file, double frameDuration, DecodeOptions options);
    ~SequentialSourceFrameDecoder();
    SequentialSourceFrameDecoder(const SequentialSourceFrameDecoder&) = delete;
    SequentialSourceFrameDecoder& operator=(const SequentialSourceFrameDecoder&) = delete;

    // The frame shown at source time `t`: moves on while the next frame starts no later than half an
    // output frame after `t`. Once the file runs dry it keeps answering its last frame. Nothing when
    // the file gave no frame at all. Throws std::runtime_error with the reader's error.
    DecodedFrame frameAt(double t);

    bool isFinished() const;
    // The time of the frame frameAt last answered; for noticing requests that go backwards.
    std::optional<double> currentTime() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Decodes the frame at any time by seeking; the fallback when forward reading cannot serve a time.
class RandomAccessFrameSource {
public:
    RandomAccessFrameSource(std::filesystem::path file, double frameDuration, DecodeOptions options);
    ~RandomAccessFrameSource();
    RandomAccessFrameSource(const RandomAccessFrameSource&) = delete;
    RandomAccessFrameSource& operator=(const RandomAccessFrameSource&) = delete;

    // The last frame at or before `t`. Past the end of the file, the last frame that still lies one
    // frame before the end. Nothing when nothing decodes; throws std::runtime_error on read errors.
    DecodedFrame frameAt(double t);

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Where random access looks for `t` in a file `assetDuration` long (0 when unknown).
double randomAccessTime(double t, double assetDuration, double frameDuration);

// Every frame of a short animation (an animated GIF) with the time each one ends.
struct DecodedAnimation {
    std::vector<DecodedFrame> frames;
    std::vector<double> cumulativeEndTimes;  // seconds, increasing, one per frame
};

// Nothing when the file is not an animation FFmpeg can read or holds a single frame.
std::optional<DecodedAnimation> decodeAnimation(const std::filesystem::path& file, const DecodeOptions& options);

}  // namespace orvane
