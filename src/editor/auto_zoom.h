#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <vector>

#include "base/uuid.h"
#include "editor/auto_zoom_status.h"
#include "model/camera/auto_zoom_cinematic.h"
#include "model/camera/zoom_camera.h"
#include "model/click_annotation.h"
#include "model/clip.h"
#include "model/cursor_interaction.h"
#include "model/cursor_telemetry.h"
#include "model/zoom_region.h"

namespace orvane {

// Constants of the click-to-zoom algorithm (seconds unless stated).
namespace auto_zoom {
inline constexpr double clusterGap = 1.5;        // a longer pause between clicks starts a new cluster
inline constexpr double leadBeforeClick = 0.5;   // zoom in this long before the first click
inline constexpr double holdAfterClick = 0.6;    // and stay this long after the last
inline constexpr double minimumLength = 1.4;     // shorter candidates are lengthened ...
inline constexpr double shortLength = 1.6;       // ... to this
inline constexpr double maximumLength = 4.0;
inline constexpr double firstMergeGap = 0.25;
inline constexpr double secondMergeGap = 1.2;
inline constexpr double exitStep = 1.0 / 30.0;   // cursor-exit check interval
inline constexpr double exitHalfWidth = 0.3625;  // focus square half-width, normalised
inline constexpr double minimumAfterExit = 1.0;  // a zoom cut at cursor exit still lasts this long
inline constexpr double scale = 1.6;
inline constexpr double easeSpeed = 0.5;
inline constexpr double cinematicScale = 1.2;
}  // namespace auto_zoom

// A provisional zoom inside the click algorithm: composition-time range and normalised focus.
struct ZoomCandidate {
    double start = 0;
    double end = 0;
    double fx = 0.5;
    double fy = 0.5;

    bool operator==(const ZoomCandidate&) const = default;
};

// Sorts the clicks by time, groups them into clusters and makes one candidate per cluster, its
// length kept between 1.4 (lengthened to 1.6) and 4.0 s and inside the duration, focused on the
// mean click position. Every click counts, enabled or not.
std::vector<ZoomCandidate> candidatesFromClicks(std::span<const ClickAnnotation> clicks, double duration);

// Joins each candidate that starts no more than `gap` after the previous result's end into that
// result: the earlier start, the later end and the midpoint of the two foci.
std::vector<ZoomCandidate> mergeCandidates(std::span<const ZoomCandidate> candidates, double gap);

// Where the candidate ends once the smoothed cursor leaves the focus square: the first exit time
// found in 1/30 s steps, but not before start + 1 s (not clamped to the candidate again); the
// unchanged end when the cursor stays or cannot be looked up.
double endAtCursorExit(const ZoomCandidate& candidate, std::span<const Clip> clips,
                       std::span<const CursorTelemetryPoint> cursorTrack, const CursorSmoother& smoother);

// What the click algorithm reads besides the clicks.
struct AutoZoomInputs {
    double duration = 0;  // 0 until the video has been measured
    bool automaticZoomsSuppressed = false;
    bool autoZoomOnClicks = true;  // the "zantAutoZoomOnClicks" preference (absent counts as true)
    std::span<const Clip> clips = {};
    std::span<const CursorTelemetryPoint> cursorTrack = {};
    double cameraSmoothing = kDefaultCameraSmoothing;
};

// The click algorithm's answer. `zoomRegions` is present exactly when the zoom list is replaced,
// which also sets autoZoomsApplied.
struct AutoZoomResult {
    AutoZoomStatus status;
    std::optional<std::vector<ZoomRegion>> zoomRegions;
};

AutoZoomResult autoZoomsFromClicks(std::span<const ClickAnnotation> clicks, const AutoZoomInputs& inputs);

// Automatic zooms may be generated only into an empty zoom list the user has not edited.
bool shouldApplyAutoZooms(bool automaticZoomsSuppressed, std::span<const ZoomRegion> zoomRegions);

// Zooms from a cinematic script at scale 1.2, following the script; empty (leave the zoom list
// alone) when suppressed, when the "zantAutoZoomCinematic" preference is off or the script has none.
std::vector<ZoomRegion> cinematicAutoZooms(const CinematicTracker& tracker, double duration,
                                           bool automaticZoomsSuppressed, bool autoZoomCinematic);

// The status shown as a recording opens.
AutoZoomStatus openingAutoZoomStatus(bool hasCursorTelemetryFile, std::optional<bool> clickCaptureActive);

// The editor fields that automatic zooms read and change, copied in and out by the editor state.
struct AutoZoomFields {
    std::vector<ZoomRegion> zoomRegions;
    std::optional<Uuid> selectedZoomID;  // set when cinematic zooms select their first region
    std::vector<ClickAnnotation> annotations;
    std::vector<CursorInteraction> cursorInteractions;
    std::optional<std::vector<CursorTelemetryPoint>> cursorTrack;
    std::optional<std::filesystem::path> cursorTrackPath;
    std::shared_ptr<const CinematicTracker> cinematicTracker;
    bool isCinematic = false;
    double duration = 0;
    std::vector<Clip> clips;
    bool automaticZoomsSuppressed = false;
    bool autoZoomsApplied = false;
    AutoZoomStatus autoZoomStatus;

