#pragma once

// The three clocks of an edit and the pure functions between them.
//   source time       inside one media file (clips, cursor telemetry, clicks)
//   composition time  along the clip layout (trim window, zooms, mutes, ramps, overlays, audio clips)
//   output time       from the first exported frame
// Preview, export and the audio mix must agree to the frame, so every one of them goes through
// these functions. Comparisons are exact: no tolerances are applied anywhere.
//
// Ramp clock: ramps are stored in composition time, as the editor creates them. Both the frame path
// (compositionTimeForOutputTime) and the media-composition path (scaleOperations with
// offset = trimStart) measure ramp positions from trimStart, so video, audio and overlays stay in
// step whatever the trim window. compositionOffsetForOutputTime is the bare map R over ramps given
// on whatever clock the caller chose.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "model/audio_clip.h"
#include "model/clip.h"
#include "model/speed_ramp.h"
#include "model/video_overlay_clip.h"

namespace orvane {

// Media frameworks take times at this many units per second.
inline constexpr std::int64_t kMediaTimescale = 600;

// max(sourceEnd - sourceStart, 0).
double clipLength(const Clip& clip);

// The composition range of every clip, in list order: each after its own head offset.
std::vector<ClipRange> clipLayout(std::span<const Clip> clips);

// The range of the first clip with this id, or nothing.
std::optional<ClipRange> clipRange(const Uuid& clipID, std::span<const Clip> clips);

// The first clip (in list order) whose range holds c, both ends inclusive, so a shared boundary
// belongs to the earlier clip. Nothing in head gaps, before the first clip or after the last.
std::optional<ClipComposition::Mapping> clipMapping(double compositionTime, std::span<const Clip> clips);

// Where an event stamped on the recording's clock lands: the first clip whose source range holds
// it (inclusive). Times pass unchanged through an empty list; an event no clip shows is dropped.
// Source files are not compared: every clip shows the main recording.
std::optional<double> compositionTimeOfSourceEvent(double sourceTime, std::span<const Clip> clips);

// The length of the export: the trim window less what every ramp in the list saves.
double outputDuration(double trimStart, double trimEnd, std::span<const SpeedRamp> ramps);

// max(ceil(duration * fps), 1).
std::int64_t frameCount(double duration, double fps);

// The map R: the composition offset shown at output time u, for ramps on the same clock as u.
double compositionOffsetForOutputTime(double outputTime, std::span<const SpeedRamp> ramps);

// The composition time shown at output time u: trimStart + R(u) with ramp positions measured
// from trimStart (see the ramp clock note above).
double compositionTimeForOutputTime(double outputTime, double trimStart, std::span<const SpeedRamp> ramps);

// The composition time shown by output frame n.
double compositionTimeForFrame(std::int64_t frame, double fps, double trimStart, std::span<const SpeedRamp> ramps);

// One retiming step for a media composition: the range starting at `start` and lasting `duration`
// (composition seconds, on the media composition's own clock) is made to last `targetDuration`.
struct ScaleOp {
    double start = 0;
    double duration = 0;
    double targetDuration = 0;

    bool operator==(const ScaleOp&) const = default;
};

// Latest ramp first, so applying them in order never moves a range that is still to be retimed.
// `offset` is where the media composition begins on the composition clock (callers pass trimStart).
std::vector<ScaleOp> scaleOperations(std::span<const SpeedRamp> ramps, double offset);

// An item placed with startTime/duration/sourceStart (overlays, audio clips) is active at c when
// 0 <= c - startTime <= duration; the answer is then its media time c - startTime + sourceStart.
std::optional<double> placedMediaTime(double compositionTime, double startTime, double duration, double sourceStart);
std::optional<double> mediaTimeAt(const VideoOverlayClip& overlay, double compositionTime);
std::optional<double> mediaTimeAt(const AudioClip& clip, double compositionTime);

// Seconds as a count at kMediaTimescale, rounded to the nearest unit.
std::int64_t toMediaTimescale(double seconds);

// The playable length of each clip file, read once and kept for the owner's lifetime (one per editor
// or render job). Only a positive, finite duration is kept; a file that could not be read is asked
// again next time, so a file that appears later is picked up. Safe to call from any thread.
class SourceDurationCache {
public:
    // Production code passes playableDuration from media/media_probe.h.
    using Reader = std::function<std::optional<double>(const std::filesystem::path&)>;

    explicit SourceDurationCache(Reader reader);

    std::optional<double> duration(const std::filesystem::path& file);

private:
    Reader reader_;
    // The reader runs under the lock so each file is read once even when render workers race.
    std::mutex mutex_;
    std::map<std::filesystem::path, double> durations_;
};

}  // namespace orvane
