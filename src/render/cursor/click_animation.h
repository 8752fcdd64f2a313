#pragma once

#include <optional>
#include <vector>

#include "model/click_annotation.h"
#include "model/cursor_style.h"
#include "render/paint/rgba_color.h"

namespace orvane {

// A click marker lives this long, in seconds; its progress p runs from 0 at the click to 1 at the end.
inline constexpr double kClickAnnotationLife = 1.2;

// Progress of a click `age` seconds old: nothing before the click or after its life; the last
// instant (age exactly 1.2) still counts, at p = 1.
std::optional<double> clickAnimationProgress(double age);

// One circle of a click marker, centred on the click, in points at zoom 1 (the caller multiplies
// diameter and line width by the zoom scale). A ring is stroked with `lineWidth`; a disc is filled.
struct ClickMarkShape {
    enum class Kind { ring, disc };
    Kind kind = Kind::disc;
    double diameter = 0;
    double alpha = 0;
    double lineWidth = 0;
};

// The circles of an animation at progress p, in drawing order (`none` has none). Growth follows
// e = 1 - (1 - p)^2.4, fast at first and settling, so a click reads at once and then fades away.
std::vector<ClickMarkShape> clickAnimationShapes(CursorClickAnimationStyle style, double p);

// The colour of a marker.
RgbaColor annotationColorValue(AnnotationColor color);

}  // namespace orvane
