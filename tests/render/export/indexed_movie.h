#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

#include "media/video_frame.h"

namespace orvane::testing {

// A movie whose frame i is one flat colour that encodes i, so a decoded picture tells which frame
// it came from. Up to 216 frames; written with the exporter's own software encoder.
void writeIndexedMovie(const std::filesystem::path& file, int width, int height, int fps, int frames);

// The frame index a picture's centre encodes; nothing when the colour is not one of the codes.
std::optional<int> frameIndexOf(const RgbaImage& image);

// An animated GIF of flat frames: each colour (0xRRGGBB, each channel 0 or 255) shown for its
// delay in hundredths of a second.
struct GifFrame {
    std::uint32_t rgb = 0;
    int delayCentiseconds = 10;
};
void writeFlatGif(const std::filesystem::path& file, int width, int height, const std::vector<GifFrame>& frames);

// What a movie file holds, read packet by packet with libavformat.
struct MovieFacts {
    int packets = 0;
    double frameRate = 0;
    int profile = -1;  // FF_PROFILE_H264_*
    int width = 0;
    int height = 0;
    bool isH264 = false;
    std::vector<std::int64_t> framePositions;  // each packet's pts in frames, sorted
};
MovieFacts probeMovie(const std::filesystem::path& file);

}  // namespace orvane::testing
