#pragma once

#include <optional>
#include <vector>

#include "model/background_style.h"
#include "render/paint/rgba_color.h"

namespace orvane {

// How a layer of the desktop background combines with what is already painted.
enum class BlendMode { normal, multiply, screen, softLight };

// A soft radial light. Centre is normalised with the origin at the bottom-left; radius is a
// fraction of the canvas's longer side.
struct Glow {
    RgbaColor color;
    double x = 0;
    double y = 0;
    double radius = 0;
    double opacity = 0;
    BlendMode blendMode = BlendMode::normal;
};

// A wavy band across the canvas, filled with a gradient. Offsets are fractions of the canvas
// width and height; rotation is in radians.
struct Ribbon {
    std::vector<RgbaColor> colors;
    double opacity = 0;
    double phase = 0;
    double amplitude = 0;
    double rotation = 0;
    double scaleY = 1;
    double offsetX = 0;
    double offsetY = 0;
    BlendMode blendMode = BlendMode::normal;
};

// Everything that makes up one built-in wallpaper. A grain or vignette of 0 switches it off.
struct BackgroundPalette {
    std::vector<RgbaColor> base;  // a diagonal gradient, top-left to bottom-right
    std::vector<Glow> glows;
    std::vector<Ribbon> ribbons;
    double grainOpacity = 0;
    double vignette = 0;
};

// The palette of a style; nothing for `none`. For `customImage` this is the gradient shown when the
// image is missing.
std::optional<BackgroundPalette> backgroundPalette(BackgroundStyle style);

}  // namespace orvane
