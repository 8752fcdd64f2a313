#include "render/cursor/cursor_point.h"

#include <algorithm>

namespace orvane {

std::optional<CursorPosition> cursorSampleAt(std::span<const CursorSample> samples, double t) {
    if (samples.empty()) return std::nullopt;
    if (t <= samples.front().t) return CursorPosition{samples.front().x, samples.front().y};
    if (t >= samples.back().t) return CursorPosition{samples.back().x, samples.back().y};
    // First sample after t; the one before it is at or before t.
    const auto after = std::upper_bound(samples.begin(), samples.end(), t,
                                        [](double time, const CursorSample& s) { return time < s.t; });
    const CursorSample& b = *after;
    const CursorSample& a = *(after - 1);
    const double u = std::clamp((t - a.t) / std::max(b.t - a.t, 0.001), 0.0, 1.0);
    return CursorPosition{a.x + (b.x - a.x) * u, a.y + (b.y - a.y) * u};
}

std::optional<CanvasPoint> mapToContent(CursorPosition point, const std::optional<Rect>& cropRect,
                                        const CursorLayerFrame& frame) {
    double cx = point.x;
    double cy = point.y;
    if (cropRect && cropRect->width > 0 && cropRect->height > 0) {
        const Rect& crop = *cropRect;
        if (cx < crop.minX() || cx > crop.maxX() || cy < crop.minY() || cy > crop.maxY()) return std::nullopt;
        cx = (cx - crop.minX()) / crop.width;
        cy = (cy - crop.minY()) / crop.height;
    }
    // Top-left origin on both sides, so no flip.
    return CanvasPoint{frame.content.minX() + cx * frame.content.width,
                       frame.content.minY() + cy * frame.content.height};
}

std::optional<CanvasPoint> cursorCanvasPoint(const SceneRenderSnapshot& inputs, double t,
                                             const CursorLayerFrame& frame) {
    const auto sample = cursorSampleAt(inputs.cursorSamples, t);
    if (!sample) return std::nullopt;
    return mapToContent(*sample, inputs.edit.frame.cropRect, frame);
}

}  // namespace orvane
