#pragma once

#include <cairo.h>

#include "base/geometry.h"

namespace orvane {

// One rounded shape of the scene (window, overlay, mask). A radius of 999 or more, or one that
// reaches half the shorter side, gives a circle, never a capsule: that is how a round face-camera
// bubble is asked for.
struct RoundedShape {
    enum class Kind { roundedRectangle, circle };
    Kind kind = Kind::roundedRectangle;
    Rect rect;          // the circle's bounding square when kind is circle
    double radius = 0;  // corner radius, or the circle's radius

    bool operator==(const RoundedShape&) const = default;
};

RoundedShape roundedShape(const Rect& rect, double radius);

// Adds the shape to the current path (as a new sub-path) in whatever coordinates the context uses.
void appendShapePath(cairo_t* context, const RoundedShape& shape);

}  // namespace orvane
