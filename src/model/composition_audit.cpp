#include "model/composition_audit.h"

#include <algorithm>
#include <cmath>

#include "base/log.h"
#include "base/log_areas.h"
#include "model/decimal_text.h"
#include "model/time_mapping.h"

namespace orvane {

namespace {

// Differences at or below this are rounding, not disagreement.
constexpr double kTolerance = 1e-6;

// Evenly spaced times over the longer of the two durations, plus both sides of every clip edge,
// where an off-by-one between the two mappings would show.
std::vector<double> sampleTimes(std::span<const Clip> clips, int sampleCount, double clipDuration,
                                double resolvedDuration) {
    double span = std::max(clipDuration, resolvedDuration);
    if (span <= kTolerance) span = kTolerance;
    const int count = std::max(sampleCount, 0);
    const double step = count >= 2 ? span / count : span;

    std::vector<double> times;
    times.reserve(static_cast<std::size_t>(count) + 1 + clips.size() * 4);
    for (int k = 0; k <= count; ++k) times.push_back(step * k);
    double position = 0;
    for (const auto& clip : clips) {
        position += clip.headOffset;
        times.push_back(position);
        times.push_back(position + kTolerance);
        position += clipLength(clip);
        times.push_back(position - kTolerance);
        times.push_back(position);
    }
    return times;
}

}  // namespace

std::vector<CompositionAudit::Discrepancy> CompositionAudit::run(std::span<const Clip> clips,
                                                                 const ResolvedLayer* screenLayer, int sampleCount,
                                                                 double resolvedDuration) {
    std::vector<Discrepancy> found;

    double clipDuration = 0;
    for (const auto& clip : clips) clipDuration += clip.headOffset + clipLength(clip);
    const double difference = std::abs(resolvedDuration - clipDuration);
    if (difference > kTolerance) {
        found.push_back({"duration", "resolved=" + shortestDecimal(resolvedDuration) +
                                         " vs ClipComposition=" + shortestDecimal(clipDuration) +
                                         " (\u0394=" + shortestDecimal(difference) + ")"});
    }

    if (!screenLayer) {
        found.push_back({"no_screen_layer", "Resolved timeline has no .screen layer"});
        return found;
    }

    for (const double t : sampleTimes(clips, sampleCount, clipDuration, resolvedDuration)) {
        const auto before = clipMapping(t, clips);
        const auto after = layerMapping(*screenLayer, t);
        const std::string at = "t=" + shortestDecimal(t);
        if (before && after) {
            if (std::abs(before->sourceTime - after->sourceTime) > kTolerance) {
                found.push_back({"sourceTime_drift", at + " old=" + shortestDecimal(before->sourceTime) +
                                                         " new=" + shortestDecimal(after->sourceTime)});
            }
        } else if (before) {
            found.push_back({"mapping_diverged", at + " old=source" + shortestDecimal(before->sourceTime) + " new=nil"});
        } else if (after) {
            found.push_back({"mapping_diverged", at + " old=nil new=source" + shortestDecimal(after->sourceTime)});
        }
    }
    return found;
}

void CompositionAudit::log(std::string_view recordingID, std::size_t clipCount, double resolvedDuration,
                           const std::vector<Discrepancy>& discrepancies) {
    const std::string recording(recordingID);
    const int clips = static_cast<int>(clipCount);
    if (discrepancies.empty()) {
        log::info(log_area::kCompositionAudit,
                  "\u2713 resolver matches ClipComposition (recording=%s, clips=%d, duration=%.4f)", recording.c_str(),
                  clips, resolvedDuration);
        return;
    }
    log::warning(log_area::kCompositionAudit, "\u2717 %d discrepancy(ies) (recording=%s, clips=%d)",
                 static_cast<int>(discrepancies.size()), recording.c_str(), clips);
    const auto shown = std::min(discrepancies.size(), kLoggedDiscrepancyLimit);
    for (std::size_t i = 0; i < shown; ++i) {
        log::warning(log_area::kCompositionAudit, "  \u2022 %s: %s", discrepancies[i].kind.c_str(),
                     discrepancies[i].detail.c_str());
    }
}

}  // namespace orvane
