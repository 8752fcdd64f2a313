#include "export/cache/segment_window.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "model/camera/zoom_camera.h"
#include "model/time_mapping.h"
#include "render/cursor/click_animation.h"

namespace orvane {

namespace {

template <typename T, typename Span>
std::vector<T> keepTouching(const std::vector<T>& items, const SegmentWindow& window, Span span) {
    std::vector<T> kept;
    for (const T& item : items) {
        const auto [a, b] = span(item);
        if (touchesWindow(a, b, window)) kept.push_back(item);
    }
    return kept;
}

// Samples within the margin, plus the nearest one outside on each side: interpolation between
// neighbours and holding the first or last value both read them.
template <typename Sample>
std::vector<Sample> samplesAround(const std::vector<Sample>& samples, const SegmentWindow& window) {
    const double from = window.start - kSampleMargin;
    const double to = window.end + kSampleMargin;
    const auto byTime = [](const Sample& sample, double t) { return sample.t < t; };
    auto first = std::lower_bound(samples.begin(), samples.end(), from, byTime);
    auto last = std::upper_bound(samples.begin(), samples.end(), to,
                                 [](double t, const Sample& sample) { return t < sample.t; });
    if (first != samples.begin()) --first;
    if (last != samples.end()) ++last;
    return {first, last};
}

}  // namespace

SegmentWindow segmentWindow(const SceneRenderSnapshot& snapshot, int fps, const RenderSegment& segment) {
    if (segment.startFrame < 0 || segment.endFrame < segment.startFrame) {
        throw std::invalid_argument("segment " + std::to_string(segment.index) + " has an invalid frame range " +
                                    std::to_string(segment.startFrame) + "..." + std::to_string(segment.endFrame));
    }
    const double rate = std::max(fps, 1);
    return {compositionTimeForFrame(segment.startFrame, rate, snapshot.edit.timeline.trimStart,
                                    snapshot.edit.timeline.speedRamps),
            compositionTimeForFrame(segment.endFrame, rate, snapshot.edit.timeline.trimStart,
                                    snapshot.edit.timeline.speedRamps),
            segment.frameCount()};
}

bool touchesWindow(double a, double b, const SegmentWindow& window) {
    return std::max(window.start, a) < std::min(window.end, b) || (a <= window.start && window.start <= b);
}

SceneRenderSnapshot snapshotForWindow(const SceneRenderSnapshot& snapshot, const SegmentWindow& window) {
    SceneRenderSnapshot s = snapshot;
    s.edit.timeline.zoomRegions = keepTouching(snapshot.edit.timeline.zoomRegions, window, [](const ZoomRegion& zoom) {
        // The camera eases for as long as the region's own ramps say, which may pass the usual reach.
        const ZoomEase ease = zoomEase(zoom);
        return std::pair{zoom.start - std::max(kZoomLeadReach, ease.leadIn),
                         zoom.end + std::max(kZoomTailReach, ease.leadOut)};
    });
    s.edit.cursor.annotations.clear();
    for (const ClickAnnotation& annotation : snapshot.edit.cursor.annotations) {
        // Disabled annotations draw nothing, so they never change a segment.
        if (annotation.enabled && touchesWindow(annotation.time, annotation.time + kClickAnnotationLife, window)) {
            s.edit.cursor.annotations.push_back(annotation);
        }
    }
    s.edit.cursor.cursorInteractions =
        keepTouching(snapshot.edit.cursor.cursorInteractions, window, [](const CursorInteraction& gesture) {
            // An end before the start is drawn as an instant gesture.
            const double end = std::max(gesture.endTime, gesture.startTime);
            return std::pair{gesture.startTime - kInteractionLeadReach, end + kInteractionTailReach};
        });
    s.edit.captions.captions = keepTouching(snapshot.edit.captions.captions, window, [](const CaptionSegment& caption) {
        return std::pair{caption.start, caption.end};
    });
    s.edit.overlays.videoOverlays =
        keepTouching(snapshot.edit.overlays.videoOverlays, window, [](const VideoOverlayClip& overlay) {
            return std::pair{overlay.startTime, overlay.startTime + overlay.duration};
        });
    s.edit.cursor.cursorStyleOverrides =
        keepTouching(snapshot.edit.cursor.cursorStyleOverrides, window, [](const CursorStyleOverride& o) {
            return std::pair{o.startTime, o.endTime};
        });
    s.cursorSamples = samplesAround(snapshot.cursorSamples, window);
    s.cameraSamples = samplesAround(snapshot.cameraSamples, window);
    return s;
}

}  // namespace orvane
