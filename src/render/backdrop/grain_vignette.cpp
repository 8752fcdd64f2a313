#include "render/backdrop/grain_vignette.h"

#include <algorithm>
#include <cmath>

#include "render/backdrop/backdrop_drawing.h"

namespace orvane {

void drawGrain(cairo_t* cr, const Rect& canvas, double opacity, std::uint64_t seed) {
    if (!(opacity > 0) || canvas.width <= 0 || canvas.height <= 0) return;
    const double longer = std::max(canvas.width, canvas.height);
    const double step = std::max(8.0, std::floor(longer / 320));
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOFT_LIGHT);
    std::uint64_t state = seed;
    // Only one pixel per cell is touched, which keeps this cheap even at 4K.
    for (double y = canvas.minY(); y < canvas.maxY(); y += step) {
        for (double x = canvas.minX(); x < canvas.maxX(); x += step) {
            state = state * 0x27bb2ee687b0b0fdULL + 0xb504f32dULL;  // wraps modulo 2^64 by design
            const double v = static_cast<double>((state >> 48) & 0xff) / 255.0;
            const double alpha = (0.32 + 0.68 * v) * opacity;
            if (v <= 0.5) {
                cairo_set_source_rgba(cr, 0, 0, 0, 0.65 * alpha);
            } else {
                cairo_set_source_rgba(cr, 1, 1, 1, alpha);
            }
            cairo_rectangle(cr, x, y, 1, 1);
            cairo_fill(cr);
        }
    }
    cairo_restore(cr);
}

void drawVignette(cairo_t* cr, const Rect& canvas, double strength) {
    if (!(strength > 0) || canvas.width <= 0 || canvas.height <= 0) return;
    const double cx = canvas.x + canvas.width / 2;
    const double cy = canvas.y + canvas.height / 2;
    const double inner = 0.1 * std::min(canvas.width, canvas.height);
    const double outer = 0.72 * std::max(canvas.width, canvas.height);
    cairo_pattern_t* pattern =
        backdrop::makeEvenGradient(cairo_pattern_create_radial(cx, cy, inner, cx, cy, outer),
                                   {{0, 0, 0, 0}, {0, 0, 0, 0.35 * strength}, {0, 0, 0, strength}});
    cairo_save(cr);
    cairo_rectangle(cr, canvas.x, canvas.y, canvas.width, canvas.height);
    cairo_clip(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_MULTIPLY);
    // A vignette that cannot be made is left out rather than darkening the whole canvas.
    if (pattern) {
        cairo_set_source(cr, pattern);
        cairo_paint(cr);
        cairo_pattern_destroy(pattern);
    }
    cairo_restore(cr);
}

}  // namespace orvane
