#pragma once

#include <cstdint>
#include <filesystem>

#include "base/geometry.h"

namespace orvane {

struct SampleVideoLayout {
    int width = 640;
    int height = 360;
    int fps = 30;
    double seconds = 2.0;
    bool withAudio = true;  // a 440 Hz AAC tone, 48 kHz stereo
    // Clockwise rotation (0, 90, 180 or 270) stored in the container's display matrix, as a phone
    // recording held upright would carry it.
    int rotationDegrees = 0;
};

// Where the pattern's white box sits in frame `frameIndex`, in stored (unrotated) pixels. The box
// moves every frame, so a decoded frame tells which frame it is.
Rect sampleVideoBoxRect(const SampleVideoLayout& options, std::int64_t frameIndex);

// Encodes a synthetic MP4 (H.264 through libx264, moving test pattern) in-process: the demo's source
// and the tests' fixture. Throws std::runtime_error when encoding fails; no partial file remains.
void writeSampleVideo(const std::filesystem::path& file, const SampleVideoLayout& options);

}  // namespace orvane
