#pragma once

// The edit state of an uploaded video as the backend holds it. Agents and the command-line tool
// change it; the open editor applies it (remote_edit_apply.h). Every key but the video id is
// optional, and absent means "not said" rather than "reset".

#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "model/click_annotation.h"
#include "model/cursor_interaction.h"
#include "model/cursor_style.h"
#include "model/cut_and_mute_regions.h"
#include "model/geometry.h"
#include "model/speed_ramp.h"
#include "model/zoom_region.h"

namespace orvane {

// A list field as received: the elements that decoded, and how many the array held. An array of
// only malformed elements still counts as non-empty when deciding whether to replace a list.
template <typename Element>
struct RemoteEditList {
    std::vector<Element> items;
    std::size_t receivedCount = 0;

    bool operator==(const RemoteEditList&) const = default;
};

// Field names follow the wire keys ("trim_start" is trimStart). Scalars that arrived with another
// JSON type are absent; so are rectangles that are not objects with numeric x, y, width, height.
struct VideoEditsOut {
    std::string videoID;
    std::optional<std::string> updatedAt;  // ISO 8601, parsed by the poller
    std::optional<double> trimStart;
    std::optional<double> trimEnd;

    std::optional<RemoteEditList<ZoomRegion>> zoomRegions;
    std::optional<RemoteEditList<MuteRegion>> muteRegions;
    std::optional<RemoteEditList<ClickAnnotation>> annotations;
    std::optional<RemoteEditList<CursorInteraction>> cursorInteractions;
    std::optional<RemoteEditList<CursorStyleOverride>> cursorStyleOverrides;
    std::optional<RemoteEditList<SpeedRamp>> speedRamps;
    // The editor does not apply these; they are kept as the JSON text received.
    std::optional<std::string> clipsJson;
    std::optional<std::string> voiceClipsJson;
    std::optional<std::string> videoOverlaysJson;

    std::optional<Rect> cropRect;
    std::optional<Rect> recordingFrame;
    std::optional<bool> showWindowChrome;
    std::optional<std::string> windowChromeTitle;
    std::optional<bool> showCursorRing;
    std::optional<std::string> cursorRingStyle;
    std::optional<double> originalAudioVolume;
    std::optional<double> voiceTrackVolume;
    std::optional<double> backgroundMusicVolume;
    std::optional<std::string> background;
    std::optional<std::string> backgroundImageFile;
    std::optional<std::string> chromeStyle;
    std::optional<double> inset;
    std::optional<double> cornerRadius;
    std::optional<std::string> exportAspect;
    std::optional<std::string> cursorVisualStyle;
    std::optional<std::string> cursorClickAnimationStyle;
    std::optional<std::string> cursorIconSymbol;
    std::optional<bool> drawsSyntheticCursor;
    std::optional<bool> automaticZoomsSuppressed;
    std::optional<double> cameraSmoothing;
    std::optional<bool> showAnnotations;
    std::optional<bool> showCaptions;
    std::optional<bool> zoomReactiveFaceCam;
    std::optional<double> zoomReactiveFaceCamScale;
    std::optional<bool> cursorMotionBlur;
    std::optional<bool> cursorClickSounds;
    std::optional<double> cursorClickSoundVolume;
    // snake_case names of fields the sender set on purpose, even to their neutral values.
    std::optional<std::set<std::string>> setFields;

    bool operator==(const VideoEditsOut&) const = default;
};

}  // namespace orvane
