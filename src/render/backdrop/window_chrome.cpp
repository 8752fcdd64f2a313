#include "render/backdrop/window_chrome.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "base/text.h"
#include "render/backdrop/backdrop_drawing.h"
#include "render/backdrop/backdrop_text.h"

namespace orvane {

namespace {

constexpr RgbaColor kLabel{0, 0, 0, 1};

RgbaColor white(double level, double alpha) { return {level, level, level, alpha}; }

void drawButton(cairo_t* cr, const WindowChromeButton& button, const WindowChromeGeometry& g, double s) {
    const double radius = g.buttonDiameter / 2;
    cairo_new_path(cr);
    cairo_arc(cr, button.centerX, button.centerY, radius, 0, 2 * M_PI);
    backdrop::setSourceColor(cr, button.color);
    cairo_fill_preserve(cr);

    // Gloss: light from the top edge fading out at the middle, kept inside the circle.
    cairo_save(cr);
    cairo_clip(cr);
    cairo_pattern_t* gloss = backdrop::makeEvenGradient(
        cairo_pattern_create_linear(0, button.centerY + radius, 0, button.centerY), {white(1, 0.35), white(1, 0)});
    if (gloss) {
        cairo_set_source(cr, gloss);
        cairo_paint(cr);
        cairo_pattern_destroy(gloss);
    }
    cairo_restore(cr);

    // Rim in the button's own colour, just inside the edge, so the circle reads on any bar colour.
    cairo_new_path(cr);
    cairo_arc(cr, button.centerX, button.centerY, radius - 0.25 * s, 0, 2 * M_PI);
    backdrop::setSourceColor(cr, button.color.withAlpha(0.18));
    cairo_set_line_width(cr, g.rimWidth);
    cairo_stroke(cr);
}

}  // namespace

double windowChromeTitleBarHeight(double canvasHeight) { return std::max(34.0, 0.035 * canvasHeight); }

WindowChromeColors windowChromeColors(WindowChromeStyle style) {
    switch (style) {
        case WindowChromeStyle::automatic:
        case WindowChromeStyle::light: return {white(0.97, 1), white(0.90, 1), {0, 0, 0, 0.07}, {0, 0, 0, 0.65}};
        case WindowChromeStyle::dark:
            return {{0.20, 0.20, 0.22, 1}, {0.13, 0.13, 0.15, 1}, white(1, 0.06), white(1, 0.78)};
        case WindowChromeStyle::translucent:
            return {white(0.98, 0.82), white(0.88, 0.72), {0, 0, 0, 0.06}, kLabel.withAlpha(0.78)};
    }
    return windowChromeColors(WindowChromeStyle::light);
}

WindowChromeGeometry windowChromeGeometry(const Rect& titleBar, double scale) {
    const double s = scale;
    WindowChromeGeometry g;
    g.titleBar = titleBar;
    g.separator = {titleBar.x, titleBar.y, titleBar.width, std::max(0.5, 0.5 * s)};
    const double middleY = titleBar.y + titleBar.height / 2;
    g.buttons = {WindowChromeButton{kChromeRed, titleBar.x + 20 * s, middleY},
                 WindowChromeButton{kChromeYellow, titleBar.x + 40 * s, middleY},
                 WindowChromeButton{kChromeGreen, titleBar.x + 60 * s, middleY}};
    g.buttonDiameter = 12 * s;
    g.rimWidth = std::max(0.5, 0.5 * s);
    g.fontSize = std::max(9.0, 13 * s);
    // The horizontal inset keeps the title clear of the buttons on the left and balanced on the right.
    const double insetX = std::max(0.16 * titleBar.width, 72 * s);
    const double insetY = std::max((titleBar.height - 1.3 * g.fontSize) / 2, 8 * s);
    g.titleRect = {titleBar.x + insetX, titleBar.y + insetY, std::max(0.0, titleBar.width - 2 * insetX),
                   std::max(0.0, titleBar.height - 2 * insetY)};
    return g;
}

void drawWindowChrome(cairo_t* cr, WindowChromeStyle style, std::string_view windowTitle, const Rect& titleBar,
                      double scale) {
    if (titleBar.width <= 0 || titleBar.height <= 0) return;
    const WindowChromeColors colors = windowChromeColors(style);
    const WindowChromeGeometry g = windowChromeGeometry(titleBar, scale);
    const double s = scale;

    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);

    cairo_save(cr);
    cairo_rectangle(cr, titleBar.x, titleBar.y, titleBar.width, titleBar.height);
    cairo_clip(cr);
    // Top edge to bottom edge; the context is y-up, so the top is maxY.
    backdrop::paintGradientOr(
        cr,
        backdrop::makeEvenGradient(cairo_pattern_create_linear(0, titleBar.maxY(), 0, titleBar.minY()),
                                   {colors.gradientTop, colors.gradientBottom}),
        colors.gradientTop);
    cairo_restore(cr);

    cairo_rectangle(cr, g.separator.x, g.separator.y, g.separator.width, g.separator.height);
    backdrop::setSourceColor(cr, colors.separator);
    cairo_fill(cr);

    for (const WindowChromeButton& button : g.buttons) drawButton(cr, button, g, s);

    const std::string title = trimWhitespaceAndNewlines(windowTitle);
    if (!title.empty() && g.titleRect.width > 0 && g.titleRect.height > 0) {
        const auto layout =
            backdrop::makeTextLayout(title, {g.fontSize, 500, colors.title},
                                     backdrop::TextWrap::singleLineTruncatedInMiddle, g.titleRect.width, 0);
        const double lineHeight = backdrop::measuredSize(layout.get()).height;
        const double middle = g.titleRect.y + g.titleRect.height / 2;
        backdrop::drawTextLayout(cr, layout.get(),
                                 {g.titleRect.x, middle - lineHeight / 2, g.titleRect.width, lineHeight}, colors.title);
    }
    cairo_restore(cr);
}

}  // namespace orvane
