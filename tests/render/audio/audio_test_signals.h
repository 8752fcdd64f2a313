#pragma once

#include <cstddef>
#include <vector>

#include "render/audio/audio_buffer.h"

namespace orvane::testing {

// A sine of `amplitude` (linear peak) in every channel.
AudioBuffer sineBuffer(double frequency, double amplitude, double seconds, int sampleRate = 48000, int channels = 1);

// Root-mean-square level of each consecutive `windowSeconds` window, over all channels.
std::vector<double> windowRms(const AudioBuffer& buffer, double windowSeconds);

double peakLevel(const AudioBuffer& buffer);

}  // namespace orvane::testing
