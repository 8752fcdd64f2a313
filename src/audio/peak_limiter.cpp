#include "audio/peak_limiter.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <vector>

namespace orvane {

namespace {

// The minimum of `values` over each trailing window [i - width, i] (monotonic deque, O(n)).
std::vector<float> trailingMinimum(const std::vector<float>& values, std::size_t width) {
    std::vector<float> out(values.size());
    std::deque<std::size_t> window;
    for (std::size_t i = 0; i < values.size(); ++i) {
        while (!window.empty() && values[window.back()] >= values[i]) window.pop_back();
        window.push_back(i);
        if (window.front() + width < i) window.pop_front();
        out[i] = values[window.front()];
    }
    return out;
}

}  // namespace

void PeakLimiter::process(AudioBuffer& buffer) const {
    const std::size_t frames = buffer.frames();
    const auto channels = static_cast<std::size_t>(buffer.channels);
    if (frames == 0 || channels == 0) return;
    const auto lookAhead = static_cast<std::size_t>(std::max(1.0, std::round(attackSeconds * buffer.sampleRate)));
    const double recovery = std::exp(-1.0 / std::max(1.0, decaySeconds * buffer.sampleRate));

    // The gain each frame needs on its own, released smoothly towards 1 but never above the need.
    std::vector<float> envelope(frames);
    double gain = 1.0;
    for (std::size_t i = 0; i < frames; ++i) {
        double peak = 0;
        for (std::size_t c = 0; c < channels; ++c)
            peak = std::max(peak, static_cast<double>(std::fabs(buffer.samples[i * channels + c])));
        const double needed = peak > ceiling ? ceiling / peak : 1.0;
        gain = std::min(needed, 1.0 - (1.0 - gain) * recovery);
        envelope[i] = static_cast<float>(gain);
    }
    // Each frame's gain is the mean over the next look-ahead window of trailing minima. Every term of
    // that mean already covers frame i's own need, so the mean does too, and the drop towards a peak
    // is spread over the attack time instead of happening in one step.
    const auto held = trailingMinimum(envelope, lookAhead);
    double sum = 0;
    std::size_t count = 0;
    for (std::size_t j = 0; j <= lookAhead && j < frames; ++j, ++count) sum += held[j];
    for (std::size_t i = 0; i < frames; ++i) {
        // Near the end the window shrinks; what is left of it still covers frame i.
        const double g = sum / static_cast<double>(count);
        for (std::size_t c = 0; c < channels; ++c) {
            buffer.samples[i * channels + c] = static_cast<float>(buffer.samples[i * channels + c] * g);
        }
        sum -= held[i];
        --count;
        if (i + lookAhead + 1 < frames) {
            sum += held[i + lookAhead + 1];
            ++count;
        }
    }
}

}  // namespace orvane
