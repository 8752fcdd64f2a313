#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "base/geometry.h"
#include "model/camera/cursor_lookup.h"
#include "model/clip.h"
#include "model/cursor_telemetry.h"
#include "model/zoom_region.h"

namespace orvane {

class CinematicTracker;

// How far the picture is magnified (at least 1) and which normalised point of the recorded frame is
// kept in view. (1, 0.5, 0.5) shows the whole frame.
struct CameraState {
    double scale = 1;
    double focusX = 0.5;
    double focusY = 0.5;

    bool operator==(const CameraState&) const = default;
};

// Camera settings of the edit and their defaults (the zoom popover's "Reset to default").
inline constexpr double kDefaultCameraSmoothing = 0.6;
inline constexpr bool kDefaultZoomReactiveFaceCam = true;
inline constexpr double kDefaultZoomReactiveFaceCamScale = 0.75;

// Ramp lengths of a zoom, derived from its easeSpeed and shortened so both ramps fit the region.
struct ZoomEase {
    double leadIn = 0;   // seconds before start
    double leadOut = 0;  // seconds after end
};
ZoomEase zoomEase(const ZoomRegion& region);

// Quintic smootherstep of p clamped to 0...1: zero slope and curvature at both ends.
double smootherstep(double p);

// How strongly a region acts at composition time t: 1 while it holds, the smootherstep of the ramp
// progress in its ramps, 0 outside start - leadIn ... end + leadOut.
double zoomWeight(const ZoomRegion& region, double t);

// Everything the camera reads from the edit. Spans must outlive the call.
struct CameraInputs {
    std::span<const ZoomRegion> zoomRegions = {};
    std::span<const CursorTelemetryPoint> cursorTrack = {};  // sorted by t; empty when there is none
    std::span<const Clip> clips = {};
    double cameraSmoothing = kDefaultCameraSmoothing;
    const CinematicTracker* cinematicTracker = nullptr;
    // Optional tabulated smoothing for many evaluations; must be built for `cameraSmoothing`.
    const CursorSmoother* smoother = nullptr;
};

// The camera at composition time t: overlapping regions blend by weight, and the strongest weight
// decides how far the camera has moved from the full frame toward the blend.
CameraState cameraState(const CameraInputs& inputs, double t);

// The largest region weight at t (0 without regions): how far the camera is zoomed in.
double zoomPresence(std::span<const ZoomRegion> zoomRegions, double t);

// Factor for the face-camera overlay: shrinks toward `reactiveScale` (never below 0.1) as a zoom
// comes in, never grows.
double faceCamScale(double zoomPresence, bool zoomReactiveFaceCam, double zoomReactiveFaceCamScale);

// The preview's scale about the view centre and the offset that then brings the focus to the centre.
struct PreviewTransform {
    double scale = 1;
    double offsetX = 0;
    double offsetY = 0;

    bool operator==(const PreviewTransform&) const = default;
};
PreviewTransform previewTransform(const CameraState& camera, const std::optional<Rect>& cropRect, Size viewSize);

// The name of the band a smoothing value falls in: "Snappy", "Light", "Smooth", "Glassy", "Cinematic".
std::string_view cameraSmoothingBandName(double cameraSmoothing);

// Texts of the zoom popover's camera controls.
namespace camera_controls {
inline constexpr std::string_view smoothingLowLabel = "Responsive";
inline constexpr std::string_view smoothingHighLabel = "Cinematic";
inline constexpr std::string_view smoothingHelp =
    "Smoothness \u2014 how steadily the camera follows the cursor and how slowly each zoom pushes in and out.";
inline constexpr double smoothingStep = 0.05;
inline constexpr std::string_view faceCamToggleTitle = "Shrink face cam during zoom";
inline constexpr std::string_view faceCamToggleSymbol = "person.crop.circle.badge.minus";
inline constexpr std::string_view faceCamToggleHelp =
    "Pulls the face-cam bubble in while you're zoomed so it doesn't dominate the closer crop. Eases back out as "
    "the zoom releases.";
inline constexpr std::string_view faceCamScaleLabel = "Shrink to";
inline constexpr double faceCamScaleMin = 0.4;
inline constexpr double faceCamScaleMax = 1.0;
inline constexpr double faceCamScaleStep = 0.05;
inline constexpr std::string_view resetTitle = "Reset to default";
}  // namespace camera_controls

// The face-camera scale as a whole percentage ("75%"): value × 100, truncated.
std::string faceCamScalePercentText(double zoomReactiveFaceCamScale);

}  // namespace orvane
