#include "model/clip_gap.h"

#include <algorithm>
#include <cmath>

namespace orvane {

std::size_t keepClipGapsWithin(std::vector<Clip>& clips) {
    std::size_t changed = 0;
    for (auto& clip : clips) {
        // NaN is no length of time; it reads as no gap.
        const double kept = std::isnan(clip.headOffset) ? 0.0 : std::clamp(clip.headOffset, 0.0, kMaximumClipGap);
        if (kept != clip.headOffset || std::isnan(clip.headOffset)) {
            clip.headOffset = kept;
            ++changed;
        }
    }
    return changed;
}

}  // namespace orvane
