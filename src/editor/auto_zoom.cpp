#include "editor/auto_zoom.h"

#include <algorithm>

#include "base/atomic_file.h"
#include "editor/click_detection.h"
#include "model/camera/cursor_lookup.h"
#include "model/recording_files.h"

namespace orvane {

using namespace auto_zoom;

std::vector<ZoomCandidate> candidatesFromClicks(std::span<const ClickAnnotation> clicks, double duration) {
    std::vector<std::pair<double, std::pair<double, double>>> sorted;  // time, (cx, cy)
    sorted.reserve(clicks.size());
    for (const ClickAnnotation& click : clicks) sorted.push_back({click.time, {click.cx, click.cy}});
    std::stable_sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.first < b.first; });

    std::vector<ZoomCandidate> candidates;
    std::size_t i = 0;
    while (i < sorted.size()) {
        // A cluster runs while each click follows the previous one within the cluster gap.
        std::size_t end = i + 1;
        while (end < sorted.size() && !(sorted[end].first - sorted[end - 1].first > clusterGap)) ++end;
        const double first = sorted[i].first;
        const double last = sorted[end - 1].first;
        double sumX = 0;
        double sumY = 0;
        for (std::size_t k = i; k < end; ++k) {
            sumX += sorted[k].second.first;
            sumY += sorted[k].second.second;
        }
        const double count = static_cast<double>(end - i);
        ZoomCandidate candidate;
        candidate.start = std::max(first - leadBeforeClick, 0.0);
        candidate.end = std::min(last + holdAfterClick, duration);
        if (candidate.end - candidate.start < minimumLength)
            candidate.end = std::min(candidate.start + shortLength, duration);
        if (candidate.end - candidate.start > maximumLength) candidate.end = candidate.start + maximumLength;
        candidate.fx = sumX / count;
        candidate.fy = sumY / count;
        candidates.push_back(candidate);
        i = end;
    }
    return candidates;
}

std::vector<ZoomCandidate> mergeCandidates(std::span<const ZoomCandidate> candidates, double gap) {
    std::vector<ZoomCandidate> merged;
    merged.reserve(candidates.size());
    for (const ZoomCandidate& candidate : candidates) {
        if (merged.empty() || candidate.start - merged.back().end > gap) {
            merged.push_back(candidate);
            continue;
        }
        // Pairwise midpoint on purpose: a chain of merges leans toward the later clusters.
        ZoomCandidate& last = merged.back();
        last.end = std::max(last.end, candidate.end);
        last.fx = (last.fx + candidate.fx) / 2;
        last.fy = (last.fy + candidate.fy) / 2;
    }
    return merged;
}

double endAtCursorExit(const ZoomCandidate& candidate, std::span<const Clip> clips,
                       std::span<const CursorTelemetryPoint> cursorTrack, const CursorSmoother& smoother) {
    if (candidate.start > candidate.end) return candidate.end;
    for (double t = candidate.start; t <= candidate.end; t += exitStep) {
        const auto sourceTime = sourceTimeForComposition(t, clips);
        if (!sourceTime) continue;
        const auto cursor = smoother.at(cursorTrack, *sourceTime);
        if (!cursor) continue;
        const bool outside = cursor->x < candidate.fx - exitHalfWidth || cursor->y < candidate.fy - exitHalfWidth ||
                             cursor->x > candidate.fx + exitHalfWidth || cursor->y > candidate.fy + exitHalfWidth;
        if (outside) return std::max(t, candidate.start + minimumAfterExit);
    }
    return candidate.end;
}

