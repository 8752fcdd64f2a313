#pragma once

// One line or a wrapped paragraph of text measured and drawn with Pango, used by the title bar and
// the captions. Measuring and drawing use the same font options (no metric hinting) so a box sized
// from a measurement always fits the drawn text.

#include <memory>
#include <string>

#include <cairo.h>

#include "base/geometry.h"
#include "render/paint/rgba_color.h"

using PangoLayout = struct _PangoLayout;

namespace orvane::backdrop {

// The user interface's sans-serif face, resolved by fontconfig.
inline constexpr const char* kSystemFontFamily = "Sans";

enum class TextWrap {
    singleLineTruncatedInMiddle,  // titles: one line, an ellipsis in the middle when too wide
    wordWrapped,                  // captions: as many lines as fit in the height, the last one ellipsised
};

struct TextStyle {
    double fontSize = 13;  // pixels
    int weight = 400;      // CSS-style weight: 500 medium, 600 semibold
    RgbaColor color;
};

struct TextLayoutDeleter {
    void operator()(PangoLayout* layout) const;
};
using TextLayout = std::unique_ptr<PangoLayout, TextLayoutDeleter>;

// Lays `text` out centred within `maxWidth` (and `maxHeight` for wrapped text), all in pixels.
TextLayout makeTextLayout(const std::string& text, const TextStyle& style, TextWrap wrap, double maxWidth,
                          double maxHeight);

// The laid-out size in pixels (logical extents: line height included).
Size measuredSize(PangoLayout* layout);

// Draws the layout with its top edge at the top of `box` (y-up context), centred horizontally in
// `box` and clipped to it.
void drawTextLayout(cairo_t* cr, PangoLayout* layout, const Rect& box, const RgbaColor& color);

}  // namespace orvane::backdrop
