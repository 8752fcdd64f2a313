#include "render/cursor/symbol_glyphs.h"

#include <array>
#include <cmath>
#include <utility>

namespace orvane {

namespace {

// Glyphs are designed in a unit square centred on the origin, y down; the caller's transform scales
// it to the point size. Line widths are in the same unit: 0.09 reads as a semibold weight.
constexpr double kSemibold = 0.09;

void quadTo(cairo_t* cr, double cx, double cy, double x, double y) {
    double x0 = 0;
    double y0 = 0;
    cairo_get_current_point(cr, &x0, &y0);
    cairo_curve_to(cr, x0 + 2.0 / 3.0 * (cx - x0), y0 + 2.0 / 3.0 * (cy - y0), x + 2.0 / 3.0 * (cx - x),
                   y + 2.0 / 3.0 * (cy - y), x, y);
}

void roundedRect(cairo_t* cr, double x0, double y0, double x1, double y1, double radius) {
    const double r = std::min(radius, std::min(x1 - x0, y1 - y0) / 2);
    cairo_new_sub_path(cr);
    cairo_arc(cr, x1 - r, y0 + r, r, -M_PI / 2, 0);
    cairo_arc(cr, x1 - r, y1 - r, r, 0, M_PI / 2);
    cairo_arc(cr, x0 + r, y1 - r, r, M_PI / 2, M_PI);
    cairo_arc(cr, x0 + r, y0 + r, r, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

// Four points joined by curves pulled towards the centre give the star its pinched sides.
void star(cairo_t* cr, double cx, double cy, double radius) {
    const double pull = 0.14 * radius;
    cairo_new_sub_path(cr);
    cairo_move_to(cr, cx, cy - radius);
    quadTo(cr, cx + pull, cy - pull, cx + radius, cy);
    quadTo(cr, cx + pull, cy + pull, cx, cy + radius);
    quadTo(cr, cx - pull, cy + pull, cx - radius, cy);
    quadTo(cr, cx - pull, cy - pull, cx, cy - radius);
    cairo_close_path(cr);
}

void drawSparkle(cairo_t* cr) {
    star(cr, -0.06, 0.06, 0.42);
    star(cr, 0.3, -0.3, 0.15);
    cairo_fill(cr);
}

// A right hand seen from the back, index finger up: finger, three folded fingers, palm and thumb.
void handShape(cairo_t* cr) {
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
    roundedRect(cr, -0.13, -0.3, 0.05, 0.2, 0.09);    // index finger
    roundedRect(cr, 0.03, -0.04, 0.16, 0.22, 0.065);  // middle
    roundedRect(cr, 0.14, 0.0, 0.27, 0.24, 0.065);    // ring
    roundedRect(cr, 0.25, 0.05, 0.37, 0.26, 0.06);    // little
    roundedRect(cr, -0.16, 0.1, 0.37, 0.48, 0.14);    // palm
    cairo_fill(cr);
    // The thumb leans out to the left.
    cairo_save(cr);
    cairo_translate(cr, -0.13, 0.3);
    cairo_rotate(cr, -0.75);
    roundedRect(cr, -0.26, -0.07, 0.04, 0.07, 0.07);
    cairo_restore(cr);
    cairo_fill(cr);
}

void drawHandTap(cairo_t* cr) {
    cairo_save(cr);
    cairo_translate(cr, 0.0, 0.04);
    cairo_scale(cr, 0.9, 0.9);
    handShape(cr);
    cairo_restore(cr);
    // Two arcs over the fingertip say "tap".
    cairo_set_line_width(cr, 0.06);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    for (double radius : {0.15, 0.25}) {
        cairo_new_sub_path(cr);
        cairo_arc(cr, -0.036, -0.2, radius, -M_PI * 0.85, -M_PI * 0.15);
    }
    cairo_stroke(cr);
}

void drawHandDraw(cairo_t* cr) {
    cairo_save(cr);
    cairo_translate(cr, 0.1, 0.08);
    cairo_scale(cr, 0.82, 0.82);
    handShape(cr);
    cairo_restore(cr);
    // The stroke the finger has just drawn.
    cairo_set_line_width(cr, 0.07);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_move_to(cr, -0.46, -0.06);
    cairo_curve_to(cr, -0.4, -0.3, -0.28, -0.1, -0.22, -0.3);
    cairo_curve_to(cr, -0.16, -0.44, -0.02, -0.4, 0.04, -0.22);
    cairo_stroke(cr);
}

void drawScope(cairo_t* cr) {
    cairo_set_line_width(cr, kSemibold);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_new_sub_path(cr);
    cairo_arc(cr, 0, 0, 0.3, 0, 2 * M_PI);
    constexpr std::array<std::pair<double, double>, 4> kDirections = {{{0, -1}, {1, 0}, {0, 1}, {-1, 0}}};
    for (const auto& [dx, dy] : kDirections) {
        cairo_move_to(cr, dx * 0.16, dy * 0.16);
        cairo_line_to(cr, dx * 0.46, dy * 0.46);
    }
    cairo_stroke(cr);
    cairo_arc(cr, 0, 0, 0.055, 0, 2 * M_PI);
    cairo_fill(cr);
}

void drawIbeam(cairo_t* cr) {
    cairo_set_line_width(cr, kSemibold);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_move_to(cr, 0, -0.36);
    cairo_line_to(cr, 0, 0.36);
    // Curved serifs at both ends, like a text cursor.
    for (double sign : {-1.0, 1.0}) {
        cairo_move_to(cr, -0.17, sign * 0.44);
        quadTo(cr, 0, sign * 0.44, 0, sign * 0.34);
        quadTo(cr, 0, sign * 0.44, 0.17, sign * 0.44);
    }
    cairo_stroke(cr);
}

}  // namespace

std::optional<SymbolGlyph> symbolGlyphNamed(std::string_view name) {
    if (name == "sparkle") return SymbolGlyph::sparkle;
    if (name == "hand.tap.fill") return SymbolGlyph::handTapFill;
    if (name == "scope") return SymbolGlyph::scope;
    if (name == "hand.draw.fill") return SymbolGlyph::handDrawFill;
    if (name == "character.cursor.ibeam") return SymbolGlyph::characterCursorIbeam;
    return std::nullopt;
}

void drawSymbolGlyph(cairo_t* cr, SymbolGlyph glyph, double centerX, double centerY, double pointSize,
                     const RgbaColor& color) {
    if (!(pointSize > 0)) return;
    cairo_save(cr);
    // The group is as large as the clip, so keep it to the glyph's square.
    cairo_rectangle(cr, centerX - pointSize, centerY - pointSize, 2 * pointSize, 2 * pointSize);
    cairo_clip(cr);
    cairo_push_group(cr);
    cairo_translate(cr, centerX, centerY);
    cairo_scale(cr, pointSize, pointSize);
    cairo_set_source_rgb(cr, color.red, color.green, color.blue);
    switch (glyph) {
        case SymbolGlyph::sparkle: drawSparkle(cr); break;
        case SymbolGlyph::handTapFill: drawHandTap(cr); break;
        case SymbolGlyph::scope: drawScope(cr); break;
        case SymbolGlyph::handDrawFill: drawHandDraw(cr); break;
        case SymbolGlyph::characterCursorIbeam: drawIbeam(cr); break;
    }
    cairo_pop_group_to_source(cr);
    cairo_paint_with_alpha(cr, color.alpha);
    cairo_restore(cr);
}

}  // namespace orvane
