#include "render/scene/frame_layout.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "model/time_mapping.h"

namespace orvane {
namespace {

// Guards divisions by ramps or sample gaps that collapsed to nothing.
constexpr double kMinimumSpan = 0.001;

CameraState sampledCamera(const std::vector<CameraSample>& samples, double t) {
    if (t <= samples.front().t) return {samples.front().scale, samples.front().focusX, samples.front().focusY};
    if (t >= samples.back().t) return {samples.back().scale, samples.back().focusX, samples.back().focusY};
    const auto after = std::upper_bound(samples.begin(), samples.end(), t,
                                        [](double time, const CameraSample& s) { return time < s.t; });
    const CameraSample& b = *after;
    const CameraSample& a = *(after - 1);
    const double u = std::clamp((t - a.t) / std::max(b.t - a.t, kMinimumSpan), 0.0, 1.0);
    return {a.scale + (b.scale - a.scale) * u, a.focusX + (b.focusX - a.focusX) * u,
            a.focusY + (b.focusY - a.focusY) * u};
}

}  // namespace

CameraState sceneZoomState(const SceneRenderSnapshot& snapshot, double t) {
    if (!snapshot.cameraSamples.empty()) return sampledCamera(snapshot.cameraSamples, t);
    for (const ZoomRegion& region : snapshot.edit.timeline.zoomRegions) {
        const ZoomEase ease = zoomEase(region);
        if (t < region.start - ease.leadIn || t > region.end + ease.leadOut) continue;
        // zoomWeight is this region's eased ramp progress; the first active region decides alone.
        const double p = zoomWeight(region, t);
        return {1 + p * (region.scale - 1), region.focusX, region.focusY};
    }
    return {};
}

double sceneZoomPresence(const SceneRenderSnapshot& snapshot, double t) {
    return zoomPresence(snapshot.edit.timeline.zoomRegions, t);
}

RenderFrameStateCache::RenderFrameStateCache(double trimStart, int fps, std::vector<SpeedRamp> speedRamps)
    : trimStart_(trimStart), fps_(std::max(fps, 1)), speedRamps_(std::move(speedRamps)) {}

double RenderFrameStateCache::timeOfFrame(std::int64_t frameIndex) const {
    return compositionTimeForOutputTime(static_cast<double>(frameIndex) / fps_, trimStart_, speedRamps_);
}

void RenderFrameStateCache::fill(const SceneRenderSnapshot& snapshot, std::int64_t first, std::int64_t last) {
    for (std::int64_t i = first; i <= last; ++i) states_[i] = sceneZoomState(snapshot, timeOfFrame(i));
}

double RenderFrameStateCache::strongestScale() const {
    double strongest = 1;
    for (const auto& [frame, state] : states_) {
        if (std::isfinite(state.scale)) strongest = std::max(strongest, state.scale);
    }
    return strongest;
}

CameraState RenderFrameStateCache::state(const SceneRenderSnapshot& snapshot, std::int64_t frameIndex) const {
    const auto found = states_.find(frameIndex);
    if (found != states_.end()) return found->second;
    return sceneZoomState(snapshot, timeOfFrame(frameIndex));
}

double titleBarHeight(double canvasHeight) { return std::max(34.0, 0.035 * canvasHeight); }

Rect unzoomedWindowRect(const SceneRenderSnapshot& snapshot, const Rect& canvas) {
    const double h = snapshot.edit.frame.showWindowChrome ? titleBarHeight(canvas.height) : 0;
    if (isSet(snapshot.edit.frame.recordingFrame)) {
        const Rect& rf = *snapshot.edit.frame.recordingFrame;
        const double width = std::min(rf.width * canvas.width, canvas.width);
        const double height = std::min(rf.height * canvas.height, canvas.height);
        const double x = std::clamp(canvas.minX() + rf.minX() * canvas.width, canvas.minX(), canvas.maxX() - width);
        // The frame is stored top-left; the canvas counts y from the bottom.
        const double y =
            std::clamp(canvas.minY() + (1 - rf.maxY()) * canvas.height, canvas.minY(), canvas.maxY() - height);
        return {x, y, width, height};
    }
    // The padding is a fraction of the width on all four sides so the margin looks even.
    const double p = snapshot.edit.frame.inset * canvas.width;
    const double aw = canvas.width - 2 * p;
    const double ah = canvas.height - 2 * p;
    const Size& video = snapshot.edit.frame.videoSize;
    // An unmeasured recording fills whatever room the title bar leaves.
    const double a = (video.width > 0 && video.height > 0) ? std::max(video.width / video.height, 0.1)
                                                           : std::max(aw, 1.0) / std::max(ah - h, 1.0);
    double w = aw;
    if (ah < aw / a + h) w = a * (ah - h);
    w = std::max(w, 0.0);
    const double height = w / a + h;
    return {canvas.minX() + (canvas.width - w) / 2, canvas.minY() + (canvas.height - height) / 2, w, height};
}

Rect zoomedRect(const Rect& rect, const CameraState& zoom, const std::optional<Rect>& cropRect) {
    double fx = zoom.focusX;
    double fy = zoom.focusY;
    if (isSet(cropRect)) {
        fx = (fx - cropRect->minX()) / cropRect->width;
        fy = (fy - cropRect->minY()) / cropRect->height;
    }
    fx = std::clamp(fx, 0.0, 1.0);
    const double flippedY = 1 - std::clamp(fy, 0.0, 1.0);
    // Any finite snapshot renders: a scale past the strongest zoom is held there.
    const double s = std::isfinite(zoom.scale) ? std::clamp(zoom.scale, 1.0, kMaximumZoomScale) : 1.0;
    return {rect.minX() + fx * rect.width * (1 - s), rect.minY() + flippedY * rect.height * (1 - s), rect.width * s,
            rect.height * s};
}

FrameLayout frameLayout(const SceneRenderSnapshot& snapshot, const Rect& canvas, const CameraState& zoom) {
    FrameLayout layout;
    layout.scale = std::max(zoom.scale, 1.0);
    if (snapshot.edit.frame.background == BackgroundStyle::none) {
        layout.window = zoomedRect(canvas, zoom, snapshot.edit.frame.cropRect);
        layout.content = layout.window;
        return layout;
    }
    const double h = snapshot.edit.frame.showWindowChrome ? titleBarHeight(canvas.height) : 0;
    const Rect window = zoomedRect(unzoomedWindowRect(snapshot, canvas), zoom, snapshot.edit.frame.cropRect);
    layout.window = window;
    const double barHeight = h * layout.scale;
    if (snapshot.edit.frame.showWindowChrome)
        layout.titleBar = Rect{window.minX(), window.maxY() - barHeight, window.width, barHeight};
    layout.content = {window.minX(), window.minY(), window.width, std::max(window.height - barHeight, 1.0)};
    layout.cornerRadius = snapshot.edit.frame.cornerRadius * layout.scale;
    return layout;
}

double overlayScale(const SceneRenderSnapshot& snapshot, const VideoOverlayClip& overlay, double presence) {
    if (overlay.mediaKind != VideoOverlayClip::MediaKind::video) return 1;
    return std::min(
        faceCamScale(presence, snapshot.edit.frame.zoomReactiveFaceCam, snapshot.edit.frame.zoomReactiveFaceCamScale),
        1.0);
}

Rect overlayRect(const VideoOverlayClip& overlay, const Rect& canvas, double scale) {
    const Rect& nf = overlay.normalizedFrame;
    const double cx = canvas.minX() + canvas.width * (nf.minX() + nf.width / 2);
    const double cy = canvas.minY() + canvas.height * (1 - (nf.minY() + nf.height / 2));
    const double w = canvas.width * nf.width * scale;
    const double h = canvas.height * nf.height * scale;
    return {cx - w / 2, cy - h / 2, w, h};
}

Rect topLeftRect(const Rect& rect, double canvasHeight) {
    return {rect.x, canvasHeight - rect.maxY(), rect.width, rect.height};
}

}  // namespace orvane
