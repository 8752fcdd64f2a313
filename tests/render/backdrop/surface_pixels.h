#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>

#include <cairo.h>

#include "base/geometry.h"
#include "media/cairo_handles.h"
#include "render/backdrop/backdrop_drawing.h"

namespace orvane::testing {

// One pixel with straight alpha, 0...255.
struct Pixel {
    int r = 0, g = 0, b = 0, a = 0;
};

inline std::uint32_t rawPixel(cairo_surface_t* surface, int x, int y) {
    cairo_surface_flush(surface);
    const unsigned char* row =
        cairo_image_surface_get_data(surface) + static_cast<std::ptrdiff_t>(y) * cairo_image_surface_get_stride(surface);
    std::uint32_t value;
    std::memcpy(&value, row + x * 4, 4);
    return value;
}

// Reads the pixel at column x, row y (row 0 at the top, Cairo's order).
inline Pixel pixelAt(cairo_surface_t* surface, int x, int y) {
    const std::uint32_t v = rawPixel(surface, x, y);
    Pixel p;
    p.a = static_cast<int>(v >> 24);
    if (p.a == 0) return p;
    auto unpremultiply = [&](std::uint32_t c) { return static_cast<int>((c * 255 + p.a / 2) / p.a); };
    p.r = unpremultiply((v >> 16) & 0xff);
    p.g = unpremultiply((v >> 8) & 0xff);
    p.b = unpremultiply(v & 0xff);
    return p;
}

// A surface of `width` x `height` filled with an opaque grey (or left transparent when level < 0),
// with a context set to the bottom-left origin.
struct Canvas {
    cairo::Surface surface;
    cairo::Context context;
    int width = 0;
    int height = 0;
    Rect rect() const { return {0, 0, static_cast<double>(width), static_cast<double>(height)}; }
};
inline Canvas makeCanvas(int width, int height, double greyLevel = -1) {
    Canvas canvas;
    canvas.width = width;
    canvas.height = height;
    canvas.surface.reset(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    canvas.context.reset(cairo_create(canvas.surface.get()));
    if (greyLevel >= 0) {
        cairo_set_source_rgb(canvas.context.get(), greyLevel, greyLevel, greyLevel);
        cairo_paint(canvas.context.get());
    }
    backdrop::useBottomLeftOrigin(canvas.context.get(), height);
    return canvas;
}

// The smallest rectangle (Cairo rows, top-left origin) holding every pixel for which `test` holds;
// empty when there is none.
inline Rect boundsWhere(cairo_surface_t* surface, const std::function<bool(int x, int y)>& test) {
    const int width = cairo_image_surface_get_width(surface);
    const int height = cairo_image_surface_get_height(surface);
    int minX = width, minY = height, maxX = -1, maxY = -1;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (!test(x, y)) continue;
            minX = std::min(minX, x);
            maxX = std::max(maxX, x);
            minY = std::min(minY, y);
            maxY = std::max(maxY, y);
        }
    }
    if (maxX < 0) return {};
    return {static_cast<double>(minX), static_cast<double>(minY), static_cast<double>(maxX - minX + 1),
            static_cast<double>(maxY - minY + 1)};
}

// The bounds of the pixels that differ between two same-sized surfaces.
inline Rect differingBounds(cairo_surface_t* a, cairo_surface_t* b) {
    return boundsWhere(a, [&](int x, int y) { return rawPixel(a, x, y) != rawPixel(b, x, y); });
}

inline bool sameBytes(cairo_surface_t* a, cairo_surface_t* b) {
    if (cairo_image_surface_get_width(a) != cairo_image_surface_get_width(b) ||
        cairo_image_surface_get_height(a) != cairo_image_surface_get_height(b)) {
        return false;
    }
    return differingBounds(a, b).width == 0;
}

// Converts a y-up canvas rectangle into Cairo's top-left rows.
inline Rect toTopLeft(const Rect& r, double canvasHeight) { return {r.x, canvasHeight - r.maxY(), r.width, r.height}; }

}  // namespace orvane::testing