AutoZoomResult autoZoomsFromClicks(std::span<const ClickAnnotation> clicks, const AutoZoomInputs& inputs) {
    if (inputs.automaticZoomsSuppressed || !inputs.autoZoomOnClicks) return {AutoZoomStatus::unknown(), std::nullopt};
    if (clicks.empty()) return {AutoZoomStatus::noClicks(), std::nullopt};
    if (inputs.duration <= 0) return {AutoZoomStatus::pendingDuration(), std::nullopt};

    const std::vector<ZoomCandidate> clustered = candidatesFromClicks(clicks, inputs.duration);
    std::vector<ZoomCandidate> trimmed = mergeCandidates(clustered, firstMergeGap);
    if (!inputs.cursorTrack.empty()) {
        const CursorSmoother smoother(inputs.cameraSmoothing);
        for (ZoomCandidate& candidate : trimmed)
            candidate.end = endAtCursorExit(candidate, inputs.clips, inputs.cursorTrack, smoother);
    }
    std::stable_sort(trimmed.begin(), trimmed.end(),
                     [](const ZoomCandidate& a, const ZoomCandidate& b) { return a.start < b.start; });
    const std::vector<ZoomCandidate> merged = mergeCandidates(trimmed, secondMergeGap);

    std::vector<ZoomRegion> regions;
    regions.reserve(merged.size());
    for (const ZoomCandidate& candidate : merged) {
        ZoomRegion region;
        region.start = candidate.start;
        region.end = candidate.end;
        region.scale = scale;
        region.focusX = candidate.fx;
        region.focusY = candidate.fy;
        region.followCursor = false;
        region.easeSpeed = easeSpeed;
        regions.push_back(region);
    }
    std::stable_sort(regions.begin(), regions.end(),
                     [](const ZoomRegion& a, const ZoomRegion& b) { return a.start < b.start; });
    const AutoZoomStatus status = regions.empty() ? AutoZoomStatus::noClicks() : AutoZoomStatus::ready(regions.size());
    return {status, std::move(regions)};
}

bool shouldApplyAutoZooms(bool automaticZoomsSuppressed, std::span<const ZoomRegion> zoomRegions) {
    return !automaticZoomsSuppressed && zoomRegions.empty();
}

std::vector<ZoomRegion> cinematicAutoZooms(const CinematicTracker& tracker, double duration,
                                           bool automaticZoomsSuppressed, bool autoZoomCinematic) {
    if (automaticZoomsSuppressed || !autoZoomCinematic) return {};
    return tracker.zoomRegions(duration, cinematicScale);
}

AutoZoomStatus openingAutoZoomStatus(bool hasCursorTelemetryFile, std::optional<bool> clickCaptureActive) {
    if (!hasCursorTelemetryFile) return AutoZoomStatus::noCursorTrack();
    if (clickCaptureActive == false) return AutoZoomStatus::clickCaptureDisabled();
    return AutoZoomStatus::computing();
}

AutoZoomFields applyAutoZooms(AutoZoomFields fields, std::span<const ClickAnnotation> clicks,
                              const AutoZoomPreferences& preferences, double cameraSmoothing) {
    AutoZoomInputs inputs;
    inputs.duration = fields.duration;
    inputs.automaticZoomsSuppressed = fields.automaticZoomsSuppressed;
    inputs.autoZoomOnClicks = preferences.autoZoomOnClicks;
    inputs.clips = fields.clips;
    if (fields.cursorTrack) inputs.cursorTrack = *fields.cursorTrack;
    inputs.cameraSmoothing = cameraSmoothing;
    AutoZoomResult result = autoZoomsFromClicks(clicks, inputs);
    fields.autoZoomStatus = result.status;
    if (result.zoomRegions) {
        fields.zoomRegions = std::move(*result.zoomRegions);
        fields.autoZoomsApplied = true;
    }
    return fields;
}

AutoZoomFields applyCinematicAutoZooms(AutoZoomFields fields, const CinematicTracker& tracker,
                                       const AutoZoomPreferences& preferences) {
    std::vector<ZoomRegion> regions =
        cinematicAutoZooms(tracker, fields.duration, fields.automaticZoomsSuppressed, preferences.autoZoomCinematic);
    if (regions.empty()) return fields;
    fields.selectedZoomID = regions.front().id;
    fields.zoomRegions = std::move(regions);
    return fields;
}

TelemetryDerivation deriveFromTelemetry(std::vector<CursorTelemetryPoint> points) {
    TelemetryDerivation derived;
    derived.clicks = clicksFromTelemetry(points);
    derived.interactions = interactionsFromTelemetry(points);
    derived.points = std::move(points);
    return derived;
}

AutoZoomFields afterTelemetryLoaded(AutoZoomFields fields, TelemetryDerivation derived,
                                    const AutoZoomPreferences& preferences, double cameraSmoothing) {
    fields.cursorTrack = std::move(derived.points);
    fields.cursorInteractions = std::move(derived.interactions);
    if (fields.annotations.empty()) fields.annotations = derived.clicks;
    if (shouldApplyAutoZooms(fields.automaticZoomsSuppressed, fields.zoomRegions))
        fields = applyAutoZooms(std::move(fields), derived.clicks, preferences, cameraSmoothing);
    return fields;
}

