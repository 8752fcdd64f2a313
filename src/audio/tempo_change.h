#pragma once

#include <cstddef>

#include "audio/audio_buffer.h"

namespace orvane {

// Plays `input` at `speed` times its rate without changing its pitch (libavfilter's atempo, chained
// where one instance cannot reach the speed), so a sped-up or slowed-down stretch of speech stays
// intelligible. The answer holds exactly `targetFrames` frames: what atempo's frame rounding leaves
// over or short is trimmed or padded with silence at the end. Throws std::runtime_error when the
// filter cannot run.
AudioBuffer changeTempo(const AudioBuffer& input, double speed, std::size_t targetFrames);

}  // namespace orvane
