#pragma once

#include <memory>
#include <string>

#include <cairo.h>

#include "base/geometry.h"
#include "render/backdrop/backdrop_text.h"

namespace orvane {

// A caption measured for one canvas. Rectangles are in canvas pixels with the origin at the
// bottom-left, y up (see backdrop_drawing.h).
struct CaptionLayout {
    std::string text;
    backdrop::TextStyle attributes;           // semibold, white, centred, word-wrapped
    Rect backgroundRect;                      // the dark plate
    Rect textRect;                            // the plate inset by the padding
    std::shared_ptr<PangoLayout> textLayout;  // the shaped text, reused for every frame it shows
};

// Lays `text` out for `canvas`: font size from the canvas width, at most about three lines, a plate
// centred horizontally above the bottom margin.
CaptionLayout captionLayout(const std::string& text, const Rect& canvas);

// Draws the plate (radius 12, black at 0.68) and the text, on a y-up context.
void drawCaption(cairo_t* cr, const CaptionLayout& layout);

}  // namespace orvane
