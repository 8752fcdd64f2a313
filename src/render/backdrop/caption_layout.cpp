#include "render/backdrop/caption_layout.h"

#include <algorithm>
#include <cmath>

#include <pango/pangocairo.h>

#include "render/backdrop/backdrop_drawing.h"

namespace orvane {

namespace {

constexpr double kPlateRadius = 12;
constexpr RgbaColor kPlateColor{0, 0, 0, 0.68};
constexpr RgbaColor kTextColor{1, 1, 1, 1};
constexpr int kSemibold = 600;

}  // namespace

CaptionLayout captionLayout(const std::string& text, const Rect& canvas) {
    const double f = std::max(24.0, std::min(0.03 * canvas.width, 52.0));
    const double maxWidth = std::max(320.0, std::min(0.74 * canvas.width, 1120.0));
    // 3.6 lines of height keeps a long caption to about three lines; the rest is cut with an ellipsis.
    const double maxHeight = 3.6 * f;

    CaptionLayout layout;
    layout.text = text;
    layout.attributes = {f, kSemibold, kTextColor};
    auto shaped =
        backdrop::makeTextLayout(text, layout.attributes, backdrop::TextWrap::wordWrapped, maxWidth, maxHeight);
    const Size measured = backdrop::measuredSize(shaped.get());
    const double textWidth = std::ceil(std::min(measured.width, maxWidth));
    const double textHeight = std::ceil(std::min(measured.height, maxHeight));
    layout.textLayout = std::shared_ptr<PangoLayout>(shaped.release(), backdrop::TextLayoutDeleter{});

    const double ph = std::max(18.0, 0.65 * f);
    const double pv = std::max(10.0, 0.38 * f);
    const double boxWidth = std::min(std::max(textWidth + 2 * ph, 160.0), canvas.width - 48);
    const double boxHeight = std::max(textHeight + 2 * pv, f + 2 * pv);
    const double margin = std::max(36.0, 0.075 * canvas.height);
    layout.backgroundRect = {canvas.x + canvas.width / 2 - boxWidth / 2, canvas.minY() + margin, boxWidth, boxHeight};
    layout.textRect = {layout.backgroundRect.x + ph, layout.backgroundRect.y + pv, boxWidth - 2 * ph,
                       boxHeight - 2 * pv};
    return layout;
}

void drawCaption(cairo_t* cr, const CaptionLayout& layout) {
    if (layout.backgroundRect.width <= 0 || layout.backgroundRect.height <= 0) return;
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    cairo_new_path(cr);
    backdrop::addRoundedRect(cr, layout.backgroundRect, kPlateRadius);
    backdrop::setSourceColor(cr, kPlateColor);
    cairo_fill(cr);
    if (layout.textLayout) {
        backdrop::drawTextLayout(cr, layout.textLayout.get(), layout.textRect, layout.attributes.color);
    }
    cairo_restore(cr);
}

}  // namespace orvane
