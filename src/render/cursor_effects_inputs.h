#pragma once

#include <optional>
#include <span>
#include <string>

#include "editor/camera_samples.h"
#include "model/click_annotation.h"
#include "model/cursor_interaction.h"
#include "model/cursor_style.h"
#include "model/geometry.h"
#include "render/rgba_color.h"

namespace orvane {

// Coordinates of every cursor, click and gesture drawing function: Cairo's, origin at the top-left of
// the canvas, y down, in output pixels. The compositor converts its bottom-left layout once, at the
// edge, so the layers never flip y themselves. Shapes that the look describes with y up (the arrow,
// shadow offsets) are mirrored here so they look the same on screen.

// A point on the canvas.
struct CanvasPoint {
    double x = 0;
    double y = 0;
};

// Where the recording's content sits for this frame after the zoom camera: the zoomed content
// rectangle (top-left origin) and the zoom scale `s` that grows the cursor with the camera.
struct CursorLayerFrame {
    Rect content;
    double scale = 1;
};

// The edit's inputs to the cursor, click and gesture layers: the matching snapshot fields, viewed
// rather than copied so the compositor can build one per frame for free. The spans must outlive the
// draw calls. Samples are sorted by t; all positions are normalised, origin top-left.
struct CursorEffectsInputs {
    std::span<const CursorSample> cursorSamples;
    bool showCursorRing = true;
    bool drawsSyntheticCursor = false;
    RgbaColor cursorRingColor{1.0, 0.78, 0.2, 1};
    double cursorRingSize = 30;
    CursorVisualStyle cursorVisualStyle = CursorVisualStyle::pointer;
    CursorClickAnimationStyle cursorClickAnimationStyle = CursorClickAnimationStyle::ripple;
    std::string cursorIconSymbol = "sparkle";
    std::span<const CursorInteraction> cursorInteractions;
    std::span<const ClickAnnotation> annotations;
    bool showAnnotations = true;
    std::optional<Rect> cropRect;
    std::span<const CursorStyleOverride> cursorStyleOverrides;
    bool cursorMotionBlur = false;
};

}  // namespace orvane
