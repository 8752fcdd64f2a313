#pragma once

#include <cstddef>
#include <vector>

#include "model/clip.h"

namespace orvane {

// The longest stretch of empty timeline before a clip, in seconds. A pause between clips lasts
// seconds or minutes; a gap of hours comes from a damaged or hand-written file and would have every
// render, export and mix walk through that much nothing, frame by frame.
inline constexpr double kMaximumClipGap = 10.0 * 60;

// Keeps the gap before every clip within 0...kMaximumClipGap; answers how many were outside it.
std::size_t keepClipGapsWithin(std::vector<Clip>& clips);

}  // namespace orvane
