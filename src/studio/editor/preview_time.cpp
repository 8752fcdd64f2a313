#include "studio/editor/preview_time.h"

#include "model/time_mapping.h"

namespace orvane::studio {

double outputTimeForCompositionTime(double compositionTime, const TimelineEdit& timeline) {
    const double end = outputDuration(timeline.trimStart, timeline.trimEnd, timeline.speedRamps);
    if (end <= 0 || compositionTime <= timeline.trimStart) return 0;
    const auto shown = [&](double output) {
        return compositionTimeForOutputTime(output, timeline.trimStart, timeline.speedRamps);
    };
    if (compositionTime >= shown(end)) return end;
    // The map is piecewise linear and non-decreasing; bisection stays exact enough (2^-60 of the
    // length) without re-deriving the ramp algebra that time_mapping owns.
    double low = 0;
    double high = end;
    for (int i = 0; i < 60 && high - low > 1e-9; ++i) {
        const double middle = (low + high) / 2;
        (shown(middle) < compositionTime ? low : high) = middle;
    }
    return high;
}

}  // namespace orvane::studio
