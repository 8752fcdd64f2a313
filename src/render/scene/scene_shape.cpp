#include "render/scene/scene_shape.h"

#include <algorithm>
#include <numbers>

namespace orvane {

RoundedShape roundedShape(const Rect& rect, double radius) {
    const double shorter = std::max(std::min(rect.width, rect.height), 0.0);
    if (radius < 999 && radius < shorter / 2 - 0.5) {
        return {RoundedShape::Kind::roundedRectangle, rect, std::max(std::min(radius, shorter / 2), 0.0)};
    }
    const Rect square{rect.x + (rect.width - shorter) / 2, rect.y + (rect.height - shorter) / 2, shorter, shorter};
    return {RoundedShape::Kind::circle, square, shorter / 2};
}

void appendShapePath(cairo_t* context, const RoundedShape& shape) {
    const Rect& r = shape.rect;
    constexpr double pi = std::numbers::pi;
    cairo_new_sub_path(context);
    if (shape.kind == RoundedShape::Kind::circle) {
        cairo_arc(context, r.x + r.width / 2, r.y + r.height / 2, shape.radius, 0, 2 * pi);
        cairo_close_path(context);
        return;
    }
    const double k = shape.radius;
    if (k <= 0) {
        cairo_rectangle(context, r.x, r.y, r.width, r.height);
        return;
    }
    cairo_arc(context, r.maxX() - k, r.minY() + k, k, -pi / 2, 0);
    cairo_arc(context, r.maxX() - k, r.maxY() - k, k, 0, pi / 2);
    cairo_arc(context, r.minX() + k, r.maxY() - k, k, pi / 2, pi);
    cairo_arc(context, r.minX() + k, r.minY() + k, k, pi, 3 * pi / 2);
    cairo_close_path(context);
}

}  // namespace orvane
