#pragma once

// sidecar.json: the saved edit of one recording, and the same record written beside an export.
// Fields mirror the file's keys one to one, in the file's order; optional keys are std::optional
// and left out when absent. File references are stored as strings and resolved when applied.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/iso8601.h"
#include "base/uuid.h"
#include "model/geometry.h"
#include "model/video_overlay_clip.h"

namespace orvane {

class EditorState;

struct ProjectSidecar {
    struct Zoom {
        double start = 0;
        double end = 0;
        double scale = 1.2;
        double focusX = 0.5;
        double focusY = 0.5;
        bool followCursor = true;
        std::optional<double> easeSpeed;
        bool operator==(const Zoom&) const = default;
    };
    struct Range {
        double start = 0;
        double end = 0;
        bool operator==(const Range&) const = default;
    };
    struct VoiceClip {
        double startTime = 0;
        double duration = 0;
        std::string file;
        std::optional<double> sourceStart;
        double volume = 1;
        std::string label;
        std::optional<std::string> script;
        std::optional<std::string> scriptFile;
        bool operator==(const VoiceClip&) const = default;
    };
    struct VideoOverlay {
        double startTime = 0;
        double duration = 0;
        std::string file;
        Rect normalizedFrame{0, 0, 1, 1};
        std::optional<double> sourceStart;
        double cornerRadius = 0;
        double volume = 1;
        std::string label;
        std::optional<std::string> mediaKind;
        std::optional<bool> mirrored;
        std::optional<double> rotationRadians;
        std::optional<Rect> sourceCropRect;
        std::optional<BorderStyle> borderStyle;
        std::optional<std::int64_t> lane;
        std::optional<double> backgroundBlur;
        std::optional<bool> autoFrameFaceCam;
        bool operator==(const VideoOverlay&) const = default;
    };
    struct TimelineClip {
        std::string sourceFile;
        double sourceStart = 0;
        double sourceEnd = 0;
        std::optional<double> headOffset;
        bool operator==(const TimelineClip&) const = default;
    };
    struct Caption {
        double start = 0;
        double end = 0;
        std::string text;
        bool operator==(const Caption&) const = default;
    };
    struct Annotation {
        std::optional<Uuid> id;
        double time = 0;
        double cx = 0.5;
        double cy = 0.5;
        std::string label;
        std::optional<std::string> color;
        std::optional<bool> enabled;
        std::optional<std::string> animationStyle;
        std::optional<bool> clickSoundEnabled;
        bool operator==(const Annotation&) const = default;
    };
    struct CursorInteraction {
        std::optional<Uuid> id;
        std::string kind;
        double startTime = 0;
        double endTime = 0;
        double startX = 0.5;
        double startY = 0.5;
        double endX = 0.5;
        double endY = 0.5;
        bool operator==(const CursorInteraction&) const = default;
    };
    struct CursorStyleOverride {
        std::optional<Uuid> id;
        double startTime = 0;
        double endTime = 0;
        std::string visualStyle;
        std::optional<std::string> iconSymbol;
        std::optional<std::string> ringStyleName;
        bool operator==(const CursorStyleOverride&) const = default;
    };
    struct SpeedRampPayload {
        std::optional<Uuid> id;
        double start = 0;
        double end = 0;
        double speed = 1;
        bool operator==(const SpeedRampPayload&) const = default;
    };

    std::optional<double> originalAudioVolume;
    std::optional<double> voiceTrackVolume;
    std::int64_t version = 1;
    std::string exportKind = "draft";
    std::string sourceVideo;
    double duration = 0;
    double trimStart = 0;
    double trimEnd = 0;
    std::string background = "bone";
    std::optional<std::string> backgroundImageFile;
    std::optional<bool> automaticZoomsSuppressed;
    std::optional<Rect> cropRect;
    std::optional<std::string> cursorTrackFile;
    std::optional<bool> showCursorRing;
    std::optional<std::string> cursorRingStyle;
    std::optional<bool> drawsSyntheticCursor;
    std::optional<std::string> cursorVisualStyle;
    std::optional<std::string> cursorClickAnimationStyle;
    std::optional<std::string> cursorIconSymbol;
    std::optional<bool> showAnnotations;
    std::optional<std::vector<Annotation>> annotations;
    std::optional<std::vector<CursorInteraction>> cursorInteractions;
    std::vector<Zoom> zooms;
    std::vector<Range> mutes;
    std::vector<VoiceClip> voiceClips;
    std::vector<VideoOverlay> videoOverlays;
    std::optional<std::vector<TimelineClip>> clips;
    std::optional<bool> showCaptions;
    std::optional<std::vector<Caption>> captions;
    std::optional<bool> showWindowChrome;
    std::optional<std::string> chromeStyle;
    std::optional<std::string> windowTitle;
    std::optional<Rect> recordingFrame;
    std::optional<std::string> exportAspect;
    std::optional<SystemTime> lastAppliedRemoteUpdatedAt;
    std::optional<bool> zoomReactiveFaceCam;
    std::optional<double> zoomReactiveFaceCamScale;
    std::optional<std::vector<CursorStyleOverride>> cursorStyleOverrides;
    std::optional<bool> cursorMotionBlur;
    std::optional<std::vector<SpeedRampPayload>> speedRamps;
    std::optional<bool> cursorClickSounds;
    std::optional<double> cursorClickSoundVolume;
    // Newer keys: the frame's margin and corner radius, so those edits survive a reopen.
    std::optional<double> inset;
    std::optional<double> cornerRadius;

    bool operator==(const ProjectSidecar&) const = default;
};

inline constexpr std::string_view kSidecarFileName = "sidecar.json";
inline constexpr std::string_view kCaptionsFileName = "captions.json";
inline constexpr std::string_view kDraftExportKind = "draft";

// The date key counts seconds from 2001-01-01 00:00:00 UTC.
double secondsSinceReferenceDate(SystemTime time);
SystemTime dateFromSecondsSinceReferenceDate(double seconds);

// Compact, keys in declaration order: the editor's own sidecar.json.
std::string encodeProjectSidecar(const ProjectSidecar& sidecar);
// Pretty-printed with sorted keys: the copy that travels with an export.
std::string encodeProjectSidecarForExport(const ProjectSidecar& sidecar);
// Requires every required key (nested ones too) with the right type; unknown keys are ignored.
// Anything else answers nothing, with the first problem in `error` when asked.
std::optional<ProjectSidecar> decodeProjectSidecar(std::string_view json, std::string* error = nullptr);

// The record of the editor's current edit. Files inside the recording folder (the folder of the
// screen video) are written by name, others by absolute path.
ProjectSidecar makeProjectSidecar(const EditorState& state, std::string_view exportKind = kDraftExportKind);

// Replaces the editor's values with those present in the sidecar (one change notification, marked
// as loading, no undo step) and sets `sidecarApplied`. `recordingFolder` resolves file references.
void applyProjectSidecar(const ProjectSidecar& sidecar, const std::filesystem::path& recordingFolder,
                         EditorState& state);

// Where an export's sidecar goes: the export's name with its extension replaced by "zant.json".
std::filesystem::path exportSidecarPath(const std::filesystem::path& exportFile);
// Writes it atomically; throws std::system_error when it cannot be written.
void writeExportSidecar(const std::filesystem::path& exportFile, const ProjectSidecar& sidecar);

}  // namespace orvane
