#pragma once

#include "audio/audio_buffer.h"

namespace orvane {

// An offline look-ahead peak limiter. The gain starts to fall `attackSeconds` before a peak and
// reaches exactly what keeps that peak at `ceiling` (linear) when it arrives, then recovers with a
// time constant of `decaySeconds`. Because the whole buffer is at hand, the look-ahead adds no
// delay: the output lines up with the input. Channels share one gain so the stereo image holds.
struct PeakLimiter {
    double attackSeconds = 0.001;
    double decaySeconds = 0.05;
    double ceiling = 1.0;

    void process(AudioBuffer& buffer) const;
};

}  // namespace orvane
