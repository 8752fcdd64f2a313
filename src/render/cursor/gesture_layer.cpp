#include "render/cursor/gesture_layer.h"

#include <algorithm>
#include <cmath>

#include "render/cursor/cursor_point.h"

namespace orvane {

namespace {

constexpr double kNavigationTapTail = 0.28;
constexpr double kLongPressTail = 0.75;
constexpr double kSwipeTail = 0.75;

void circle(cairo_t* cr, CanvasPoint p, double diameter) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, p.x, p.y, diameter / 2, 0, 2 * M_PI);
}

void setAccent(cairo_t* cr, double alpha) {
    cairo_set_source_rgba(cr, kGestureColor.red, kGestureColor.green, kGestureColor.blue, alpha);
}

// Progress through a press and its tail; an end before the start gives just the tail.
double pressProgress(const CursorInteraction& interaction, double t, double tail) {
    const double end = std::max(interaction.endTime, interaction.startTime);
    const double span = std::max(end - interaction.startTime + tail, 0.1);
    return std::clamp((t - interaction.startTime) / span, 0.0, 1.0);
}

bool alive(const CursorInteraction& interaction, double t, double tail) {
    return interaction.startTime <= t && t <= std::max(interaction.endTime, interaction.startTime) + tail;
}

void drawNavigationTap(cairo_t* cr, CanvasPoint p, double q, double s) {
    const double e = 1 - std::pow(1 - q, 2.2);
    circle(cr, p, (30 + 12 * e) * s);
    setAccent(cr, std::max(0.0, 0.2 * (1 - e)));
    cairo_fill(cr);
    circle(cr, p, (22 + 8 * e) * s);
    setAccent(cr, std::max(0.0, 0.84 - 0.78 * e));
    cairo_set_line_width(cr, std::max(1.0, 3 - e) * s);
    cairo_stroke(cr);
}

void drawLongPress(cairo_t* cr, CanvasPoint p, double q, double s) {
    const double e2 = 1 - (1 - q) * (1 - q);
    circle(cr, p, (58 + 18 * e2) * s);
    setAccent(cr, std::max(0.0, 0.16 * (1 - q)));
    cairo_fill(cr);
    circle(cr, p, (34 + 30 * e2) * s);
    setAccent(cr, std::max(0.0, 0.72 - 0.56 * q));
    cairo_set_line_width(cr, std::max(2.0, 4 * s));
    cairo_stroke(cr);
}

void drawSwipe(cairo_t* cr, CanvasPoint from, CanvasPoint head, double fade, double s) {
    cairo_save(cr);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_move_to(cr, from.x, from.y);
    cairo_line_to(cr, head.x, head.y);
    setAccent(cr, 0.62 * fade);
    cairo_set_line_width(cr, std::max(6.0, 13 * s));
    cairo_stroke_preserve(cr);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.56 * fade);
    cairo_set_line_width(cr, std::max(2.0, 4 * s));
    cairo_stroke(cr);
    circle(cr, head, std::max(6.0, 12 * s));
    cairo_set_source_rgba(cr, 1, 1, 1, 0.82 * fade);
    cairo_fill(cr);
    cairo_restore(cr);
}

}  // namespace

std::optional<SwipeTrail> swipeTrailAt(const CursorInteraction& swipe, double t) {
    if (!alive(swipe, t, kSwipeTail)) return std::nullopt;
    const double f =
        t >= swipe.endTime
            ? 1.0
            : std::clamp((t - swipe.startTime) / std::max(swipe.endTime - swipe.startTime, 0.001), 0.0, 1.0);
    const double fade = t <= swipe.endTime ? 1.0 : std::max(0.0, 1 - (t - swipe.endTime) / kSwipeTail);
    return SwipeTrail{{swipe.startX, swipe.startY},
                      {swipe.startX + (swipe.endX - swipe.startX) * f, swipe.startY + (swipe.endY - swipe.startY) * f},
                      fade};
}

void drawGestures(cairo_t* cr, const SceneRenderSnapshot& inputs, double t, const CursorLayerFrame& frame) {
    if (!inputs.edit.cursor.showAnnotations ||
        inputs.edit.cursor.cursorClickAnimationStyle == CursorClickAnimationStyle::none)
        return;
    const double s = frame.scale;
    cairo_save(cr);
    for (const auto& interaction : inputs.edit.cursor.cursorInteractions) {
        switch (interaction.kind) {
            case CursorInteraction::Kind::navigationTap:
            case CursorInteraction::Kind::longPress: {
                const bool navigation = interaction.kind == CursorInteraction::Kind::navigationTap;
                const double tail = navigation ? kNavigationTapTail : kLongPressTail;
                if (!alive(interaction, t, tail)) break;
                const auto point = mapToContent(CursorPosition{interaction.startX, interaction.startY},
                                                inputs.edit.frame.cropRect, frame);
                if (!point) break;
                const double q = pressProgress(interaction, t, tail);
                if (navigation) {
                    drawNavigationTap(cr, *point, q, s);
                } else {
                    drawLongPress(cr, *point, q, s);
                }
                break;
            }
            case CursorInteraction::Kind::swipe: {
                const auto trail = swipeTrailAt(interaction, t);
                if (!trail) break;
                const auto from = mapToContent(trail->start, inputs.edit.frame.cropRect, frame);
                const auto head = mapToContent(trail->head, inputs.edit.frame.cropRect, frame);
                if (!from || !head) break;
                drawSwipe(cr, *from, *head, trail->fade, s);
                break;
            }
            case CursorInteraction::Kind::tap:
            case CursorInteraction::Kind::typing: break;
        }
    }
    cairo_restore(cr);
}

}  // namespace orvane
