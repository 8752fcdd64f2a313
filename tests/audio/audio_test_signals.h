#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numbers>
#include <vector>

#include "audio/audio_buffer.h"

namespace orvane::testing {

// A sine of `amplitude` (linear peak) in every channel.
inline AudioBuffer sineBuffer(double frequency, double amplitude, double seconds, int sampleRate = 48000,
                              int channels = 1) {
    AudioBuffer buffer;
    buffer.sampleRate = sampleRate;
    buffer.channels = channels;
    const auto frames = static_cast<std::size_t>(std::llround(seconds * sampleRate));
    const auto width = static_cast<std::size_t>(channels);
    buffer.samples.resize(frames * width);
    for (std::size_t i = 0; i < frames; ++i) {
        const auto value = static_cast<float>(
            amplitude * std::sin(2 * std::numbers::pi * frequency * static_cast<double>(i) / sampleRate));
        std::fill_n(buffer.samples.begin() + static_cast<std::ptrdiff_t>(i * width), width, value);
    }
    return buffer;
}

// Root-mean-square level of each consecutive `windowSeconds` window, over all channels.
inline std::vector<double> windowRms(const AudioBuffer& buffer, double windowSeconds) {
    const auto window = static_cast<std::size_t>(std::llround(windowSeconds * buffer.sampleRate)) *
                        static_cast<std::size_t>(buffer.channels);
    std::vector<double> levels;
    for (std::size_t start = 0; start + window <= buffer.samples.size(); start += window) {
        double sum = 0;
        for (std::size_t i = start; i < start + window; ++i)
            sum += static_cast<double>(buffer.samples[i]) * buffer.samples[i];
        levels.push_back(std::sqrt(sum / static_cast<double>(window)));
    }
    return levels;
}

inline double peakLevel(const AudioBuffer& buffer) {
    double peak = 0;
    for (float s : buffer.samples) peak = std::max(peak, static_cast<double>(std::fabs(s)));
    return peak;
}

}  // namespace orvane::testing
