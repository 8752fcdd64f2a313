#pragma once

#include "base/geometry.h"

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

}  // namespace orvane
