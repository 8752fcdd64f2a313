#pragma once

#include <cstdint>
#include <functional>

#include <cairo.h>

#include "media/cairo_handles.h"
#include "model/geometry.h"

namespace orvane::testing {

// One pixel with straight alpha, 0...255.
struct Pixel {
    int r = 0, g = 0, b = 0, a = 0;
};

// Reads the pixel at column x, row y (row 0 at the top, Cairo's order).
Pixel pixelAt(cairo_surface_t* surface, int x, int y);

// A surface of `width` x `height` filled with an opaque grey (or left transparent when level < 0),
// with a context set to the bottom-left origin.
struct Canvas {
    cairo::Surface surface;
    cairo::Context context;
    int width = 0;
    int height = 0;
    Rect rect() const { return {0, 0, static_cast<double>(width), static_cast<double>(height)}; }
};
Canvas makeCanvas(int width, int height, double greyLevel = -1);

// The smallest rectangle (Cairo rows, top-left origin) holding every pixel for which `test` holds;
// empty when there is none.
Rect boundsWhere(cairo_surface_t* surface, const std::function<bool(int x, int y)>& test);

// The bounds of the pixels that differ between two same-sized surfaces.
Rect differingBounds(cairo_surface_t* a, cairo_surface_t* b);

bool sameBytes(cairo_surface_t* a, cairo_surface_t* b);

// Converts a y-up canvas rectangle into Cairo's top-left rows.
inline Rect toTopLeft(const Rect& r, double canvasHeight) { return {r.x, canvasHeight - r.maxY(), r.width, r.height}; }

}  // namespace orvane::testing
