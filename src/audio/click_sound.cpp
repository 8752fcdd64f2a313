#include "audio/click_sound.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace orvane {

AudioBuffer synthesiseClick(int sampleRate, int channels, float volume) {
    AudioBuffer click;
    click.sampleRate = sampleRate;
    click.channels = channels;
    const auto frames = static_cast<std::size_t>(0.025 * sampleRate);
    click.samples.resize(frames * static_cast<std::size_t>(channels));
    const double twoPi = 2 * std::numbers::pi;
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / sampleRate;
        const double onset = std::min(1.0, t / 0.0003);
        const double value = onset * (0.4 * std::exp(-t / 0.003) * std::sin(twoPi * 2600 * t) +
                                      0.25 * std::exp(-t / 0.0015) * std::sin(twoPi * 5300 * t));
        for (int c = 0; c < channels; ++c) {
            click.samples[i * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)] =
                static_cast<float>(value * volume);
        }
    }
    return click;
}

}  // namespace orvane
