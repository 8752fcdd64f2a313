#pragma once

#include <array>
#include <string_view>

#include <cairo.h>

#include "base/geometry.h"
#include "model/window_chrome_style.h"
#include "render/paint/rgba_color.h"

namespace orvane {

// Title-bar height at zoom 1 on a canvas `canvasHeight` pixels tall.
double windowChromeTitleBarHeight(double canvasHeight);

struct WindowChromeColors {
    RgbaColor gradientTop;
    RgbaColor gradientBottom;
    RgbaColor separator;
    RgbaColor title;
};

// `automatic` looks exactly like `light`.
WindowChromeColors windowChromeColors(WindowChromeStyle style);

struct WindowChromeButton {
    RgbaColor color;
    double centerX = 0;
    double centerY = 0;
};

// Where everything of the title bar goes, for a bar `titleBar` (bottom-left origin, y up) at zoom
// scale `scale`. Sizes grow with the zoom; the separator and rim never get thinner than half a pixel.
struct WindowChromeGeometry {
    Rect titleBar;
    Rect separator;                             // along the bar's bottom edge, full width
    std::array<WindowChromeButton, 3> buttons;  // close, minimise, zoom: red, yellow, green
    double buttonDiameter = 0;
    double rimWidth = 0;
    double fontSize = 0;
    Rect titleRect;  // the title is centred in here and truncated in the middle to fit
};

WindowChromeGeometry windowChromeGeometry(const Rect& titleBar, double scale);

// The window buttons' colours, close to the desktop's usual ones.
inline constexpr RgbaColor kChromeRed{0.99, 0.37, 0.34, 1};
inline constexpr RgbaColor kChromeYellow{0.99, 0.74, 0.18, 1};
inline constexpr RgbaColor kChromeGreen{0.16, 0.78, 0.25, 1};

// Draws the title bar into `titleBar` of a y-up context (see backdrop_drawing.h): the gradient, the
// separator, the three buttons and `windowTitle` trimmed (no text when it is blank).
void drawWindowChrome(cairo_t* cr, WindowChromeStyle style, std::string_view windowTitle, const Rect& titleBar,
                      double scale);

}  // namespace orvane
