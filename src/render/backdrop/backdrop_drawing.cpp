#include "render/backdrop/backdrop_drawing.h"

#include <algorithm>
#include <cmath>

namespace orvane::backdrop {

void useBottomLeftOrigin(cairo_t* cr, double canvasHeight) {
    cairo_matrix_t flip;
    cairo_matrix_init(&flip, 1, 0, 0, -1, 0, canvasHeight);
    cairo_set_matrix(cr, &flip);
}

cairo_operator_t cairoOperator(BlendMode mode) {
    switch (mode) {
        case BlendMode::normal: return CAIRO_OPERATOR_OVER;
        case BlendMode::multiply: return CAIRO_OPERATOR_MULTIPLY;
        case BlendMode::screen: return CAIRO_OPERATOR_SCREEN;
        case BlendMode::softLight: return CAIRO_OPERATOR_SOFT_LIGHT;
    }
    return CAIRO_OPERATOR_OVER;
}

void setSourceColor(cairo_t* cr, const RgbaColor& color) {
    cairo_set_source_rgba(cr, color.red, color.green, color.blue, color.alpha);
}

cairo_pattern_t* makeEvenGradient(cairo_pattern_t* pattern, const std::vector<RgbaColor>& colors) {
    if (cairo_pattern_status(pattern) != CAIRO_STATUS_SUCCESS || colors.empty()) {
        cairo_pattern_destroy(pattern);
        return nullptr;
    }
    if (colors.size() == 1) {
        const RgbaColor& c = colors.front();
        cairo_pattern_add_color_stop_rgba(pattern, 0, c.red, c.green, c.blue, c.alpha);
        cairo_pattern_add_color_stop_rgba(pattern, 1, c.red, c.green, c.blue, c.alpha);
    } else {
        const double last = static_cast<double>(colors.size() - 1);
        for (std::size_t i = 0; i < colors.size(); ++i) {
            const RgbaColor& c = colors[i];
            cairo_pattern_add_color_stop_rgba(pattern, static_cast<double>(i) / last, c.red, c.green, c.blue, c.alpha);
        }
    }
    cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
    return pattern;
}

void paintGradientOr(cairo_t* cr, cairo_pattern_t* pattern, const RgbaColor& fallback) {
    if (pattern && cairo_pattern_status(pattern) == CAIRO_STATUS_SUCCESS) {
        cairo_set_source(cr, pattern);
    } else {
        setSourceColor(cr, fallback);
    }
    cairo_paint(cr);
    if (pattern) cairo_pattern_destroy(pattern);
}

void addRoundedRect(cairo_t* cr, const Rect& rect, double radius) {
    const double shorter = std::min(rect.width, rect.height);
    if (shorter <= 0) return;
    if (radius >= 999 || radius >= shorter / 2 - 0.5) {
        cairo_new_sub_path(cr);
        cairo_arc(cr, rect.x + rect.width / 2, rect.y + rect.height / 2, shorter / 2, 0, 2 * M_PI);
        cairo_close_path(cr);
        return;
    }
    const double r = std::max(0.0, std::min(radius, shorter / 2));
    const double x0 = rect.minX(), y0 = rect.minY(), x1 = rect.maxX(), y1 = rect.maxY();
    cairo_new_sub_path(cr);
    cairo_arc(cr, x1 - r, y0 + r, r, -M_PI / 2, 0);
    cairo_arc(cr, x1 - r, y1 - r, r, 0, M_PI / 2);
    cairo_arc(cr, x0 + r, y1 - r, r, M_PI / 2, M_PI);
    cairo_arc(cr, x0 + r, y0 + r, r, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

}  // namespace orvane::backdrop
