#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "base/geometry.h"
#include "model/camera/zoom_camera.h"
#include "model/scene_render_snapshot.h"

namespace orvane {

// The geometry in this header uses the output canvas's own convention: origin at the bottom-left,
// y up, in output pixels. Normalised inputs (focus, crop, recording frame) are top-left fractions
// and are flipped with 1 - y where they meet the canvas. Drawing code converts with
// topLeftRect() at its edge.

// The camera at composition time t: the snapshot's sampled path when it has one, otherwise the
// first zoom region active at t, otherwise no zoom.
CameraState sceneZoomState(const SceneRenderSnapshot& snapshot, double t);

// How far the camera is zoomed in at t (0...1): the strongest region ramp. Drives the face-camera
// shrink.
double sceneZoomPresence(const SceneRenderSnapshot& snapshot, double t);

// Zoom states per output frame for one render attempt, so the region scan runs once per frame
// index. Frame i shows the composition time of output time i / fps, through the trim start and the
// speed ramps, exactly as the frame renderer maps it. Owned and used by one render worker.
class RenderFrameStateCache {
public:
    RenderFrameStateCache(double trimStart, int fps, std::vector<SpeedRamp> speedRamps = {});

    double trimStart() const { return trimStart_; }
    int fps() const { return fps_; }
    double timeOfFrame(std::int64_t frameIndex) const;

    // Computes the states of frames first...last (both included).
    void fill(const SceneRenderSnapshot& snapshot, std::int64_t first, std::int64_t last);
    // The stored state, or step A computed directly for a frame that was not filled.
    CameraState state(const SceneRenderSnapshot& snapshot, std::int64_t frameIndex) const;
    std::size_t size() const { return states_.size(); }
    // The strongest zoom among the filled frames; 1 when none is filled.
    double strongestScale() const;

private:
    double trimStart_;
    int fps_;
    std::vector<SpeedRamp> speedRamps_;
    std::map<std::int64_t, CameraState> states_;
};

// Where the recording's window lands on the canvas for one zoom state.
struct FrameLayout {
    Rect window;                   // zoomed window, title bar included
    std::optional<Rect> titleBar;  // at the window's top edge; none without chrome
    Rect content;                  // the recording's area: window minus the title bar
    double cornerRadius = 0;       // already multiplied by the zoom
    double scale = 1;              // zoom scale, at least 1
};

// Title-bar height at zoom 1 for a canvas height: max(34, 3.5 % of it).
double titleBarHeight(double canvasHeight);

// The window rectangle at zoom 1, before the camera acts.
Rect unzoomedWindowRect(const SceneRenderSnapshot& snapshot, const Rect& canvas);

// Scales `rect` by the zoom about the focus point so that point stays put on the canvas. The focus
// is top-left normalised; with a set crop it is first made relative to the crop, since the crop is
// what fills the rectangle.
Rect zoomedRect(const Rect& rect, const CameraState& zoom, const std::optional<Rect>& cropRect);

// The whole layout: with background `none` the content is the whole canvas zoomed, without a title
// bar; otherwise the padded, aspect-fitted (or fixed) window zoomed.
FrameLayout frameLayout(const SceneRenderSnapshot& snapshot, const Rect& canvas, const CameraState& zoom);

// How much an overlay is shrunk at a zoom presence: only face-camera (video) overlays react, only
// when the edit asks for it, and only ever towards zoomReactiveFaceCamScale, never larger.
double overlayScale(const SceneRenderSnapshot& snapshot, const VideoOverlayClip& overlay, double zoomPresence);

// An overlay's rectangle on the canvas (not the zoomed window), shrunk by `scale` about its centre.
Rect overlayRect(const VideoOverlayClip& overlay, const Rect& canvas, double scale);

// The same rectangle in top-left, y-down coordinates of a canvas `canvasHeight` tall (and back).
Rect topLeftRect(const Rect& rect, double canvasHeight);

}  // namespace orvane
