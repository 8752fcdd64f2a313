#include "editor/remote_edit_apply.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#include "base/log.h"

namespace orvane {

namespace {

class Rules {
public:
    explicit Rules(const VideoEditsOut& edits) : setFields_(edits.setFields ? &*edits.setFields : nullptr) {}

    bool named(std::string_view field) const { return setFields_ && setFields_->count(std::string(field)) > 0; }

    // The value to apply, compared exactly with its neutral value.
    template <typename T, typename Neutral>
    std::optional<T> exact(std::string_view field, const std::optional<T>& value, const Neutral& neutral) const {
        if (!value || !(named(field) || *value != neutral)) return std::nullopt;
        return value;
    }

    // The value to apply, equal to its neutral value within the tolerance.
    std::optional<double> near(std::string_view field, const std::optional<double>& value, double neutral) const {
        if (!value || !(named(field) || std::fabs(*value - neutral) > kRemoteEditTolerance)) return std::nullopt;
        return value;
    }

    // An empty list clears the local one only when the sender named it.
    template <typename Element>
    const std::vector<Element>* list(std::string_view field, const std::optional<RemoteEditList<Element>>& value) const {
        if (!value || !(named(field) || value->receivedCount > 0)) return nullptr;
        return &value->items;
    }

private:
    const std::set<std::string>* setFields_;
};

}  // namespace

void applyRemoteEdits(const VideoEditsOut& edits, EditorValues& values, bool& drawsSyntheticCursor) {
    const Rules rules(edits);

    if (const auto v = rules.exact("trim_start", edits.trimStart, 0.0)) values.trimStart = *v;
    if (edits.trimEnd) values.trimEnd = *edits.trimEnd;

    if (const auto raw = rules.exact("background", edits.background, "bone")) {
        const auto style = backgroundStyleFromRaw(*raw);
        // A custom background needs a picture; without one the local background stays.
        if (style && (*style != BackgroundStyle::customImage || values.customBackgroundURL)) values.background = *style;
    }
    if (const auto raw = rules.exact("chrome_style", edits.chromeStyle, "auto")) {
        if (const auto style = windowChromeStyleFromRaw(*raw)) values.chromeStyle = *style;
    }
    if (const auto v = rules.exact("show_window_chrome", edits.showWindowChrome, false)) values.showWindowChrome = *v;
    if (const auto v = rules.exact("window_chrome_title", edits.windowChromeTitle, "")) values.windowTitle = *v;
    if (const auto v = rules.near("inset", edits.inset, 0.04)) values.inset = *v;
    if (const auto v = rules.near("corner_radius", edits.cornerRadius, 10.0)) values.cornerRadius = *v;
    if (const auto raw = rules.exact("export_aspect", edits.exportAspect, "automatic")) {
        if (const auto aspect = exportAspectRatioFromRaw(*raw)) values.exportAspect = *aspect;
    }
    if (edits.recordingFrame) values.recordingFrame = edits.recordingFrame;

    if (const auto v = rules.exact("show_cursor_ring", edits.showCursorRing, true)) values.showCursorRing = *v;
    if (const auto name = rules.exact("cursor_ring_style", edits.cursorRingStyle, "glow")) {
        if (const auto style = cursorRingStyleNamed(*name)) values.cursorRingStyle = *style;
    }
    if (const auto raw = rules.exact("cursor_visual_style", edits.cursorVisualStyle, "ring")) {
        // Through the same rule as the toolbar, so the ring follows the style.
        if (const auto style = cursorVisualStyleFromRaw(*raw)) applyCursorVisualStyle(values, *style);
    }
    if (const auto raw = rules.exact("cursor_click_animation_style", edits.cursorClickAnimationStyle, "pulse")) {
        if (const auto style = cursorClickAnimationStyleFromRaw(*raw)) {
            values.cursorClickAnimationStyle = normalizedClickAnimationStyle(*style);
        }
    }
    if (const auto symbol = rules.exact("cursor_icon_symbol", edits.cursorIconSymbol, "sparkle")) {
        values.cursorIconSymbol = normalizedCursorIconSymbol(*symbol);
    }
    if (const auto v = rules.exact("draws_synthetic_cursor", edits.drawsSyntheticCursor, false)) {
        drawsSyntheticCursor = *v;
    }
    if (const auto v = rules.exact("automatic_zooms_suppressed", edits.automaticZoomsSuppressed, false)) {
        values.automaticZoomsSuppressed = *v;
    }
    if (const auto v = rules.near("camera_smoothing", edits.cameraSmoothing, 0.6)) values.cameraSmoothing = *v;
    if (const auto v = rules.exact("show_annotations", edits.showAnnotations, true)) values.showAnnotations = *v;
    if (const auto v = rules.exact("show_captions", edits.showCaptions, true)) values.showCaptions = *v;
    if (const auto v = rules.exact("zoom_reactive_face_cam", edits.zoomReactiveFaceCam, true)) {
        values.zoomReactiveFaceCam = *v;
    }
    if (const auto v = rules.near("zoom_reactive_face_cam_scale", edits.zoomReactiveFaceCamScale, 0.75)) {
        values.zoomReactiveFaceCamScale = std::clamp(*v, 0.1, 1.0);
    }
    if (const auto v = rules.exact("cursor_motion_blur", edits.cursorMotionBlur, false)) values.cursorMotionBlur = *v;
    if (const auto v = rules.exact("cursor_click_sounds", edits.cursorClickSounds, false)) values.cursorClickSounds = *v;
    if (const auto v = rules.near("cursor_click_sound_volume", edits.cursorClickSoundVolume, 1.0)) {
        values.cursorClickSoundVolume = static_cast<float>(std::clamp(*v, 0.0, 2.0));
    }
    if (const auto v = rules.near("original_audio_volume", edits.originalAudioVolume, 1.0)) {
        values.originalAudioVolume = static_cast<float>(*v);
    }
    if (const auto v = rules.near("voice_track_volume", edits.voiceTrackVolume, 1.0)) {
        values.voiceTrackVolume = static_cast<float>(*v);
    }
    if (const auto v = rules.near("background_music_volume", edits.backgroundMusicVolume, 0.3)) {
        values.backgroundMusicVolume = static_cast<float>(*v);
    }
    if (edits.cropRect) values.cropRect = edits.cropRect;

    if (const auto* zooms = rules.list("zoom_regions", edits.zoomRegions)) values.zoomRegions = *zooms;
    if (const auto* mutes = rules.list("mute_regions", edits.muteRegions)) values.muteRegions = *mutes;
    if (const auto* annotations = rules.list("annotations", edits.annotations)) values.annotations = *annotations;
    if (const auto* interactions = rules.list("cursor_interactions", edits.cursorInteractions)) {
        values.cursorInteractions = *interactions;
    }
    if (const auto* overrides = rules.list("cursor_style_overrides", edits.cursorStyleOverrides)) {
        values.cursorStyleOverrides = *overrides;
        std::stable_sort(values.cursorStyleOverrides.begin(), values.cursorStyleOverrides.end(),
                         [](const auto& a, const auto& b) { return a.startTime < b.startTime; });
    }
    if (const auto* ramps = rules.list("speed_ramps", edits.speedRamps)) {
        values.speedRamps = *ramps;
        std::stable_sort(values.speedRamps.begin(), values.speedRamps.end(),
                         [](const auto& a, const auto& b) { return a.start < b.start; });
    }
}

void applyRemoteEdits(EditorState& state, const VideoEditsOut& edits) {
    state.modify([&](EditorValues& values) { applyRemoteEdits(edits, values, state.drawsSyntheticCursor); });
    log::info("Orvane.RemoteEdits", "applied remote edits of video %s", edits.videoID.c_str());
}

}  // namespace orvane
