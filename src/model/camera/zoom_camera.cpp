#include "model/camera/zoom_camera.h"

#include <algorithm>
#include <cmath>

#include "model/camera/auto_zoom_cinematic.h"

namespace orvane {
namespace {

// Guards the ramp divisions against ramps that collapsed to zero length.
constexpr double kMinimumRamp = 0.001;

// The region's own focus, or where it follows: the cinematic script's subject at composition time
// when a script is present, otherwise the smoothed cursor at the mapped source time.
CursorPosition regionFocus(const CameraInputs& inputs, const ZoomRegion& region, double t) {
    const CursorPosition own{region.focusX, region.focusY};
    if (!region.followCursor) return own;
    if (inputs.cinematicTracker) return inputs.cinematicTracker->focusAt(t).value_or(own);
    const auto sourceTime = sourceTimeForComposition(t, inputs.clips);
    if (!sourceTime) return own;
    const auto cursor = inputs.smoother ? inputs.smoother->at(inputs.cursorTrack, *sourceTime)
                                        : smoothedCursor(inputs.cursorTrack, *sourceTime, inputs.cameraSmoothing);
    return cursor.value_or(own);
}

}  // namespace

ZoomEase zoomEase(const ZoomRegion& region) {
    const double e = std::clamp(region.easeSpeed, 0.0, 1.0);
    double a = 0.3 + 0.6499999999999999 * e;
    double b = 0.45 + 0.95 * e;
    const double length = std::max(region.end - region.start, 0.0);
    if (length < a + b) {
        // Both ramps shrink in proportion so together they never exceed the region.
        const double factor = length / std::max(a + b, kMinimumRamp);
        a *= factor;
        b *= factor;
    }
    return {a, b};
}

double smootherstep(double p) {
    p = std::clamp(p, 0.0, 1.0);
    return p * p * p * (p * (6 * p - 15) + 10);
}

double zoomWeight(const ZoomRegion& region, double t) {
    const ZoomEase ease = zoomEase(region);
    if (t < region.start - ease.leadIn || t > region.end + ease.leadOut) return 0;
    if (t < region.start) return smootherstep((t - (region.start - ease.leadIn)) / std::max(ease.leadIn, kMinimumRamp));
    if (t > region.end) return smootherstep(((region.end + ease.leadOut) - t) / std::max(ease.leadOut, kMinimumRamp));
    return 1;
}

CameraState cameraState(const CameraInputs& inputs, double t) {
    double sumW = 0;
    double sumScale = 0;
    double sumX = 0;
    double sumY = 0;
    double strongest = 0;
    for (const ZoomRegion& region : inputs.zoomRegions) {
        const double w = zoomWeight(region, t);
        if (w <= 0) continue;
        const CursorPosition focus = regionFocus(inputs, region, t);
        sumW += w;
        sumScale += w * region.scale;
        sumX += w * focus.x;
        sumY += w * focus.y;
        strongest = std::max(strongest, w);
    }
    if (strongest <= 0 || sumW <= 0) return {};
    return {1 + strongest * (sumScale / sumW - 1), 0.5 + strongest * (sumX / sumW - 0.5),
            0.5 + strongest * (sumY / sumW - 0.5)};
}

double zoomPresence(std::span<const ZoomRegion> zoomRegions, double t) {
    double strongest = 0;
    for (const ZoomRegion& region : zoomRegions) strongest = std::max(strongest, zoomWeight(region, t));
    return strongest;
}

double faceCamScale(double presence, bool zoomReactiveFaceCam, double zoomReactiveFaceCamScale) {
    if (!zoomReactiveFaceCam || zoomReactiveFaceCamScale >= 1) return 1;
    return 1 + presence * (std::max(zoomReactiveFaceCamScale, 0.1) - 1);
}

PreviewTransform previewTransform(const CameraState& camera, const std::optional<Rect>& cropRect, Size viewSize) {
    double fx = camera.focusX;
    double fy = camera.focusY;
    if (cropRect && cropRect->width > 0 && cropRect->height > 0) {
        // The preview shows the cropped picture, so the focus is expressed within it.
        fx = std::clamp((fx - cropRect->minX()) / cropRect->width, 0.0, 1.0);
        fy = std::clamp((fy - cropRect->minY()) / cropRect->height, 0.0, 1.0);
    }
    const double s = std::max(camera.scale, 1.0);
    return {s, (s - 1) * (0.5 - fx) * viewSize.width, (s - 1) * (0.5 - fy) * viewSize.height};
}

std::string_view cameraSmoothingBandName(double cameraSmoothing) {
    if (cameraSmoothing < 0.2) return "Snappy";
    if (cameraSmoothing < 0.45) return "Light";
    if (cameraSmoothing < 0.7) return "Smooth";
    if (cameraSmoothing < 0.9) return "Glassy";
    return "Cinematic";
}

std::string faceCamScalePercentText(double zoomReactiveFaceCamScale) {
    return std::to_string(static_cast<long long>(zoomReactiveFaceCamScale * 100)) + "%";
}

}  // namespace orvane