AutoZoomFields afterCinematicLoaded(AutoZoomFields fields, std::shared_ptr<const CinematicTracker> tracker,
                                    const AutoZoomPreferences& preferences) {
    if (!tracker) return fields;
    fields.cinematicTracker = std::move(tracker);
    fields.isCinematic = true;
    if (fields.duration > 0) {
        const auto installed = fields.cinematicTracker;
        fields = applyCinematicAutoZooms(std::move(fields), *installed, preferences);
    }
    return fields;
}

AutoZoomFields afterDurationKnown(AutoZoomFields fields, double duration, const AutoZoomPreferences& preferences,
                                  double cameraSmoothing) {
    fields.duration = duration;
    if (fields.clips.size() == 1 && fields.clips.front().sourceEnd == 0) fields.clips.front().sourceEnd = duration;
    if (fields.cinematicTracker && shouldApplyAutoZooms(fields.automaticZoomsSuppressed, fields.zoomRegions)) {
        const auto tracker = fields.cinematicTracker;
        fields = applyCinematicAutoZooms(std::move(fields), *tracker, preferences);
    }
    if (shouldApplyAutoZooms(fields.automaticZoomsSuppressed, fields.zoomRegions) && !fields.annotations.empty()) {
        const std::vector<ClickAnnotation> clicks = fields.annotations;
        fields = applyAutoZooms(std::move(fields), clicks, preferences, cameraSmoothing);
    }
    // Suppressed zooms are never computed, so the opening "computing" would otherwise stay forever.
    if (fields.automaticZoomsSuppressed && fields.autoZoomStatus == AutoZoomStatus::computing()) {
        fields.autoZoomStatus = AutoZoomStatus::unknown();
    }
    return fields;
}

CursorTelemetryFileError::CursorTelemetryFileError(Kind kind, const std::filesystem::path& file)
    : std::runtime_error(kind == Kind::unreadable ? "Could not read the cursor telemetry file " + file.string()
                                                  : "The cursor telemetry file " + file.string() + " is not valid"),
      kind_(kind) {}

CursorTelemetry readCursorTelemetryFile(const std::filesystem::path& file) {
    const auto contents = readFileContents(file, kTelemetryFileLimit);
    if (!contents) throw CursorTelemetryFileError(CursorTelemetryFileError::Kind::unreadable, file);
    auto telemetry = decodeCursorTelemetry(*contents);
    if (!telemetry) throw CursorTelemetryFileError(CursorTelemetryFileError::Kind::undecodable, file);
    return std::move(*telemetry);
}

std::optional<AutoZoomFields> reloadCursorTelemetry(AutoZoomFields fields, const CursorTelemetry& telemetry,
                                                    const std::filesystem::path& url,
                                                    const AutoZoomPreferences& preferences, double cameraSmoothing) {
    std::vector<ClickAnnotation> clicks = clicksFromTelemetry(telemetry.points);
    if (clicks.empty()) return std::nullopt;
    fields.automaticZoomsSuppressed = false;
    fields.cursorTrack = telemetry.points;
    fields.cursorTrackPath = url;
    fields.annotations = clicks;
    std::vector<CursorInteraction> interactions = interactionsFromTelemetry(telemetry.points);
    if (!interactions.empty()) fields.cursorInteractions = std::move(interactions);
    fields.zoomRegions.clear();
    return applyAutoZooms(std::move(fields), clicks, preferences, cameraSmoothing);
}

AutoZoomFields adoptCursorTrack(AutoZoomFields fields, std::vector<CursorTelemetryPoint> points,
                                std::int64_t /*sampleHz*/, const std::optional<std::filesystem::path>& url) {
    if (fields.annotations.empty()) fields.annotations = clicksFromTelemetry(points);
    fields.cursorInteractions = interactionsFromTelemetry(points);
    fields.cursorTrack = std::move(points);
    if (url) fields.cursorTrackPath = url;
    fields.autoZoomStatus =
        fields.zoomRegions.empty() ? AutoZoomStatus::noClicks() : AutoZoomStatus::ready(fields.zoomRegions.size());
    return fields;
}

}  // namespace orvane
