#pragma once

#include <functional>
#include <optional>

#include <cairo.h>

#include "base/geometry.h"
#include "render/paint/rgba_color.h"

namespace orvane {

// A drop shadow as the cursor look describes it: colour (with alpha), offset in device pixels
// (y down) and blur. The blur is taken as twice the Gaussian's standard deviation.
struct ContextShadow {
    RgbaColor color;
    double offsetX = 0;
    double offsetY = 0;
    double blur = 0;
};

// Cairo has no context shadows, so the drawing goes to a layer first: `draw` paints into a layer
// covering `userBounds` (user space of `cr`, the shape's own extent; the blur margin is added
// here); the layer's alpha, blurred and tinted, is painted at the offset, then the layer itself on
// top. Both are painted with `alpha`, so ghosts fade as one picture rather than stroke by stroke.
// Without a shadow and at full alpha, `draw` paints straight into `cr` (state saved around it).
void drawLayerWithShadow(cairo_t* cr, const Rect& userBounds, const std::optional<ContextShadow>& shadow, double alpha,
                         const std::function<void(cairo_t*)>& draw);

}  // namespace orvane
