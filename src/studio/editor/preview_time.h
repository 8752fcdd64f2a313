#pragma once

#include "model/edit.h"

namespace orvane::studio {

// The output time at which the export shows composition time `compositionTime`: the inverse of
// compositionTimeForOutputTime over the trim window and the speed ramps. The preview renders by
// output time, exactly as the export does, so the playhead (composition time) goes through here.
// Times before the trim window give 0, times after it the output's end.
double outputTimeForCompositionTime(double compositionTime, const TimelineEdit& timeline);

}  // namespace orvane::studio
