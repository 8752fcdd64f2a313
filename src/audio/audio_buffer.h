#pragma once

#include <cstddef>
#include <vector>

namespace orvane {

// Decoded audio as 32-bit float samples, interleaved frame by frame (L R L R ... for stereo).
struct AudioBuffer {
    int sampleRate = 48000;
    int channels = 2;
    std::vector<float> samples;

    std::size_t frames() const { return channels > 0 ? samples.size() / static_cast<std::size_t>(channels) : 0; }
    bool empty() const { return samples.empty(); }
};

}  // namespace orvane
