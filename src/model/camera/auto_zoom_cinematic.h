#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "base/geometry.h"
#include "model/camera/cursor_lookup.h"
#include "model/zoom_region.h"

namespace orvane {

// Detection types that name no subject (automatic focus and fixed focus): they give no focus point.
inline constexpr std::int64_t kCinematicDetectionAutoFocus = 100;
inline constexpr std::int64_t kCinematicDetectionFixedFocus = 101;

// What a cinematic script says it focuses on in one frame.
struct CinematicFocusDetection {
    std::int64_t detectionType = 0;
    Rect normalizedRect;  // fractions of the frame
};

// A cinematic-video analysis of one screen video: focus decisions over time and per-frame focus.
// Times are counts at the media timescale (600 per second). Implemented by a platform's cinematic
// framework; Linux has none, so only tests provide one.
class CinematicScript {
public:
    virtual ~CinematicScript() = default;

    // Decision times, in the script's order, within [start, start + duration].
    virtual std::vector<std::int64_t> decisionTimes(std::int64_t start, std::int64_t duration) const = 0;
    // The frame nearest `time` within the tolerance (seconds): its focus detection, or nothing when
    // there is no frame there.
    virtual std::optional<CinematicFocusDetection> frameFocus(std::int64_t time, double toleranceSeconds) const = 0;
};

// A screen video's cinematic script. Created only by `load`, never changed afterwards.
class CinematicTracker {
public:
    explicit CinematicTracker(std::shared_ptr<const CinematicScript> script);

    // Nothing when the platform offers no cinematic analysis or the video carries none. This
    // platform has no cinematic-video service, so the answer is always nothing ("not available").
    static std::shared_ptr<const CinematicTracker> load(const std::filesystem::path& videoFile);

    // One zoom per decision long enough to show (0.8 s), following the script.
    std::vector<ZoomRegion> zoomRegions(double duration, double scale) const;

    // The focus the script names at a composition time; nothing when it names no subject.
    std::optional<CursorPosition> focusAt(double time) const;

    const CinematicScript& script() const { return *script_; }

private:
    std::shared_ptr<const CinematicScript> script_;
};

}  // namespace orvane
