#pragma once

#include <cairo.h>

#include "model/scene_render_snapshot.h"
#include "render/cursor/cursor_canvas.h"

namespace orvane {

// The cursor, click and gesture layers of one output frame, drawn into `cr` in the canvas's Cairo
// coordinates (see cursor_canvas.h). `t` is the frame's time on the same clock as the
// samples, annotations, interactions and overrides. None of these fail: missing samples or a point
// outside a set crop simply draw nothing. The compositor calls them in this order, after clipping to
// the window and before captions.

// The arrow of a recording that has no cursor of its own, under the ring style only (the pointer
// styles already draw an arrow).
void drawSyntheticArrow(cairo_t* cr, const SceneRenderSnapshot& inputs, double t, const CursorLayerFrame& frame);

// The restyled cursor (when showCursorRing is on), with its motion trail.
void drawCursor(cairo_t* cr, const SceneRenderSnapshot& inputs, double t, const CursorLayerFrame& frame);

// Synthetic arrow, cursor, click annotations and gestures, in the compositor's order.
void drawCursorEffects(cairo_t* cr, const SceneRenderSnapshot& inputs, double t, const CursorLayerFrame& frame);

// Summed travel, in normalised units, between the cursor points at t, t - 1/60, ... t - 4/60; the
// motion trail is at full strength from 0.08 up.
double recentCursorTravel(const SceneRenderSnapshot& inputs, double t);

}  // namespace orvane
