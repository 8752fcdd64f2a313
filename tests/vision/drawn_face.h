#pragma once

// A shaded frontal face drawn with Cairo, for tests that need the real cascade to fire without a
// photograph. What the cascade keys on is there: a dark band of eyes and brows over brighter cheeks,
// a bright nose bridge between the eyes, a darker mouth.

#include <cmath>

#include "media/cairo_handles.h"

namespace orvane::testing {

inline void softEllipse(cairo_t* cr, double cx, double cy, double rx, double ry, double r, double g, double b,
                        double solid) {
    cairo_save(cr);
    cairo_translate(cr, cx, cy);
    cairo_scale(cr, rx, ry);
    cairo_pattern_t* p = cairo_pattern_create_radial(0, 0, 0, 0, 0, 1);
    cairo_pattern_add_color_stop_rgba(p, 0, r, g, b, 1);
    cairo_pattern_add_color_stop_rgba(p, solid, r, g, b, 1);
    cairo_pattern_add_color_stop_rgba(p, 1, r, g, b, 0);
    cairo_set_source(cr, p);
    cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
    cairo_fill(cr);
    cairo_pattern_destroy(p);
    cairo_restore(cr);
}

struct DrawnFace {
    double centreX, centreY, width;  // pixels
};

// Grey-blue room, navy shirt, dark hair, skin face.
inline cairo::Surface drawnFace(int frameWidth, int frameHeight, DrawnFace face) {
    cairo::Surface s(cairo_image_surface_create(CAIRO_FORMAT_RGB24, frameWidth, frameHeight));
    cairo::Context c(cairo_create(s.get()));
    cairo_t* cr = c.get();
    cairo_set_source_rgb(cr, 0.45, 0.5, 0.55);
    cairo_paint(cr);
    const double u = face.width / 2;
    const double cx = face.centreX;
    const double cy = face.centreY;
    softEllipse(cr, cx, cy + 2.3 * u, 2.2 * u, 1.3 * u, 0.15, 0.2, 0.35, 0.9);     // shoulders
    softEllipse(cr, cx, cy + 1.2 * u, 0.45 * u, 0.6 * u, 0.8, 0.62, 0.5, 0.8);     // neck
    softEllipse(cr, cx, cy - 0.25 * u, 1.12 * u, 1.45 * u, 0.2, 0.13, 0.08, 0.8);  // hair
    softEllipse(cr, cx, cy + 0.1 * u, 1.0 * u, 1.32 * u, 0.86, 0.68, 0.56, 0.7);   // face
    for (double side : {-1.0, 1.0}) {
        const double ex = cx + side * 0.4 * u;
        softEllipse(cr, ex, cy - 0.2 * u, 0.34 * u, 0.2 * u, 0.55, 0.4, 0.32, 0.3);    // socket
        softEllipse(cr, ex, cy - 0.45 * u, 0.3 * u, 0.06 * u, 0.2, 0.13, 0.08, 0.5);   // brow
        softEllipse(cr, ex, cy - 0.2 * u, 0.17 * u, 0.08 * u, 0.12, 0.08, 0.06, 0.6);  // eye
    }
    softEllipse(cr, cx, cy + 0.05 * u, 0.12 * u, 0.35 * u, 0.95, 0.8, 0.68, 0.4);  // nose bridge
    softEllipse(cr, cx, cy + 0.38 * u, 0.2 * u, 0.07 * u, 0.5, 0.33, 0.27, 0.4);   // nostrils
    softEllipse(cr, cx, cy + 0.72 * u, 0.3 * u, 0.08 * u, 0.5, 0.2, 0.2, 0.5);     // mouth
    cairo_surface_flush(s.get());
    return s;
}

inline int alphaAt(cairo_surface_t* mask, int x, int y) {
    cairo_surface_flush(mask);
    return cairo_image_surface_get_data(mask)[y * cairo_image_surface_get_stride(mask) + x];
}

}  // namespace orvane::testing
