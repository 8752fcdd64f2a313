#include "model/camera/auto_zoom_cinematic.h"

#include <algorithm>

#include "base/log.h"
#include "base/log_areas.h"
#include "model/time_mapping.h"

namespace orvane {
namespace {

// One frame at 30 frames per second: how far a frame may lie from the asked time.
constexpr double kFrameTolerance = 1.0 / 30.0;

}  // namespace

CinematicTracker::CinematicTracker(std::shared_ptr<const CinematicScript> script) : script_(std::move(script)) {}

std::shared_ptr<const CinematicTracker> CinematicTracker::load(const std::filesystem::path& videoFile) {
    log::debug(log_area::kAutoZoom, "cinematic script not available for %s", videoFile.filename().c_str());
    return nullptr;
}

std::optional<CursorPosition> CinematicTracker::focusAt(double time) const {
    const auto detection = script_->frameFocus(toMediaTimescale(time), kFrameTolerance);
    if (!detection) return std::nullopt;
    if (detection->detectionType == kCinematicDetectionAutoFocus ||
        detection->detectionType == kCinematicDetectionFixedFocus)
        return std::nullopt;
    const Rect& r = detection->normalizedRect;
    return CursorPosition{r.x + r.width / 2, r.y + r.height / 2};
}

std::vector<ZoomRegion> CinematicTracker::zoomRegions(double duration, double scale) const {
    const std::vector<std::int64_t> decisions = script_->decisionTimes(0, toMediaTimescale(duration));
    std::vector<ZoomRegion> regions;
    for (std::size_t i = 0; i < decisions.size(); ++i) {
        const double start = static_cast<double>(decisions[i]) / static_cast<double>(kMediaTimescale);
        const bool last = i + 1 == decisions.size();
        // A later decision cuts the zoom short; the last one may reach a little less far.
        const double limit =
            last ? duration : static_cast<double>(decisions[i + 1]) / static_cast<double>(kMediaTimescale);
        const double reach = last ? 4.0 : 6.0;
        const double end = std::min(start + reach, limit);
        if (end - start < 0.8) continue;
        const CursorPosition focus = focusAt((start + end) / 2).value_or(CursorPosition{0.5, 0.5});
        ZoomRegion region;
        region.start = start;
        region.end = end;
        region.scale = scale;
        region.focusX = focus.x;
        region.focusY = focus.y;
        region.followCursor = true;
        region.easeSpeed = 0.5;
        regions.push_back(region);
    }
    return regions;
}

}  // namespace orvane
