#pragma once

#include "model/export_profile.h"
#include "model/scene_render_snapshot.h"

namespace orvane {

// How far timed items reach beyond their own span, in seconds: an item counts for a segment when
// its widened span meets the segment's window.
inline constexpr double kZoomLeadReach = 0.42;         // ease-in before a zoom's start...
inline constexpr double kZoomTailReach = 0.62;         // ...and ease-out after its end (at least)
inline constexpr double kInteractionLeadReach = 0.12;  // the press glyph shows this early
inline constexpr double kInteractionTailReach = 1.0;   // gesture marks fade out within this
// Sampled paths keep this much on each side, which covers cursor trails and motion blur looking back.
inline constexpr double kSampleMargin = 1.0;

// The times a segment's frames are drawn at: composition seconds from its first frame to the first
// frame after it (end exclusive). The compositor evaluates zooms, clicks, gestures, the cursor,
// captions and overlays on this clock, and the clip list maps it to recording time, so one range
// serves a segment whatever clips it crosses.
struct SegmentWindow {
    double start = 0;
    double end = 0;
    int frameCount = 0;

    bool operator==(const SegmentWindow&) const = default;
};

// Output frame / fps -> composition time, through the trim start and the speed ramps.
// Throws std::invalid_argument for a segment that ends before it starts or starts below frame 0.
SegmentWindow segmentWindow(const SceneRenderSnapshot& snapshot, int fps, const RenderSegment& segment);

// Whether an item holding [a, b] (both ends drawn) shows in the window: max(start, a) < min(end, b),
// also counting an item that ends exactly on the window's first frame.
bool touchesWindow(double a, double b, const SegmentWindow& window);

// The snapshot with only what can draw inside the window: zooms within [start - 0.42, end + 0.62]
// (or their own ease when longer), enabled click annotations within their animation, gestures
// within their reach, captions, overlays and cursor style overrides over their spans, and the
// cursor and camera samples around the window (with the neighbours that interpolation reads).
// Everything else is kept as it is.
SceneRenderSnapshot snapshotForWindow(const SceneRenderSnapshot& snapshot, const SegmentWindow& window);

}  // namespace orvane
