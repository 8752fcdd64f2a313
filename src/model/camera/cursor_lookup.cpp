#include "model/camera/cursor_lookup.h"

#include <algorithm>
#include <cmath>

#include "model/time_mapping.h"

namespace orvane {
namespace {

std::int64_t truncatedMilliseconds(double seconds) { return static_cast<std::int64_t>(seconds * 1000.0); }

}  // namespace

std::optional<CursorPosition> cursorPosition(std::span<const CursorTelemetryPoint> track, double sourceTime) {
    if (track.empty()) return std::nullopt;
    const std::int64_t ms = truncatedMilliseconds(sourceTime);
    if (ms <= track.front().t) return CursorPosition{track.front().cx, track.front().cy};
    if (ms >= track.back().t) return CursorPosition{track.back().cx, track.back().cy};

    // First sample after ms; the one before it is the last at or before ms. Both exist because ms
    // lies strictly inside the track's time range, and their times differ, so u is well defined.
    const auto after = std::upper_bound(track.begin(), track.end(), ms,
                                        [](std::int64_t value, const CursorTelemetryPoint& p) { return value < p.t; });
    const CursorTelemetryPoint& j = *after;
    const CursorTelemetryPoint& i = *(after - 1);
    const double u = std::clamp(static_cast<double>(ms - i.t) / static_cast<double>(j.t - i.t), 0.0, 1.0);
    return CursorPosition{i.cx + u * (j.cx - i.cx), i.cy + u * (j.cy - i.cy)};
}

double cursorSmoothingSigmaMs(double cameraSmoothing) {
    if (cameraSmoothing >= 1) return 700.0;
    return std::clamp(cameraSmoothing, 0.0, 1.0) * 620.0 + 80.0;
}

std::int64_t cursorSmoothingHalfWindowMs(double cameraSmoothing) {
    return static_cast<std::int64_t>(cursorSmoothingSigmaMs(cameraSmoothing) * 3.5);
}

namespace {

// Weighted mean over the window; `weight` maps a millisecond offset from the asked time to its weight.
template <typename Weight>
std::optional<CursorPosition> gaussianMean(std::span<const CursorTelemetryPoint> track, double sourceTime,
                                           std::int64_t window, Weight weight) {
    if (track.empty()) return std::nullopt;
    const std::int64_t ms = truncatedMilliseconds(sourceTime);
    auto it = std::lower_bound(track.begin(), track.end(), ms - window,
                               [](const CursorTelemetryPoint& p, std::int64_t value) { return p.t < value; });
    if (it == track.end() || it->t > ms + window) return std::nullopt;

    double sumW = 0;
    double sumX = 0;
    double sumY = 0;
    for (; it != track.end() && it->t <= ms + window; ++it) {
        const double w = weight(it->t - ms);
        sumW += w;
        sumX += w * it->cx;
        sumY += w * it->cy;
    }
    if (!(sumW > 0)) return std::nullopt;
    return CursorPosition{sumX / sumW, sumY / sumW};
}

double gaussianWeight(std::int64_t offsetMs, double sigma) {
    const double d = static_cast<double>(offsetMs) / sigma;
    return std::exp(-0.5 * d * d);
}

}  // namespace

std::optional<CursorPosition> smoothedCursor(std::span<const CursorTelemetryPoint> track, double sourceTime,
                                             double cameraSmoothing) {
    const double sigma = cursorSmoothingSigmaMs(cameraSmoothing);
    return gaussianMean(track, sourceTime, cursorSmoothingHalfWindowMs(cameraSmoothing),
                        [sigma](std::int64_t offset) { return gaussianWeight(offset, sigma); });
}

CursorSmoother::CursorSmoother(double cameraSmoothing) : cameraSmoothing_(cameraSmoothing) {
    const double sigma = cursorSmoothingSigmaMs(cameraSmoothing);
    const std::int64_t window = cursorSmoothingHalfWindowMs(cameraSmoothing);
    weights_.reserve(static_cast<std::size_t>(window) + 1);
    // exp(-0.5 d²) is even in d, so one side of the table serves both.
    for (std::int64_t k = 0; k <= window; ++k) weights_.push_back(gaussianWeight(k, sigma));
}

std::optional<CursorPosition> CursorSmoother::at(std::span<const CursorTelemetryPoint> track, double sourceTime) const {
    const auto window = static_cast<std::int64_t>(weights_.size()) - 1;
    return gaussianMean(track, sourceTime, window, [this](std::int64_t offset) {
        return weights_[static_cast<std::size_t>(offset < 0 ? -offset : offset)];
    });
}

std::optional<double> sourceTimeForComposition(double compositionTime, std::span<const Clip> clips) {
    if (clips.empty()) return compositionTime;
    const auto mapping = clipMapping(compositionTime, clips);
    if (!mapping) return std::nullopt;
    return mapping->sourceTime;
}

}  // namespace orvane
