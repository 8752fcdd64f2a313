#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

namespace orvane {

// Premultiplied 32-bit ARGB in native byte order (Cairo's ARGB32), rows `stride` bytes apart.
struct RgbaImage {
    int width = 0;
    int height = 0;
    int stride = 0;
    std::vector<std::uint8_t> pixels;
};

// Decodes the frame shown at `seconds` (the nearest frame at or before it; the first frame when the
// time lies before it) and scales it to fit within maxWidth x maxHeight, keeping the aspect ratio,
// applying the stream's rotation. Answers nothing when the file cannot be decoded.
std::optional<RgbaImage> extractVideoFrame(const std::filesystem::path& video, double seconds, int maxWidth,
                                           int maxHeight);

// Writes a PNG; false when the file cannot be written.
bool writePng(const RgbaImage& image, const std::filesystem::path& file);

}  // namespace orvane
