#pragma once

#include <cairo.h>

#include "base/geometry.h"

namespace orvane {

// The plain arrow of size `k` with its tip (the hot spot) at (x, y), as a new closed path in the
// current user space (y down: the arrow points up and to the left, its body below the tip).
void appendArrowPath(cairo_t* cr, double x, double y, double k);

// A rectangle that holds the arrow with its outline, for sizing layers.
Rect arrowBounds(double x, double y, double k);

// Arrow size at zoom scale s: max(24, 34 s).
double arrowSize(double scale);

// The arrow as the cursor is drawn: soft shadow, white outline, black body, thin dark edge.
// `alpha` fades the whole arrow at once.
void drawArrow(cairo_t* cr, double x, double y, double k, double alpha = 1);

}  // namespace orvane
