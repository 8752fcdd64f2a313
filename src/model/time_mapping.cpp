#include "model/time_mapping.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace orvane {

namespace {

bool startsBefore(const SpeedRamp& a, const SpeedRamp& b) { return a.start < b.start; }

// The ramps in ascending start order, without copying when the editor already keeps them sorted.
// Ties keep list order.
std::span<const SpeedRamp> sortedByStart(std::span<const SpeedRamp> ramps, std::vector<SpeedRamp>& storage) {
    if (std::is_sorted(ramps.begin(), ramps.end(), startsBefore)) return ramps;
    storage.assign(ramps.begin(), ramps.end());
    std::stable_sort(storage.begin(), storage.end(), startsBefore);
    return storage;
}

// The map R with every ramp's position read as (start - origin).
double offsetForOutputTime(double u, std::span<const SpeedRamp> ramps, double origin) {
    std::vector<SpeedRamp> storage;
    double saved = 0;  // output time saved by the ramps passed so far
    for (const auto& ramp : sortedByStart(ramps, storage)) {
        const double start = ramp.start - origin;
        const double q = start - saved;  // where the ramp begins on the output clock
        if (q >= u) return saved + u;
        const double speed = effectiveSpeed(ramp);
        const double length = rampLength(ramp);
        const double played = length / speed;
        if (u < q + played) return start + (u - q) * speed;
        saved += length - played;
    }
    return saved + u;
}

std::int64_t clampToInt64(double value) {
    constexpr double kLimit = 9.2e18;  // just inside the int64 range, exactly representable
    if (std::isnan(value)) return 0;
    return static_cast<std::int64_t>(std::clamp(value, -kLimit, kLimit));
}

}  // namespace

double clipLength(const Clip& clip) { return std::max(clip.sourceEnd - clip.sourceStart, 0.0); }

std::vector<ClipRange> clipLayout(std::span<const Clip> clips) {
    std::vector<ClipRange> layout;
    layout.reserve(clips.size());
    double position = 0;
    for (const auto& clip : clips) {
        position += clip.headOffset;
        const double length = clipLength(clip);
        layout.push_back({position, position + length});
        position += length;
    }
    return layout;
}

std::optional<ClipRange> clipRange(const Uuid& clipID, std::span<const Clip> clips) {
    double position = 0;
    for (const auto& clip : clips) {
        position += clip.headOffset;
        const double length = clipLength(clip);
        if (clip.id == clipID) return ClipRange{position, position + length};
        position += length;
    }
    return std::nullopt;
}

std::optional<ClipComposition::Mapping> clipMapping(double compositionTime, std::span<const Clip> clips) {
    double position = 0;
    for (std::size_t index = 0; index < clips.size(); ++index) {
        const auto& clip = clips[index];
        position += clip.headOffset;
        const double end = position + clipLength(clip);
        if (position <= compositionTime && compositionTime <= end) {
            return ClipComposition::Mapping{index,
                                            clip.id,
                                            clip.sourceFile,
                                            compositionTime - position + clip.sourceStart,
                                            position,
                                            end};
        }
        position = end;
    }
    return std::nullopt;
}

std::optional<double> compositionTimeOfSourceEvent(double sourceTime, std::span<const Clip> clips) {
    if (clips.empty()) return sourceTime;
    double position = 0;
    for (const auto& clip : clips) {
        position += clip.headOffset;
        if (clip.sourceStart <= sourceTime && sourceTime <= clip.sourceEnd) {
            return position + (sourceTime - clip.sourceStart);
        }
        position += clipLength(clip);
    }
    return std::nullopt;
}

double outputDuration(double trimStart, double trimEnd, std::span<const SpeedRamp> ramps) {
    // Every ramp counts, even one outside the trim window: the editor keeps ramps inside it, and
    // the frame count must match what the frame path renders.
    double saving = 0;
    for (const auto& ramp : ramps) saving += rampLength(ramp) - rampOutputLength(ramp);
    return std::max(std::max(trimEnd - trimStart, 0.0) - saving, 0.0);
}

std::int64_t frameCount(double duration, double fps) {
    return std::max<std::int64_t>(clampToInt64(std::ceil(duration * fps)), 1);
}

double compositionOffsetForOutputTime(double outputTime, std::span<const SpeedRamp> ramps) {
    return offsetForOutputTime(outputTime, ramps, 0);
}

double compositionTimeForOutputTime(double outputTime, double trimStart, std::span<const SpeedRamp> ramps) {
    return trimStart + offsetForOutputTime(outputTime, ramps, trimStart);
}

double compositionTimeForFrame(std::int64_t frame, double fps, double trimStart, std::span<const SpeedRamp> ramps) {
    return compositionTimeForOutputTime(static_cast<double>(frame) / fps, trimStart, ramps);
}

std::vector<ScaleOp> scaleOperations(std::span<const SpeedRamp> ramps, double offset) {
    std::vector<SpeedRamp> ordered(ramps.begin(), ramps.end());
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const SpeedRamp& a, const SpeedRamp& b) { return a.start > b.start; });
    std::vector<ScaleOp> operations;
    operations.reserve(ordered.size());
    for (const auto& ramp : ordered) {
        operations.push_back({ramp.start - offset, rampLength(ramp), rampOutputLength(ramp)});
    }
    return operations;
}

std::optional<double> placedMediaTime(double compositionTime, double startTime, double duration, double sourceStart) {
    const double elapsed = compositionTime - startTime;
    if (!(0 <= elapsed && elapsed <= duration)) return std::nullopt;  // also refuses NaN
    return elapsed + sourceStart;
}

std::optional<double> mediaTimeAt(const VideoOverlayClip& overlay, double compositionTime) {
    return placedMediaTime(compositionTime, overlay.startTime, overlay.duration, overlay.sourceStart);
}

std::optional<double> mediaTimeAt(const AudioClip& clip, double compositionTime) {
    return placedMediaTime(compositionTime, clip.startTime, clip.duration, clip.sourceStart);
}

std::int64_t toMediaTimescale(double seconds) {
    return clampToInt64(std::round(seconds * static_cast<double>(kMediaTimescale)));
}

SourceDurationCache::SourceDurationCache(Reader reader) : reader_(std::move(reader)) {}

std::optional<double> SourceDurationCache::duration(const std::filesystem::path& file) {
    std::lock_guard lock(mutex_);
    if (const auto found = durations_.find(file); found != durations_.end()) return found->second;
    const auto read = reader_ ? reader_(file) : std::nullopt;
    if (!read || !std::isfinite(*read) || *read <= 0) return std::nullopt;
    durations_.emplace(file, *read);
    return read;
}

}  // namespace orvane
