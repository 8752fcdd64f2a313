#include "export/render_plan.h"

#include <algorithm>

namespace orvane {

namespace {

constexpr int kSegmentSeconds = 2;

int longerSide(int width, int height) { return std::max(width, height); }

}  // namespace

int exportBatchSize(int width, int height) {
    const int side = longerSide(width, height);
    if (side >= 3000) return 4;
    if (side >= 1800) return 8;
    return 12;
}

int segmentWorkerCount(unsigned processors, int width, int height, int missingSegments) {
    if (missingSegments <= 0) return 0;
    // A worker composes and converts its frames on one thread while its decoder and encoder use
    // others; with a single worker on two cores that thread is the bottleneck and a core idles.
    int workers = 1;
    if (processors > 5) {
        workers = 3;
    } else if (processors > 1) {
        workers = 2;
    }
    if (longerSide(width, height) >= 3000) workers = std::min(workers, 2);
    return std::max(1, std::min(workers, missingSegments));
}

int segmentFrameCount(int fps) { return std::max(fps, 1) * kSegmentSeconds; }

std::vector<RenderSegment> cutIntoSegments(long long frameCount, int fps) {
    std::vector<RenderSegment> segments;
    const long long length = segmentFrameCount(fps);
    for (long long start = 0; start < frameCount; start += length) {
        const long long end = std::min(start + length, frameCount);
        segments.push_back(
            RenderSegment{static_cast<int>(segments.size()), static_cast<int>(start), static_cast<int>(end)});
    }
    return segments;
}

}  // namespace orvane
