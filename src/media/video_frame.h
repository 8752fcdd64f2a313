#pragma once

#include <filesystem>
#include <optional>

#include "media/decode/frame_decoder.h"

namespace orvane {

// Decodes the frame shown at `seconds` (the nearest frame at or before it; the first frame when the
// time lies before it) and scales it to fit within maxWidth x maxHeight, keeping the aspect ratio,
// applying the stream's rotation. Answers nothing when the file cannot be decoded.
std::optional<RgbaImage> extractVideoFrame(const std::filesystem::path& video, double seconds, int maxWidth,
                                           int maxHeight);

// Writes a PNG; false when the file cannot be written.
bool writePng(const RgbaImage& image, const std::filesystem::path& file);

}  // namespace orvane
