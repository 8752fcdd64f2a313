#include "audio_test_signals.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace orvane::testing {

AudioBuffer sineBuffer(double frequency, double amplitude, double seconds, int sampleRate, int channels) {
    AudioBuffer buffer;
    buffer.sampleRate = sampleRate;
    buffer.channels = channels;
    const auto frames = static_cast<std::size_t>(std::llround(seconds * sampleRate));
    buffer.samples.resize(frames * static_cast<std::size_t>(channels));
    for (std::size_t i = 0; i < frames; ++i) {
        const auto value = static_cast<float>(amplitude * std::sin(2 * std::numbers::pi * frequency * static_cast<double>(i) / sampleRate));
        for (int c = 0; c < channels; ++c) buffer.samples[i * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)] = value;
    }
    return buffer;
}

std::vector<double> windowRms(const AudioBuffer& buffer, double windowSeconds) {
    const auto window = static_cast<std::size_t>(std::llround(windowSeconds * buffer.sampleRate)) * static_cast<std::size_t>(buffer.channels);
    std::vector<double> levels;
    for (std::size_t start = 0; start + window <= buffer.samples.size(); start += window) {
        double sum = 0;
        for (std::size_t i = start; i < start + window; ++i) sum += static_cast<double>(buffer.samples[i]) * buffer.samples[i];
        levels.push_back(std::sqrt(sum / static_cast<double>(window)));
    }
    return levels;
}

double peakLevel(const AudioBuffer& buffer) {
    double peak = 0;
    for (float s : buffer.samples) peak = std::max(peak, static_cast<double>(std::fabs(s)));
    return peak;
}

}  // namespace orvane::testing
