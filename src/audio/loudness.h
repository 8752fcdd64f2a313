#pragma once

#include "audio/audio_buffer.h"

namespace orvane {

// Integrated loudness in LUFS after ITU-R BS.1770 (K-weighting, 400 ms blocks every 100 ms, an
// absolute gate at -70 LUFS and a relative gate 10 LU below the ungated level), measured by
// libebur128. Silence, a buffer shorter than one block and an empty buffer all measure -infinity.
// Channels follow the usual order (left, right, centre, LFE, surrounds); the LFE does not count.
// Throws std::runtime_error when the measurement cannot be set up (bad rate or channels).
double integratedLoudness(const AudioBuffer& buffer);

}  // namespace orvane
