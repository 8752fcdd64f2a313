#pragma once

namespace orvane {

// An sRGB colour with straight (not premultiplied) alpha, each component 0...1, as the look of
// backgrounds, cursors and borders is written down.
struct RgbaColor {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1;

    bool operator==(const RgbaColor&) const = default;

    RgbaColor withAlpha(double a) const { return {red, green, blue, a}; }
};

}  // namespace orvane
