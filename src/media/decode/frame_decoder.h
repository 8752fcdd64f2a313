#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "base/geometry.h"

struct AVFrame;

namespace orvane {

// Premultiplied 32-bit ARGB in native byte order (Cairo's ARGB32), rows `stride` bytes apart.
struct RgbaImage {
    int width = 0;
    int height = 0;
    int stride = 0;
    std::vector<std::uint8_t> pixels;
};

// One decoded picture of a movie, in Cairo's ARGB32, shared by every output frame that shows it.
struct DecodedFrameImage {
    double time = 0;  // seconds on the file's clock, from its first frame
    RgbaImage image;
};
using DecodedFrame = std::shared_ptr<const DecodedFrameImage>;

// How pictures come out of a decoder: fitted inside maxWidth x maxHeight keeping the aspect ratio
// (after the stream's rotation), never enlarged. Scaling in the converter is far cheaper than
// drawing a full-size picture small.
struct DecodeOptions {
    int maxWidth = 16384;
    int maxHeight = 16384;
    int threads = 0;  // decoder (frame) threads; 0 lets FFmpeg choose
};

// Decoded frames within this much of a requested time count as at it: times go through doubles on
// both sides, and a frame at exactly t must not be missed by a rounding error.
inline constexpr double kFrameTimeTolerance = 0.0001;

// A decoded frame not converted yet; converting is the expensive part, and frames nobody shows are
// never converted.
struct PendingFrame {
    double time = 0;
    double duration = 0;  // 0 when the file does not say
    std::shared_ptr<AVFrame> frame;
    DecodedFrame converted;
};

// The video stream of one file: demuxer, frame-threaded decoder and one conversion to ARGB32 at the
// decode size, turned upright by the stream's rotation. One thread at a time.
class FrameDecoder {
public:
    // Throws std::runtime_error naming the file when it has no decodable video.
    FrameDecoder(std::filesystem::path file, const DecodeOptions& options);
    ~FrameDecoder();
    FrameDecoder(const FrameDecoder&) = delete;
    FrameDecoder& operator=(const FrameDecoder&) = delete;

    const std::filesystem::path& file() const;
    Size displaySize() const;  // after rotation
    double duration() const;   // seconds; 0 when the file does not say

    // Moves the read position to the key frame at or before `seconds`. False when the file cannot
    // seek; the read position is then unchanged.
    bool seek(double seconds);
    // The next frame in presentation order; nothing at the end of the file. Throws
    // std::runtime_error with the reader's error.
    std::optional<PendingFrame> read();
    // The last frame at or before `seconds` (the first when all lie after it), by seeking; nothing
    // when nothing decodes.
    std::optional<PendingFrame> readAt(double seconds);
    // The frame as ARGB32 at the decode size; converted once, later calls answer the same picture.
    DecodedFrame convert(PendingFrame& pending);

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace orvane
