#include "render/cursor/click_animation.h"

#include <algorithm>
#include <cmath>

namespace orvane {

namespace {

using Kind = ClickMarkShape::Kind;

// The dot overshoots to 1.5x in the first quarter of the life, settles back by the half, then holds.
double bounceScale(double p) {
    if (p < 0.25) {
        const double k = 1 - 4 * p;
        return 1 + 0.5 * (1 - k * k);
    }
    if (p < 0.5) {
        const double k = 1 - 4 * (p - 0.25);
        return 1.5 - 0.5 * (1 - k * k);
    }
    return 1;
}

}  // namespace

std::optional<double> clickAnimationProgress(double age) {
    // Ages come from subtracting frame times, so "exactly 1.2" may arrive a rounding step above it;
    // the last instant must still draw.
    constexpr double kRounding = 1e-9;
    if (!(age >= 0 && age <= kClickAnnotationLife + kRounding)) return std::nullopt;
    return std::min(age / kClickAnnotationLife, 1.0);
}

std::vector<ClickMarkShape> clickAnimationShapes(CursorClickAnimationStyle style, double p) {
    const double e = 1 - std::pow(1 - p, 2.4);
    switch (style) {
        case CursorClickAnimationStyle::ripple:
        case CursorClickAnimationStyle::brush:
            return {
                {Kind::ring, 28 + 76 * e, std::max(0.0, 0.85 - 1.1 * p), std::max(0.4, 4.5 * (1 - p))},
                {Kind::ring, 22 + 14 * e, std::max(0.0, 1 - 0.85 * p), std::max(0.6, 3 * (1 - 0.4 * p))},
                {Kind::disc, 9 - 5.5 * e, std::max(0.0, 1 - 1.6 * p), 0},
            };
        case CursorClickAnimationStyle::pulse:
            return {
                {Kind::disc, 38 + 20 * e, std::max(0.0, 0.24 * (1 - p)), 0},
                {Kind::ring, 26 + 18 * e, std::max(0.0, 0.88 - 0.92 * p), std::max(1.0, 4 - 2 * p)},
                {Kind::disc, std::max(4.0, 10 - 4 * p), std::max(0.0, 1 - 1.35 * p), 0},
            };
        case CursorClickAnimationStyle::bounce: {
            const double alpha = p < 0.5 ? 1.0 : std::max(0.0, 2 - 2 * p);
            return {
                {Kind::disc, 42, 0.22 * alpha, 0},
                {Kind::disc, 18 * bounceScale(p), alpha, 0},
            };
        }
        case CursorClickAnimationStyle::none: return {};
    }
    return {};
}

RgbaColor annotationColorValue(AnnotationColor color) {
    switch (color) {
        case AnnotationColor::accent: return {0.32, 0.38, 0.52, 1};
        case AnnotationColor::red: return {0.90, 0.30, 0.28, 1};
        case AnnotationColor::green: return {0.28, 0.72, 0.44, 1};
        case AnnotationColor::yellow: return {0.95, 0.78, 0.20, 1};
        case AnnotationColor::white: return {1, 1, 1, 1};
    }
    return {1, 1, 1, 1};
}

}  // namespace orvane