    bool operator==(const AutoZoomFields&) const = default;
};

// The two preferences that switch automatic zooms.
struct AutoZoomPreferences {
    bool autoZoomOnClicks = true;
    bool autoZoomCinematic = false;
};

// Runs the click algorithm over `clicks` on the fields.
AutoZoomFields applyAutoZooms(AutoZoomFields fields, std::span<const ClickAnnotation> clicks,
                              const AutoZoomPreferences& preferences, double cameraSmoothing);

// Replaces the zoom list with the tracker's zooms and selects the first (the editor's selection
// rule then clears the other selections); the status is left alone.
AutoZoomFields applyCinematicAutoZooms(AutoZoomFields fields, const CinematicTracker& tracker,
                                       const AutoZoomPreferences& preferences);

// Clicks and gestures computed off the main thread from a private copy of the samples.
struct TelemetryDerivation {
    std::vector<CursorTelemetryPoint> points;
    std::vector<ClickAnnotation> clicks;
    std::vector<CursorInteraction> interactions;
};
TelemetryDerivation deriveFromTelemetry(std::vector<CursorTelemetryPoint> points);

// Back on the main thread after the telemetry load: installs the track and gestures, the clicks
// when there are no annotations yet, and generates zooms into an empty, unedited zoom list.
AutoZoomFields afterTelemetryLoaded(AutoZoomFields fields, TelemetryDerivation derived,
                                    const AutoZoomPreferences& preferences, double cameraSmoothing);

// Back on the main thread after the cinematic load (a null tracker changes nothing).
AutoZoomFields afterCinematicLoaded(AutoZoomFields fields, std::shared_ptr<const CinematicTracker> tracker,
                                    const AutoZoomPreferences& preferences);

// The video has been measured: the one unmeasured clip gets its end, then cinematic and click
// zooms are generated when the zoom list is still empty and unedited.
AutoZoomFields afterDurationKnown(AutoZoomFields fields, double duration, const AutoZoomPreferences& preferences,
                                  double cameraSmoothing);

// A telemetry file that could not be read or decoded.
class CursorTelemetryFileError : public std::runtime_error {
public:
    enum class Kind { unreadable, undecodable };
    CursorTelemetryFileError(Kind kind, const std::filesystem::path& file);
    Kind kind() const { return kind_; }

private:
    Kind kind_;
};

// Reads and decodes a cursor.json file; throws CursorTelemetryFileError.
CursorTelemetry readCursorTelemetryFile(const std::filesystem::path& file);

// Re-runs automatic zooms from a telemetry track (the library's "re-run" on a recording): lifts
// the suppression, installs track, clicks and gestures, empties the zoom list and generates
// zooms. Nothing (and nothing changed) when the track holds no clicks.
std::optional<AutoZoomFields> reloadCursorTelemetry(AutoZoomFields fields, const CursorTelemetry& telemetry,
                                                    const std::filesystem::path& url,
                                                    const AutoZoomPreferences& preferences, double cameraSmoothing);

// Installs a track without generating zooms (zooms restored from the project sidecar): the status
// reports the zooms that exist.
AutoZoomFields adoptCursorTrack(AutoZoomFields fields, std::vector<CursorTelemetryPoint> points,
                                std::int64_t sampleHz, const std::optional<std::filesystem::path>& url);

}  // namespace orvane
