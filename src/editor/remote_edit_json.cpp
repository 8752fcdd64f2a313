#include "editor/remote_edit_json.h"

#include <initializer_list>
#include <string_view>

#include <nlohmann/json.hpp>

#include "model/timeline_json.h"

namespace orvane {

using json = nlohmann::json;

namespace {

// The first of `keys` that is present and not null; the earlier spelling wins.
const json* member(const json& object, std::initializer_list<std::string_view> keys) {
    if (!object.is_object()) return nullptr;
    for (const auto key : keys) {
        const auto found = object.find(key);
        if (found != object.end() && !found->is_null()) return &*found;
    }
    return nullptr;
}

std::optional<double> number(const json& object, std::initializer_list<std::string_view> keys) {
    const json* value = member(object, keys);
    if (!value || !value->is_number()) return std::nullopt;
    return value->get<double>();
}

std::optional<bool> boolean(const json& object, std::initializer_list<std::string_view> keys) {
    const json* value = member(object, keys);
    if (!value || !value->is_boolean()) return std::nullopt;
    return value->get<bool>();
}

std::optional<std::string> string(const json& object, std::initializer_list<std::string_view> keys) {
    const json* value = member(object, keys);
    if (!value || !value->is_string()) return std::nullopt;
    return value->get<std::string>();
}

// Keeps a sender's id so later edits can refer to the same item; anything else gets a fresh one.
Uuid idOrFresh(const json& object) {
    if (const auto text = string(object, {"id"})) {
        if (const auto parsed = Uuid::parse(*text)) return *parsed;
    }
    return Uuid::random();
}

template <typename Element, typename Reader>
std::optional<RemoteEditList<Element>> list(const json& object, std::string_view key, Reader read) {
    const json* value = member(object, {key});
    if (!value || !value->is_array()) return std::nullopt;
    RemoteEditList<Element> result;
    result.receivedCount = value->size();
    for (const auto& element : *value) {
        if (auto decoded = read(element)) result.items.push_back(std::move(*decoded));
    }
    return result;
}

std::optional<std::string> rawJson(const json& object, std::string_view key) {
    const json* value = member(object, {key});
    if (!value) return std::nullopt;
    return value->dump();
}

}  // namespace

std::optional<MuteRegion> muteRegionFromLooseJson(const json& object) {
    const auto start = number(object, {"start"});
    const auto end = number(object, {"end"});
    if (!start || !end) return std::nullopt;
    MuteRegion mute;
    mute.start = *start;
    mute.end = *end;
    return mute;
}

std::optional<ClickAnnotation> clickAnnotationFromLooseJson(const json& object) {
    const auto time = number(object, {"time"});
    const auto cx = number(object, {"cx"});
    const auto cy = number(object, {"cy"});
    if (!time || !cx || !cy) return std::nullopt;
    ClickAnnotation annotation;
    annotation.id = idOrFresh(object);
    annotation.time = *time;
    annotation.cx = *cx;
    annotation.cy = *cy;
    annotation.label = string(object, {"label"}).value_or("");
    const auto color = string(object, {"color"});
    annotation.color = (color ? annotationColorFromRaw(*color) : std::nullopt).value_or(AnnotationColor::accent);
    annotation.enabled = boolean(object, {"enabled"}).value_or(true);
    return annotation;
}

std::optional<CursorInteraction> cursorInteractionFromLooseJson(const json& object) {
    const auto kindText = string(object, {"kind"});
    const auto kind = kindText ? cursorInteractionKindFromRaw(*kindText) : std::nullopt;
    const auto startTime = number(object, {"start_time", "startTime"});
    const auto endTime = number(object, {"end_time", "endTime"});
    const auto startX = number(object, {"start_x", "startX"});
    const auto startY = number(object, {"start_y", "startY"});
    const auto endX = number(object, {"end_x", "endX"});
    const auto endY = number(object, {"end_y", "endY"});
    if (!kind || !startTime || !endTime || !startX || !startY || !endX || !endY) return std::nullopt;
    CursorInteraction interaction;
    interaction.id = idOrFresh(object);
    interaction.kind = *kind;
    interaction.startTime = *startTime;
    interaction.endTime = *endTime;
    interaction.startX = *startX;
    interaction.startY = *startY;
    interaction.endX = *endX;
    interaction.endY = *endY;
    return interaction;
}

std::optional<CursorStyleOverride> cursorStyleOverrideFromRemoteJson(const json& object) {
    auto override = cursorStyleOverrideFromJson(object);
    if (!override) return std::nullopt;
    override->id = Uuid::random();
    override->iconSymbol = normalizedCursorIconSymbol(override->iconSymbol);
    return override;
}

std::optional<Rect> rectFromLooseJson(const json& object) {
    const auto x = number(object, {"x"});
    const auto y = number(object, {"y"});
    const auto width = number(object, {"width"});
    const auto height = number(object, {"height"});
    if (!x || !y || !width || !height) return std::nullopt;
    return Rect{*x, *y, *width, *height};
}

std::optional<VideoEditsOut> videoEditsOutFromJson(const json& object, std::string* error) {
    if (!object.is_object()) {
        if (error) *error = "VideoEditsOut: expected an object";
        return std::nullopt;
    }
    const auto videoID = string(object, {"video_id"});
    if (!videoID) {
        if (error) *error = "VideoEditsOut: \"video_id\" is missing or not a string";
        return std::nullopt;
    }
    VideoEditsOut edits;
    edits.videoID = *videoID;
    edits.updatedAt = string(object, {"updated_at"});
    edits.trimStart = number(object, {"trim_start"});
    edits.trimEnd = number(object, {"trim_end"});

    edits.zoomRegions = list<ZoomRegion>(object, "zoom_regions", zoomRegionFromLooseJson);
    edits.muteRegions = list<MuteRegion>(object, "mute_regions", muteRegionFromLooseJson);
    edits.annotations = list<ClickAnnotation>(object, "annotations", clickAnnotationFromLooseJson);
    edits.cursorInteractions = list<CursorInteraction>(object, "cursor_interactions", cursorInteractionFromLooseJson);
    edits.cursorStyleOverrides =
        list<CursorStyleOverride>(object, "cursor_style_overrides", cursorStyleOverrideFromRemoteJson);
    edits.speedRamps = list<SpeedRamp>(object, "speed_ramps", speedRampFromLooseJson);
    edits.clipsJson = rawJson(object, "clips");
    edits.voiceClipsJson = rawJson(object, "voice_clips");
    edits.videoOverlaysJson = rawJson(object, "video_overlays");

    if (const json* crop = member(object, {"crop_rect"})) edits.cropRect = rectFromLooseJson(*crop);
    if (const json* frame = member(object, {"recording_frame"})) edits.recordingFrame = rectFromLooseJson(*frame);
    edits.showWindowChrome = boolean(object, {"show_window_chrome"});
    edits.windowChromeTitle = string(object, {"window_chrome_title"});
    edits.showCursorRing = boolean(object, {"show_cursor_ring"});
    edits.cursorRingStyle = string(object, {"cursor_ring_style"});
    edits.originalAudioVolume = number(object, {"original_audio_volume"});
    edits.voiceTrackVolume = number(object, {"voice_track_volume"});
    edits.backgroundMusicVolume = number(object, {"background_music_volume"});
    edits.background = string(object, {"background"});
    edits.backgroundImageFile = string(object, {"background_image_file"});
    edits.chromeStyle = string(object, {"chrome_style"});
    edits.inset = number(object, {"inset"});
    edits.cornerRadius = number(object, {"corner_radius"});
    edits.exportAspect = string(object, {"export_aspect"});
    edits.cursorVisualStyle = string(object, {"cursor_visual_style"});
    edits.cursorClickAnimationStyle = string(object, {"cursor_click_animation_style"});
    edits.cursorIconSymbol = string(object, {"cursor_icon_symbol"});
    edits.drawsSyntheticCursor = boolean(object, {"draws_synthetic_cursor"});
    edits.automaticZoomsSuppressed = boolean(object, {"automatic_zooms_suppressed"});
    edits.cameraSmoothing = number(object, {"camera_smoothing"});
    edits.showAnnotations = boolean(object, {"show_annotations"});
    edits.showCaptions = boolean(object, {"show_captions"});
    edits.zoomReactiveFaceCam = boolean(object, {"zoom_reactive_face_cam"});
    edits.zoomReactiveFaceCamScale = number(object, {"zoom_reactive_face_cam_scale"});
    edits.cursorMotionBlur = boolean(object, {"cursor_motion_blur"});
    edits.cursorClickSounds = boolean(object, {"cursor_click_sounds"});
    edits.cursorClickSoundVolume = number(object, {"cursor_click_sound_volume"});

    if (const json* names = member(object, {"set_fields"}); names && names->is_array()) {
        std::set<std::string> fields;
        for (const auto& name : *names) {
            if (name.is_string()) fields.insert(name.get<std::string>());
        }
        edits.setFields = std::move(fields);
    }
    return edits;
}

}  // namespace orvane
