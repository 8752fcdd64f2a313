#pragma once

#include <vector>

#include "model/export_profile.h"

namespace orvane {

// Frames composed between two cancellation checks; smaller for large frames to bound the decoded
// pictures held at once.
int exportBatchSize(int width, int height);

// Segment workers for `processors` cores: 3 above 5 cores, 2 from 2 to 5, 1 on one core
// (or when the count is unknown); at most 2 for outputs 3000 pixels or more on the longer side,
// since each worker holds its own decoders, frames and encoder; never more than `missingSegments`.
int segmentWorkerCount(unsigned processors, int width, int height, int missingSegments);

// Output frames per segment: two seconds of video. Fixed so that segment boundaries, and with them
// the cache keys of unchanged segments, stay put between exports of the same edit.
int segmentFrameCount(int fps);

// Cuts [0, frameCount) into consecutive segments of segmentFrameCount(fps) frames; the last holds
// what is left.
std::vector<RenderSegment> cutIntoSegments(long long frameCount, int fps);

}  // namespace orvane
