#include "render/cursor/click_layer.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>

#include <pango/pangocairo.h>

#include "base/text.h"
#include "render/cursor/click_animation.h"
#include "render/cursor/cursor_point.h"

namespace orvane {

namespace {

struct GObjectDeleter {
    void operator()(void* object) const { g_object_unref(object); }
};
struct FontDescriptionDeleter {
    void operator()(PangoFontDescription* description) const { pango_font_description_free(description); }
};

void drawMarker(cairo_t* cr, CanvasPoint p, double scale, const RgbaColor& color,
                const std::vector<ClickMarkShape>& shapes) {
    for (const auto& shape : shapes) {
        if (!(shape.alpha > 0) || !(shape.diameter > 0)) continue;
        cairo_new_sub_path(cr);
        cairo_arc(cr, p.x, p.y, shape.diameter * scale / 2, 0, 2 * M_PI);
        cairo_set_source_rgba(cr, color.red, color.green, color.blue, shape.alpha);
        if (shape.kind == ClickMarkShape::Kind::ring) {
            cairo_set_line_width(cr, shape.lineWidth * scale);
            cairo_stroke(cr);
        } else {
            cairo_fill(cr);
        }
    }
}

void roundedRect(cairo_t* cr, double x, double y, double w, double h, double r) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
    cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
    cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

}  // namespace

double clickLabelAlpha(double p) { return std::clamp((1 - p) / 0.25, 0.0, 1.0); }

void drawClickLabel(cairo_t* cr, std::string_view text, double x, double y, double scale, const RgbaColor& color,
                    double alpha) {
    const std::string trimmed = trimWhitespaceAndNewlines(text);
    if (trimmed.empty() || !(alpha > 0)) return;

    const double fontPixels = std::max(11.0, 13.0 * scale);
    std::unique_ptr<PangoLayout, GObjectDeleter> layout(pango_cairo_create_layout(cr));
    std::unique_ptr<PangoFontDescription, FontDescriptionDeleter> font(
        pango_font_description_from_string("Sans Semi-Bold"));
    pango_font_description_set_absolute_size(font.get(), fontPixels * PANGO_SCALE);
    pango_layout_set_font_description(layout.get(), font.get());
    pango_layout_set_single_paragraph_mode(layout.get(), TRUE);
    // A long label is cut with an ellipsis rather than running across the frame.
    pango_layout_set_width(layout.get(), static_cast<int>(std::lround(24 * fontPixels * PANGO_SCALE)));
    pango_layout_set_ellipsize(layout.get(), PANGO_ELLIPSIZE_END);
    pango_layout_set_text(layout.get(), trimmed.c_str(), -1);

    PangoRectangle logical{};
    pango_layout_get_pixel_extents(layout.get(), nullptr, &logical);
    const double padX = 0.55 * fontPixels;
    const double padY = 0.25 * fontPixels;
    const double width = logical.width + 2 * padX;
    const double height = logical.height + 2 * padY;
    // Clear of the inner ring of every animation (at most 36 points across at zoom 1).
    const double left = x + 22 * scale;
    const double top = y - height / 2;

    cairo_save(cr);
    roundedRect(cr, left, top, width, height, height / 2);
    cairo_set_source_rgba(cr, color.red, color.green, color.blue, 0.92 * alpha);
    cairo_fill(cr);
    // Light tags get dark text so the label stays readable.
    const double luminance = 0.2126 * color.red + 0.7152 * color.green + 0.0722 * color.blue;
    const double ink = luminance > 0.6 ? 0.1 : 1.0;
    cairo_set_source_rgba(cr, ink, ink, ink, alpha);
    cairo_move_to(cr, left + padX - logical.x, top + padY - logical.y);
    pango_cairo_show_layout(cr, layout.get());
    cairo_restore(cr);
}

void drawClickAnnotations(cairo_t* cr, const SceneRenderSnapshot& inputs, double t, const CursorLayerFrame& frame) {
    if (!inputs.edit.cursor.showAnnotations) return;
    cairo_save(cr);
    for (const auto& annotation : inputs.edit.cursor.annotations) {
        if (!annotation.enabled) continue;
        const auto p = clickAnimationProgress(t - annotation.time);
        if (!p) continue;
        const auto style = annotation.animationStyle.value_or(inputs.edit.cursor.cursorClickAnimationStyle);
        if (style == CursorClickAnimationStyle::none) continue;
        const auto point =
            mapToContent(CursorPosition{annotation.cx, annotation.cy}, inputs.edit.frame.cropRect, frame);
        if (!point) continue;
        const RgbaColor color = annotationColorValue(annotation.color);
        drawMarker(cr, *point, frame.scale, color, clickAnimationShapes(style, *p));
        drawClickLabel(cr, annotation.label, point->x, point->y, frame.scale, color, clickLabelAlpha(*p));
    }
    cairo_restore(cr);
}

}  // namespace orvane
