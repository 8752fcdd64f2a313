#pragma once

// The edit of one recording: every value the user shapes the finished video with, and nothing about
// how it is being edited (playhead, selection, progress). The editor holds one, the project sidecar
// stores one, a render job copies one. Each group lists its fields once, with their file keys and
// what they change, in model/edit_fields.h; the sidecar codec, remote edits, the render-cache keys,
// undo and the save trigger all walk that list, so a new field cannot be forgotten by one of them.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "model/audio_clip.h"
#include "model/audio_enhancement_settings.h"
#include "model/background_style.h"
#include "model/caption_segment.h"
#include "model/click_annotation.h"
#include "model/clip.h"
#include "model/cursor_interaction.h"
#include "model/cursor_style.h"
#include "model/cut_and_mute_regions.h"
#include "model/export_aspect_ratio.h"
#include "base/geometry.h"
#include "model/speed_ramp.h"
#include "model/video_overlay_clip.h"
#include "model/window_chrome_style.h"
#include "model/zoom_region.h"

namespace orvane {

// What plays when: the clips, the exported range, the zooms and the pace.
struct TimelineEdit {
    std::vector<Clip> clips;
    double duration = 0;   // composition length; 0 until measured
    double trimStart = 0;  // exported range, composition time
    double trimEnd = 0;
    std::vector<ZoomRegion> zoomRegions;
    bool automaticZoomsSuppressed = false;  // the user removed the automatic zooms: do not make them again
    double cameraSmoothing = 0.6;           // 0...1
    std::vector<SpeedRamp> speedRamps;
    std::vector<CutRegion> cutRegions;  // marked for removal; never saved

    bool operator==(const TimelineEdit&) const = default;
};

// How the recording sits on the canvas.
struct FrameEdit {
    BackgroundStyle background = BackgroundStyle::bone;
    std::optional<std::filesystem::path> customBackgroundPath;
    double inset = 0.04;                 // fraction of the canvas
    double cornerRadius = 10;            // points
    std::optional<Rect> recordingFrame;  // normalised placement on the canvas
    std::optional<Rect> cropRect;        // normalised crop of the recorded frame
    ExportAspectRatio exportAspect = ExportAspectRatio::automatic;
    bool showWindowChrome = false;
    WindowChromeStyle chromeStyle = WindowChromeStyle::automatic;
    std::string windowTitle;
    Size videoSize;  // pixels of the screen video, measured when it is opened
    bool zoomReactiveFaceCam = true;
    double zoomReactiveFaceCamScale = 0.75;

    bool operator==(const FrameEdit&) const = default;
};

// How the pointer, its clicks and gestures are drawn and heard.
struct CursorEdit {
    bool showCursorRing = true;
    CursorRingStyle cursorRingStyle;
    CursorVisualStyle cursorVisualStyle = CursorVisualStyle::ring;
    CursorClickAnimationStyle cursorClickAnimationStyle = CursorClickAnimationStyle::pulse;
    std::string cursorIconSymbol = "sparkle";
    std::vector<CursorStyleOverride> cursorStyleOverrides;
    bool cursorMotionBlur = false;
    bool cursorClickSounds = false;
    float cursorClickSoundVolume = 1.0f;
    bool drawsSyntheticCursor = false;                     // the renderer draws the pointer from the telemetry
    std::optional<std::filesystem::path> cursorTrackPath;  // cursor.json
    std::vector<ClickAnnotation> annotations;
    bool showAnnotations = true;
    std::vector<CursorInteraction> cursorInteractions;

    bool operator==(const CursorEdit&) const = default;
};

// What is heard.
struct AudioEdit {
    float originalAudioVolume = 1.0f;
    float voiceTrackVolume = 1.0f;
    std::optional<std::filesystem::path> backgroundMusicPath;
    float backgroundMusicVolume = 0.15f;
    std::vector<MuteRegion> muteRegions;
    std::vector<AudioClip> voiceClips;
    bool audioEnhancementActive = false;
    AudioEnhancementSettings audioEnhancementSettings;

    bool operator==(const AudioEdit&) const = default;
};

struct CaptionsEdit {
    std::vector<CaptionSegment> captions;
    bool showCaptions = true;

    bool operator==(const CaptionsEdit&) const = default;
};

struct OverlaysEdit {
    std::vector<VideoOverlayClip> videoOverlays;  // face camera, pictures, logos

    bool operator==(const OverlaysEdit&) const = default;
};

struct Edit {
    TimelineEdit timeline;
    FrameEdit frame;
    CursorEdit cursor;
    AudioEdit audio;
    CaptionsEdit captions;
    OverlaysEdit overlays;

    bool operator==(const Edit&) const = default;
};

// The longest edit that is rendered or exported, in seconds. Times come from files a user or a
// program may have written, and a day of frames is far past any recording while still counting
// safely in the renderer's frame numbers.
inline constexpr double kMaximumEditLength = 24.0 * 60 * 60;

// Keeps every time of the edit inside a composition `length` seconds long (at most
// kMaximumEditLength): the exported range, zooms, speed ramps, mutes, captions, annotations,
// gestures, cursor-style spans, and the placement of audio clips and overlays. Nothing plays past
// the end, so an edit within it loses nothing; one that reaches past it (a damaged or hand-written
// sidecar) cannot make an export render or mix years of nothing. Items are clamped, never removed,
// so positions and ids stay as the user knows them.
void keepEditWithin(Edit& edit, double length);

// Sets the cursor style and what follows from it: the ring is shown exactly for the `ring` style.
// The toolbar, undo and remote edits all choose a style through this.
void applyCursorVisualStyle(CursorEdit& cursor, CursorVisualStyle style);

// `brush` is no longer offered; it becomes `pulse` where the user picks a style again (undo, remote
// edits). A saved project keeps what it stored.
CursorClickAnimationStyle normalizedClickAnimationStyle(CursorClickAnimationStyle style);

}  // namespace orvane
