#pragma once

#include "audio/audio_buffer.h"

namespace orvane {

// The click heard at each press when click sounds are on: 25 ms of two damped partials (2.6 kHz
// and 5.3 kHz, 3 ms and 1.5 ms decay) with a 0.3 ms onset ramp, peaking near 0.5 at volume 1. It is
// synthesised, so no sample file ships with the program, and short enough that fast double clicks
// stay two clicks.
AudioBuffer synthesiseClick(int sampleRate, int channels, float volume);

}  // namespace orvane
