#pragma once

#include <filesystem>

namespace orvane {

struct SampleVideoSpec {
    int width = 640;
    int height = 360;
    int fps = 30;
    double seconds = 2.0;
    bool withAudio = true;  // a 440 Hz AAC tone, 48 kHz stereo
};

// Encodes a synthetic MP4 (H.264 through libx264, moving test pattern) in-process: the demo's source
// and the tests' fixture. Throws std::runtime_error when encoding fails; no partial file remains.
void writeSampleVideo(const std::filesystem::path& file, const SampleVideoSpec& spec);

}  // namespace orvane
