#pragma once

#include <optional>

#include <cairo.h>

#include "model/camera/cursor_lookup.h"
#include "model/scene_render_snapshot.h"
#include "render/cursor/cursor_canvas.h"
#include "render/paint/rgba_color.h"

namespace orvane {

// Gesture marks are always drawn in the accent colour, whatever the click colours are.
inline constexpr RgbaColor kGestureColor{0.32, 0.38, 0.52, 1};

// A swipe's trail at `t`, in normalised frame points: from where the finger went down to where it
// is now (the end once the swipe is over), and the fade that runs out 0.75 s after the end. Nothing
// outside that time.
struct SwipeTrail {
    CursorPosition start;
    CursorPosition head;
    double fade = 1;
};
std::optional<SwipeTrail> swipeTrailAt(const CursorInteraction& swipe, double t);

// Taps to navigate, long presses and swipes alive at `t`, when showAnnotations is on and the click
// animation is not `none`. Plain taps and typing draw nothing here: taps have click markers and
// typing shows the I-beam on the cursor. An end before the start is read as an instant gesture.
void drawGestures(cairo_t* cr, const SceneRenderSnapshot& inputs, double t, const CursorLayerFrame& frame);

}  // namespace orvane
