#include "render/backdrop/backdrop_text.h"

#include <algorithm>

#include <pango/pangocairo.h>

#include "render/backdrop/backdrop_drawing.h"

namespace orvane::backdrop {

namespace {

// The context every layout is made in. Pango contexts are not thread-safe, so each thread keeps its own;
// segment workers render in parallel.
PangoContext* measuringContext() {
    struct Holder {
        PangoContext* context = nullptr;
        Holder() {
            context = pango_font_map_create_context(pango_cairo_font_map_get_default());
            cairo_font_options_t* options = cairo_font_options_create();
            cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
            cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
            cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
            pango_cairo_context_set_font_options(context, options);
            cairo_font_options_destroy(options);
        }
        ~Holder() { g_object_unref(context); }
        Holder(const Holder&) = delete;
        Holder& operator=(const Holder&) = delete;
    };
    thread_local Holder holder;
    return holder.context;
}

int toPango(double pixels) { return static_cast<int>(std::max(0.0, pixels) * PANGO_SCALE); }

}  // namespace

void TextLayoutDeleter::operator()(PangoLayout* layout) const { g_object_unref(layout); }

TextLayout makeTextLayout(const std::string& text, const TextStyle& style, TextWrap wrap, double maxWidth,
                          double maxHeight) {
    TextLayout layout(pango_layout_new(measuringContext()));
    PangoFontDescription* font = pango_font_description_new();
    pango_font_description_set_family(font, kSystemFontFamily);
    pango_font_description_set_weight(font, static_cast<PangoWeight>(style.weight));
    pango_font_description_set_absolute_size(font, style.fontSize * PANGO_SCALE);
    pango_layout_set_font_description(layout.get(), font);
    pango_font_description_free(font);

    pango_layout_set_alignment(layout.get(), PANGO_ALIGN_CENTER);
    pango_layout_set_width(layout.get(), toPango(maxWidth));
    if (wrap == TextWrap::singleLineTruncatedInMiddle) {
        pango_layout_set_single_paragraph_mode(layout.get(), TRUE);
        pango_layout_set_ellipsize(layout.get(), PANGO_ELLIPSIZE_MIDDLE);
    } else {
        pango_layout_set_wrap(layout.get(), PANGO_WRAP_WORD_CHAR);
        pango_layout_set_height(layout.get(), toPango(maxHeight));
        pango_layout_set_ellipsize(layout.get(), PANGO_ELLIPSIZE_END);
    }
    pango_layout_set_text(layout.get(), text.data(), static_cast<int>(text.size()));
    return layout;
}

Size measuredSize(PangoLayout* layout) {
    PangoRectangle logical;
    pango_layout_get_extents(layout, nullptr, &logical);
    // The layout is centred within its width, so the used width is the widest line's extent.
    return {static_cast<double>(logical.width) / PANGO_SCALE, static_cast<double>(logical.height) / PANGO_SCALE};
}

void drawTextLayout(cairo_t* cr, PangoLayout* layout, const Rect& box, const RgbaColor& color) {
    if (box.width <= 0 || box.height <= 0) return;
    cairo_save(cr);
    cairo_rectangle(cr, box.x, box.y, box.width, box.height);
    cairo_clip(cr);
    // Back to y-down at the box's top-left so the glyphs stand upright.
    cairo_translate(cr, box.minX(), box.maxY());
    cairo_scale(cr, 1, -1);
    PangoRectangle logical;
    pango_layout_get_extents(layout, nullptr, &logical);
    const double layoutWidth = pango_layout_get_width(layout) > 0
                                   ? static_cast<double>(pango_layout_get_width(layout)) / PANGO_SCALE
                                   : static_cast<double>(logical.width) / PANGO_SCALE;
    // Pango centres lines within its own width; shift so that width is centred in the box.
    cairo_translate(cr, (box.width - layoutWidth) / 2, 0);
    setSourceColor(cr, color);
    // The layout keeps the measuring context's settings, so what is drawn is what was measured.
    pango_cairo_show_layout(cr, layout);
    cairo_restore(cr);
}

}  // namespace orvane::backdrop
