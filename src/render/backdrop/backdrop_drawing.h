#pragma once

// Small Cairo helpers shared by the background, title-bar and caption layers.
//
// Coordinates: every drawing function of these layers takes a Cairo context whose user space is
// the canvas with its origin at the BOTTOM-LEFT and y growing UP (the compositor's convention).
// useBottomLeftOrigin() sets that up on a context over a surface of the canvas's height; text is
// flipped back locally where it is drawn so glyphs stay upright.

#include <vector>

#include <cairo.h>

#include "base/geometry.h"
#include "render/backdrop/background_palette.h"
#include "render/paint/rgba_color.h"

namespace orvane::backdrop {

// Replaces the context's transform with one that puts the origin at the bottom-left of a canvas
// `canvasHeight` pixels tall, y up.
void useBottomLeftOrigin(cairo_t* cr, double canvasHeight);

cairo_operator_t cairoOperator(BlendMode mode);

void setSourceColor(cairo_t* cr, const RgbaColor& color);

// A linear or radial pattern with `colors` spread evenly from its start to its end, or nothing
// when Cairo could not make one (out of memory); callers then fill with the first colour.
cairo_pattern_t* makeEvenGradient(cairo_pattern_t* pattern, const std::vector<RgbaColor>& colors);

// Paints the current clip with `pattern`, or with `fallback` when the pattern is missing or
// broken. Takes ownership of `pattern`.
void paintGradientOr(cairo_t* cr, cairo_pattern_t* pattern, const RgbaColor& fallback);

// Adds the path of a rounded rectangle: a circle of diameter min(w, h) when the radius is 999 or
// more or too large for the rectangle, so a big radius never makes a capsule.
void addRoundedRect(cairo_t* cr, const Rect& rect, double radius);

}  // namespace orvane::backdrop
