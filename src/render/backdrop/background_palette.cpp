#include "render/backdrop/background_palette.h"

namespace orvane {

namespace {

constexpr RgbaColor kWhite{1, 1, 1, 1};

RgbaColor rgb(double r, double g, double b) { return {r, g, b, 1}; }

// The five colours a templated wallpaper is made of: a three-colour base and two accents.
struct KeyColors {
    RgbaColor base0, base1, base2, accent1, accent2;
};

// Warm and airy: bright glows and ribbons that lift the light base.
BackgroundPalette templateA(const KeyColors& k) {
    BackgroundPalette p;
    p.base = {k.base0, k.base1, k.base2};
    p.glows = {
        {k.accent1, 0.16, 0.18, 0.54, 0.46, BlendMode::screen},
        {k.accent2, 0.86, 0.30, 0.54, 0.28, BlendMode::screen},
        {kWhite, 0.54, 0.84, 0.50, 0.16, BlendMode::softLight},
    };
    p.ribbons = {
        {{k.accent1, k.accent2}, 0.30, -0.14, 0.10, -0.28, 0.74, -0.05, -0.03, BlendMode::screen},
        {{kWhite, k.accent1}, 0.18, 0.20, 0.08, 0.25, 0.56, 0.08, 0.11, BlendMode::softLight},
    };
    p.grainOpacity = 0.10;
    p.vignette = 0.13;
    return p;
}

// Deeper: the second accent is dark in these styles, so it shades the top-right corner through
// multiply while the first accent lights the bottom-left and the ribbons.
BackgroundPalette templateB(const KeyColors& k) {
    BackgroundPalette p;
    p.base = {k.base0, k.base1, k.base2};
    p.glows = {
        {k.accent1, 0.18, 0.20, 0.56, 0.38, BlendMode::screen},
        {kWhite, 0.80, 0.16, 0.36, 0.13, BlendMode::softLight},
        {k.accent2, 0.76, 0.88, 0.66, 0.44, BlendMode::multiply},
    };
    p.ribbons = {
        {{k.accent1, k.base1}, 0.22, -0.16, 0.10, -0.24, 0.72, -0.03, -0.03, BlendMode::screen},
        {{kWhite, k.accent1}, 0.16, 0.18, 0.08, 0.28, 0.56, 0.08, 0.12, BlendMode::softLight},
    };
    p.grainOpacity = 0.11;
    p.vignette = 0.17;
    return p;
}

BackgroundPalette bone() {
    BackgroundPalette p;
    p.base = {rgb(0.98, 0.96, 0.92), rgb(0.90, 0.88, 0.84), rgb(0.76, 0.82, 0.88)};
    p.glows = {
        {rgb(1.0, 0.70, 0.38), 0.16, 0.82, 0.56, 0.32, BlendMode::softLight},
        {rgb(0.44, 0.72, 1.0), 0.86, 0.22, 0.52, 0.26, BlendMode::screen},
        {rgb(0.82, 0.94, 0.70), 0.68, 0.18, 0.46, 0.20, BlendMode::screen},
    };
    p.ribbons = {
        {{rgb(1.0, 0.72, 0.45), rgb(0.62, 0.82, 0.98)},
         0.28,
         -0.16,
         0.10,
         -0.22,
         0.72,
         -0.06,
         -0.04,
         BlendMode::screen},
        {{rgb(0.96, 0.98, 0.88), rgb(0.72, 0.78, 0.88)},
         0.24,
         0.18,
         0.08,
         0.26,
         0.58,
         0.05,
         0.12,
         BlendMode::softLight},
    };
    p.grainOpacity = 0.08;
    p.vignette = 0.06;
    return p;
}

// Near-white paper with cool, faint light; kept subtle so dark recordings stand out on it.
BackgroundPalette chalk() {
    BackgroundPalette p;
    p.base = {rgb(1.0, 1.0, 1.0), rgb(0.91, 0.93, 0.96), rgb(0.78, 0.84, 0.91)};
    p.glows = {
        {rgb(0.80, 0.88, 1.0), 0.18, 0.80, 0.54, 0.28, BlendMode::softLight},
        {rgb(1.0, 0.97, 0.92), 0.84, 0.24, 0.50, 0.30, BlendMode::screen},
        {rgb(0.70, 0.80, 0.92), 0.62, 0.12, 0.46, 0.14, BlendMode::multiply},
    };
    p.ribbons = {
        {{rgb(1.0, 1.0, 1.0), rgb(0.74, 0.82, 0.92)},
         0.26,
         -0.14,
         0.09,
         -0.24,
         0.66,
         -0.04,
         -0.03,
         BlendMode::softLight},
    };
    p.grainOpacity = 0.06;
    p.vignette = 0.04;
    return p;
}

// Graphite with a cold blue-violet sheen.
BackgroundPalette obsidian() {
    BackgroundPalette p;
    p.base = {rgb(0.08, 0.09, 0.12), rgb(0.15, 0.16, 0.22), rgb(0.03, 0.03, 0.05)};
    p.glows = {
        {rgb(0.30, 0.36, 0.56), 0.18, 0.22, 0.56, 0.34, BlendMode::screen},
        {rgb(0.42, 0.30, 0.62), 0.84, 0.76, 0.50, 0.22, BlendMode::screen},
        {kWhite, 0.52, 0.86, 0.48, 0.06, BlendMode::softLight},
    };
    p.ribbons = {
        {{rgb(0.34, 0.38, 0.56), rgb(0.12, 0.13, 0.20)},
         0.24,
         -0.14,
         0.10,
         -0.26,
         0.72,
         -0.04,
         -0.03,
         BlendMode::screen},
        {{rgb(0.56, 0.58, 0.70), rgb(0.08, 0.09, 0.12)},
         0.14,
         0.18,
         0.08,
         0.26,
         0.56,
         0.07,
         0.11,
         BlendMode::softLight},
    };
    p.grainOpacity = 0.12;
    p.vignette = 0.22;
    return p;
}

}  // namespace

std::optional<BackgroundPalette> backgroundPalette(BackgroundStyle style) {
    switch (style) {
        case BackgroundStyle::none: return std::nullopt;
        case BackgroundStyle::bone: return bone();
        case BackgroundStyle::chalk: return chalk();
        case BackgroundStyle::obsidian: return obsidian();
        case BackgroundStyle::sequoiaOrange:
            return templateA({rgb(1.0, 0.58, 0.14), rgb(0.92, 0.24, 0.09), rgb(0.18, 0.08, 0.05), rgb(1.0, 0.82, 0.34),
                              rgb(0.28, 0.82, 0.86)});
        case BackgroundStyle::sequoiaTeal:
            return templateA({rgb(0.03, 0.18, 0.18), rgb(0.06, 0.70, 0.65), rgb(0.66, 0.92, 0.66),
                              rgb(0.98, 0.78, 0.32), rgb(0.02, 0.07, 0.10)});
        case BackgroundStyle::sonomaPurple:
            return templateA({rgb(0.11, 0.05, 0.26), rgb(0.62, 0.22, 0.94), rgb(1.0, 0.54, 0.84), rgb(0.50, 0.84, 1.0),
                              rgb(0.05, 0.03, 0.14)});
        case BackgroundStyle::sonomaGreen:
            return templateA({rgb(0.03, 0.12, 0.06), rgb(0.24, 0.58, 0.19), rgb(0.84, 0.96, 0.48),
                              rgb(0.12, 0.86, 0.72), rgb(0.02, 0.06, 0.03)});
        case BackgroundStyle::venturaBlue:
            return templateA({rgb(0.03, 0.09, 0.27), rgb(0.12, 0.48, 0.92), rgb(0.70, 0.94, 1.0), rgb(0.70, 0.36, 1.0),
                              rgb(0.02, 0.04, 0.16)});
        case BackgroundStyle::venturaRed:
            return templateA({rgb(1.0, 0.50, 0.14), rgb(0.88, 0.08, 0.05), rgb(0.22, 0.04, 0.05), rgb(1.0, 0.84, 0.34),
                              rgb(0.54, 0.22, 0.90)});
        case BackgroundStyle::montereyPurple:
            return templateB({rgb(0.09, 0.04, 0.26), rgb(0.42, 0.14, 0.78), rgb(0.92, 0.38, 0.72), rgb(0.16, 0.74, 1.0),
                              rgb(0.04, 0.02, 0.14)});
        case BackgroundStyle::bigSurOrange:
            return templateB({rgb(0.98, 0.68, 0.22), rgb(0.88, 0.26, 0.38), rgb(0.22, 0.12, 0.42), rgb(0.54, 0.86, 1.0),
                              rgb(0.34, 0.22, 0.92)});
        case BackgroundStyle::win11Blue:
            return templateB({rgb(0.03, 0.08, 0.22), rgb(0.05, 0.36, 0.86), rgb(0.18, 0.86, 1.0), rgb(0.68, 0.42, 1.0),
                              rgb(0.01, 0.03, 0.12)});
        case BackgroundStyle::win11Purple:
            return templateB({rgb(0.08, 0.03, 0.20), rgb(0.45, 0.12, 0.84), rgb(0.16, 0.74, 1.0), rgb(1.0, 0.40, 0.70),
                              rgb(0.03, 0.02, 0.11)});
        case BackgroundStyle::customImage: {
            BackgroundPalette p;
            p.base = {rgb(0.10, 0.11, 0.14), rgb(0.24, 0.25, 0.30)};
            return p;
        }
    }
    return std::nullopt;
}

}  // namespace orvane
