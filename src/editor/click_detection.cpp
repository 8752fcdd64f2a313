#include "editor/click_detection.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace orvane {
namespace {

constexpr double kSwipeMinimumDuration = 0.14;
constexpr double kSwipeMinimumDistance = 0.055;
constexpr double kLongPressMinimumDuration = 0.45;

double seconds(std::int64_t milliseconds) { return static_cast<double>(milliseconds) / 1000.0; }

double squaredDistance(const CursorTelemetryPoint& a, const CursorTelemetryPoint& b) {
    const double dx = b.cx - a.cx;
    const double dy = b.cy - a.cy;
    return dx * dx + dy * dy;
}

CursorInteraction interactionForRun(std::span<const CursorTelemetryPoint> run) {
    const CursorTelemetryPoint& first = run.front();
    // The farthest sample from the start; on a tie the earlier one stays.
    const CursorTelemetryPoint* farthest = &first;
    double farthestDistance = 0;
    for (const CursorTelemetryPoint& p : run) {
        const double d = squaredDistance(first, p);
        if (d > farthestDistance) {
            farthestDistance = d;
            farthest = &p;
        }
    }
    CursorInteraction interaction;
    interaction.startTime = seconds(first.t);
    interaction.endTime = std::max(interaction.startTime, seconds(run.back().t));
    interaction.startX = first.cx;
    interaction.startY = first.cy;
    interaction.endX = farthest->cx;
    interaction.endY = farthest->cy;
    const double duration = interaction.endTime - interaction.startTime;
    if (duration >= kSwipeMinimumDuration && std::sqrt(farthestDistance) >= kSwipeMinimumDistance) {
        interaction.kind = CursorInteraction::Kind::swipe;
    } else if (duration >= kLongPressMinimumDuration) {
        interaction.kind = CursorInteraction::Kind::longPress;
    } else {
        interaction.kind = CursorInteraction::Kind::tap;
    }
    return interaction;
}

}  // namespace

std::vector<ClickAnnotation> clicksFromTelemetry(std::span<const CursorTelemetryPoint> points) {
    std::vector<ClickAnnotation> clicks;
    bool wasPressed = false;
    std::optional<std::int64_t> lastKept;  // milliseconds, as the telemetry counts them
    for (const CursorTelemetryPoint& p : points) {
        const bool edge = p.pressed && !wasPressed;
        wasPressed = p.pressed;
        if (!edge) continue;
        // Whole milliseconds, so presses exactly the gap apart are two clicks whatever the rounding of
        // their times in seconds.
        if (lastKept && p.t - *lastKept < kClickDeduplicationGapMs) continue;
        lastKept = p.t;
        ClickAnnotation click;
        click.time = seconds(p.t);
        click.cx = p.cx;
        click.cy = p.cy;
        clicks.push_back(std::move(click));
    }
    return clicks;
}

std::vector<CursorInteraction> interactionsFromTelemetry(std::span<const CursorTelemetryPoint> points) {
    std::vector<CursorInteraction> interactions;
    std::size_t i = 0;
    while (i < points.size()) {
        if (!points[i].pressed) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < points.size() && points[end].pressed) ++end;
        interactions.push_back(interactionForRun(points.subspan(i, end - i)));
        i = end;
    }
    return interactions;
}

}  // namespace orvane
