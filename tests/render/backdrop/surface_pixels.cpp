#include "surface_pixels.h"

#include <algorithm>
#include <cstring>

#include "render/backdrop_drawing.h"

namespace orvane::testing {

namespace {

std::uint32_t rawPixel(cairo_surface_t* surface, int x, int y) {
    cairo_surface_flush(surface);
    const unsigned char* row =
        cairo_image_surface_get_data(surface) + static_cast<std::ptrdiff_t>(y) * cairo_image_surface_get_stride(surface);
    std::uint32_t value;
    std::memcpy(&value, row + x * 4, 4);
    return value;
}

}  // namespace

Pixel pixelAt(cairo_surface_t* surface, int x, int y) {
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

Canvas makeCanvas(int width, int height, double greyLevel) {
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

Rect differingBounds(cairo_surface_t* a, cairo_surface_t* b) {
    return boundsWhere(a, [&](int x, int y) { return rawPixel(a, x, y) != rawPixel(b, x, y); });
}

Rect boundsWhere(cairo_surface_t* surface, const std::function<bool(int x, int y)>& test) {
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

bool sameBytes(cairo_surface_t* a, cairo_surface_t* b) {
    const int width = cairo_image_surface_get_width(a);
    const int height = cairo_image_surface_get_height(a);
    if (width != cairo_image_surface_get_width(b) || height != cairo_image_surface_get_height(b)) return false;
    return differingBounds(a, b).width == 0;
}

}  // namespace orvane::testing
