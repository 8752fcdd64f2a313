#pragma once

#include <algorithm>
#include <cmath>

#include "base/geometry.h"

namespace orvane {

// A whole-pixel rectangle of a surface (Cairo's convention: top-left origin, y down).
struct PixelBox {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    bool empty() const { return width <= 0 || height <= 0; }
    bool operator==(const PixelBox&) const = default;
};

// The pixels of a canvas that `r` (canvas pixels) covers completely; empty when there are none.
inline PixelBox wholePixelsOf(const Rect& r, double canvasWidth, double canvasHeight) {
    const double x0 = std::ceil(std::max(r.minX(), 0.0));
    const double y0 = std::ceil(std::max(r.minY(), 0.0));
    const double x1 = std::floor(std::min(r.maxX(), canvasWidth));
    const double y1 = std::floor(std::min(r.maxY(), canvasHeight));
    if (x1 <= x0 || y1 <= y0) return {};
    return {static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1 - x0), static_cast<int>(y1 - y0)};
}

}  // namespace orvane
