#include "render/cursor/cursor_arrow.h"

#include <algorithm>

#include "render/cursor/cursor_shadow.h"

namespace orvane {

void appendArrowPath(cairo_t* cr, double x, double y, double k) {
    cairo_new_sub_path(cr);
    cairo_move_to(cr, x, y);
    cairo_line_to(cr, x, y + 0.8 * k);
    cairo_line_to(cr, x + 0.22 * k, y + 0.58 * k);
    cairo_line_to(cr, x + 0.38 * k, y + 0.88 * k);
    // The tail's rounded end: a quadratic from (0.38, 0.88) with control (0.48, 0.84) to (0.43, 0.90),
    // raised to the cubic Cairo draws.
    const double x0 = x + 0.38 * k, y0 = y + 0.88 * k;
    const double qx = x + 0.48 * k, qy = y + 0.84 * k;
    const double x3 = x + 0.43 * k, y3 = y + 0.90 * k;
    cairo_curve_to(cr, x0 + 2.0 / 3.0 * (qx - x0), y0 + 2.0 / 3.0 * (qy - y0), x3 + 2.0 / 3.0 * (qx - x3),
                   y3 + 2.0 / 3.0 * (qy - y3), x3, y3);
    cairo_line_to(cr, x + 0.33 * k, y + 0.54 * k);
    cairo_line_to(cr, x + 0.64 * k, y + 0.54 * k);
    cairo_close_path(cr);
}

Rect arrowBounds(double x, double y, double k) {
    const double outline = std::max(2.2, 0.12 * k);
    return Rect{x - outline, y - outline, 0.7 * k + 2 * outline, 0.92 * k + 2 * outline};
}

double arrowSize(double scale) { return std::max(24.0, 34.0 * scale); }

void drawArrow(cairo_t* cr, double x, double y, double k, double alpha) {
    // The shadow falls 1 px below the arrow (y down here).
    const ContextShadow shadow{RgbaColor{0, 0, 0, 0.22}, 0, 1, 3};
    drawLayerWithShadow(cr, arrowBounds(x, y, k), shadow, alpha, [&](cairo_t* layer) {
        cairo_set_line_join(layer, CAIRO_LINE_JOIN_ROUND);
        cairo_set_line_cap(layer, CAIRO_LINE_CAP_ROUND);
        appendArrowPath(layer, x, y, k);
        cairo_set_source_rgba(layer, 1, 1, 1, 0.96);
        cairo_set_line_width(layer, std::max(2.2, 0.12 * k));
        cairo_stroke_preserve(layer);
        cairo_set_source_rgba(layer, 0, 0, 0, 0.96);
        cairo_fill_preserve(layer);
        cairo_set_source_rgba(layer, 0, 0, 0, 0.7);
        cairo_set_line_width(layer, std::max(0.8, 0.035 * k));
        cairo_stroke(layer);
    });
}

}  // namespace orvane
