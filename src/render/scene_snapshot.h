#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "editor/camera_samples.h"
#include "model/audio_clip.h"
#include "model/background_style.h"
#include "model/caption_segment.h"
#include "model/click_annotation.h"
#include "model/clip.h"
#include "model/cursor_interaction.h"
#include "model/cursor_style.h"
#include "model/cut_and_mute_regions.h"
#include "model/geometry.h"
#include "model/speed_ramp.h"
#include "model/video_overlay_clip.h"
#include "model/window_chrome_style.h"
#include "model/zoom_region.h"
#include "render/rgba_color.h"

namespace orvane {

struct EditorValues;
class EditorState;

// Everything one render job reads from the edit, copied once when the job starts so later edits
// never reach frames already queued. Normalised values (focus points, cursor samples, overlay
// frames, crops) are fractions of the recorded frame with the origin at the top-left.
struct SceneRenderSnapshot {
    std::filesystem::path videoURL;
    std::filesystem::path clipBaseDirectory;  // clip source files resolve against it
    std::vector<Clip> clips;
    double trimStart = 0;
    double trimEnd = 0;
    BackgroundStyle background = BackgroundStyle::bone;
    std::optional<std::filesystem::path> customBackgroundURL;
    double inset = 0.04;        // fraction of the canvas width
    double cornerRadius = 10;   // pixels at zoom 1
    std::optional<Rect> recordingFrame;  // normalised; used only when set (positive size)
    bool showWindowChrome = false;
    WindowChromeStyle chromeStyle = WindowChromeStyle::automatic;
    std::string windowTitle;
    Size videoSize;  // pixels
    std::vector<ZoomRegion> zoomRegions;
    bool automaticZoomsSuppressed = false;
    std::vector<ClickAnnotation> annotations;
    bool showAnnotations = true;
    std::vector<CursorSample> cursorSamples;  // composition time, sorted by t
    std::optional<std::filesystem::path> cursorTrackURL;
    bool showCursorRing = true;
    bool drawsSyntheticCursor = false;
    std::optional<std::string> cursorRingStyleName;
    RgbaColor cursorRingColor{1.0, 0.78, 0.2, 1};
    double cursorRingSize = 30;  // pixels at zoom 1
    CursorVisualStyle cursorVisualStyle = CursorVisualStyle::ring;
    CursorClickAnimationStyle cursorClickAnimationStyle = CursorClickAnimationStyle::pulse;
    std::string cursorIconSymbol = "sparkle";
    std::vector<CursorInteraction> cursorInteractions;
    std::vector<CameraSample> cameraSamples;  // composition time, sorted by t
    float originalAudioVolume = 1.0f;
    std::vector<MuteRegion> muteRegions;
    std::vector<AudioClip> voiceClips;
    std::vector<VideoOverlayClip> videoOverlays;
    std::vector<CaptionSegment> captions;  // sorted by start
    bool showCaptions = true;
    std::optional<std::filesystem::path> aiVoiceoverURL;
    std::optional<std::filesystem::path> backgroundMusicURL;
    float backgroundMusicVolume = 0.15f;
    std::optional<Rect> cropRect;  // normalised; used only when set (positive size)
    bool zoomReactiveFaceCam = true;
    double zoomReactiveFaceCamScale = 0.75;
    std::vector<CursorStyleOverride> cursorStyleOverrides;
    bool cursorMotionBlur = false;
    std::vector<SpeedRamp> speedRamps;
    bool cursorClickSounds = false;
    float cursorClickSoundVolume = 1.0f;

    bool operator==(const SceneRenderSnapshot&) const = default;
};

// What the editor values do not hold but a snapshot needs.
struct SceneSnapshotSources {
    std::filesystem::path clipBaseDirectory;
    std::optional<std::filesystem::path> cursorTrackURL;
    std::optional<std::filesystem::path> aiVoiceoverURL;
    bool drawsSyntheticCursor = false;
    std::vector<CameraSample> cameraSamples;  // the 60 Hz camera path over the trim
    std::vector<CursorSample> cursorSamples;  // the 60 Hz cursor path over the trim
};

// Copies the edit into a snapshot. The caller supplies the sampled paths.
SceneRenderSnapshot makeSceneRenderSnapshot(const EditorValues& values, SceneSnapshotSources sources);

// Copies the open edit and samples its camera and cursor at 60 Hz over the trim, as an export does
// when it starts. Clip sources resolve against the screen video's folder.
SceneRenderSnapshot makeSceneRenderSnapshot(const EditorState& state,
                                            std::optional<std::filesystem::path> aiVoiceoverURL = std::nullopt);

// A rectangle or crop counts only when present with positive width and height.
bool isSet(const std::optional<Rect>& rect);

}  // namespace orvane
