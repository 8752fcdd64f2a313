#pragma once

#include <string_view>

#include <cairo.h>

#include "model/scene_render_snapshot.h"
#include "render/cursor/cursor_canvas.h"
#include "render/paint/rgba_color.h"

namespace orvane {

// Click markers alive at `t` (when showAnnotations is on), each with its own animation or the
// project's, and its label beside it. Coordinates as in cursor_canvas.h.
void drawClickAnnotations(cairo_t* cr, const SceneRenderSnapshot& inputs, double t, const CursorLayerFrame& frame);

// Opacity of a marker's label at progress p: full for most of the life, fading out over the last
// quarter with the marker.
double clickLabelAlpha(double p);

// A label in a rounded tag of the marker colour whose left edge sits just right of the click point
// (x, y) and which is centred on it vertically; text height grows with the zoom scale. Empty or
// blank text draws nothing.
void drawClickLabel(cairo_t* cr, std::string_view text, double x, double y, double scale, const RgbaColor& color,
                    double alpha);

}  // namespace orvane
