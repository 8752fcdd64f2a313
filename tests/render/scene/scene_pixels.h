#pragma once

// Pixel probes and flat test pictures for the scene tests.

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <utility>

#include "media/cairo_handles.h"
#include "media/video_frame.h"

namespace orvane::testing {

struct Pixel {
    int a, r, g, b;
};

inline Pixel pixelIn(const unsigned char* data, int stride, int x, int y) {
    std::uint32_t v;
    std::memcpy(&v, data + y * stride + 4 * x, 4);
    return {static_cast<int>(v >> 24), static_cast<int>((v >> 16) & 255), static_cast<int>((v >> 8) & 255),
            static_cast<int>(v & 255)};
}

inline Pixel pixelAt(cairo_surface_t* surface, int x, int y) {
    cairo_surface_flush(surface);
    return pixelIn(cairo_image_surface_get_data(surface), cairo_image_surface_get_stride(surface), x, y);
}

inline Pixel pixelAt(const RgbaImage& image, int x, int y) { return pixelIn(image.pixels.data(), image.stride, x, y); }

// Largest and mean channel difference over the whole of two same-sized surfaces.
inline std::pair<int, double> difference(cairo_surface_t* a, cairo_surface_t* b) {
    const int w = cairo_image_surface_get_width(a);
    const int h = cairo_image_surface_get_height(a);
    int largest = 0;
    double total = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const Pixel p = pixelAt(a, x, y);
            const Pixel q = pixelAt(b, x, y);
            for (int d : {p.a - q.a, p.r - q.r, p.g - q.g, p.b - q.b}) {
                largest = std::max(largest, std::abs(d));
                total += std::abs(d);
            }
        }
    }
    return {largest, total / (4.0 * w * h)};
}

// Left half `left`, right half `right` (the right half empty when `right` is the same): tells which
// part of a picture was drawn, and which way round.
inline cairo::Surface halvesSurface(int w, int h, std::array<double, 3> left, std::array<double, 3> right) {
    cairo::Surface s(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h));
    cairo::Context cr(cairo_create(s.get()));
    cairo_set_source_rgb(cr.get(), left[0], left[1], left[2]);
    cairo_paint(cr.get());
    cairo_rectangle(cr.get(), w / 2.0, 0, w / 2.0, h);
    cairo_set_source_rgb(cr.get(), right[0], right[1], right[2]);
    cairo_fill(cr.get());
    return s;
}

inline cairo::Surface solidSurface(int w, int h, double r, double g, double b) {
    return halvesSurface(w, h, {r, g, b}, {r, g, b});
}

}  // namespace orvane::testing
