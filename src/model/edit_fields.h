#pragma once

// The one list of the edit's fields. Each entry names a member once, with the key it has in
// sidecar.json and in the render-cache payloads, whether the sidecar stores it, what a change of it
// changes in the finished video, whether undo restores it, and how remote edits carry it. Timeline
// items list their own fields the same way. Everything that reads or writes an edit field by field
// walks these lists (model/edit_json.h), so adding a field here is all it takes to have it saved,
// keyed and compared.

#include <limits>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include "model/edit.h"

namespace orvane {

// Whether the project sidecar stores a field, and whether a file must carry it to be read.
enum class Saved { never, optional, required };

// What a change of the field changes: the rendered frames (so both the segment and the export cache
// keys), only the exported file (its sound or its range: the export key), or nothing rendered.
enum class Output { none, frames, exportFile };

// A remote edit applies a value equal to its field's neutral value only when the sender names the
// field; without a neutral value it applies whatever arrives.
struct RemoteNeutral {
    enum class Kind { none, boolean, number, text };
    Kind kind = Kind::none;
    bool boolean = false;
    double number = 0;
    std::string_view text;
    bool withinTolerance = false;  // numbers compare within 1e-6
};

struct FieldTraits {
    std::string_view key;
    Saved saved = Saved::never;
    Output output = Output::none;
    bool undoable = false;
    std::string_view remoteKey;  // snake_case; empty when remote edits do not carry the field
    RemoteNeutral neutral;
    // Numbers read from files and remote edits are clamped into this range.
    double minimum = -std::numeric_limits<double>::infinity();
    double maximum = std::numeric_limits<double>::infinity();
    // A stored 0 means "not set yet": reading it from a file leaves the value as it was.
    bool zeroMeansUnset = false;
};

template <typename Owner, typename Value>
struct Field {
    using OwnerType = Owner;
    using ValueType = Value;

    FieldTraits traits;
    Value Owner::*member;

    constexpr Field saved(Saved saved) const {
        return with([&](FieldTraits& t) { t.saved = saved; });
    }
    constexpr Field output(Output output) const {
        return with([&](FieldTraits& t) { t.output = output; });
    }
    constexpr Field undoable() const {
        return with([](FieldTraits& t) { t.undoable = true; });
    }
    constexpr Field clamped(double minimum, double maximum) const {
        return with([&](FieldTraits& t) {
            t.minimum = minimum;
            t.maximum = maximum;
        });
    }
    constexpr Field zeroMeansUnset() const {
        return with([](FieldTraits& t) { t.zeroMeansUnset = true; });
    }
    // Remote edits carry it under `key` and apply whatever arrives (lists: when non-empty or named).
    constexpr Field remote(std::string_view key) const {
        return with([&](FieldTraits& t) { t.remoteKey = key; });
    }
    constexpr Field remote(std::string_view key, bool neutral) const {
        return with([&](FieldTraits& t) {
            t.remoteKey = key;
            t.neutral = {RemoteNeutral::Kind::boolean, neutral, 0, {}, false};
        });
    }
    constexpr Field remote(std::string_view key, const char* neutral) const {
        return with([&](FieldTraits& t) {
            t.remoteKey = key;
            t.neutral = {RemoteNeutral::Kind::text, false, 0, neutral, false};
        });
    }
    // Numbers: `exactly` false compares within 1e-6.
    constexpr Field remote(std::string_view key, double neutral, bool exactly = false) const {
        return with([&](FieldTraits& t) {
            t.remoteKey = key;
            t.neutral = {RemoteNeutral::Kind::number, false, neutral, {}, !exactly};
        });
    }

    Value& of(Owner& owner) const { return owner.*member; }
    const Value& of(const Owner& owner) const { return owner.*member; }

private:
    template <typename Change>
    constexpr Field with(Change change) const {
        Field copy = *this;
        change(copy.traits);
        return copy;
    }
};

template <typename Owner, typename Value>
constexpr Field<Owner, Value> field(std::string_view key, Value Owner::*member) {
    FieldTraits traits;
    traits.key = key;
    return Field<Owner, Value>{traits, member};
}

// The field list of a group or timeline item: a tuple of Field values in `list`.
template <typename Owner>
struct FieldsOf;

template <typename Pointer>
struct MemberType;
template <typename Owner, typename Value>
struct MemberType<Value Owner::*> {
    using type = Value;
};

template <typename T>
concept HasFields = requires {
    FieldsOf<T>::list;
};

// Calls `visit(field)` for every field of `Owner`, in list order.
template <typename Owner, typename Visit>
constexpr void forEachField(Visit&& visit) {
    std::apply([&](const auto&... fields) { (visit(fields), ...); }, FieldsOf<Owner>::list);
}

inline constexpr auto kEditGroups =
    std::tuple{&Edit::timeline, &Edit::frame, &Edit::cursor, &Edit::audio, &Edit::captions, &Edit::overlays};

// Calls `visit(field, group...)` for every field of every group of the edit, with that group of each
// of `edits` (const or not), so two edits can be compared or copied field by field.
template <typename Visit, typename... Edits>
requires(std::is_same_v<std::remove_const_t<Edits>, Edit>&&...) void forEachEditField(Visit&& visit, Edits&... edits) {
    std::apply(
        [&](auto... groups) {
            const auto walk = [&](auto group) {
                using Group = typename MemberType<decltype(group)>::type;
                forEachField<Group>([&](const auto& field) { visit(field, edits.*group...); });
            };
            (walk(groups), ...);
        },
        kEditGroups);
}

// --- The edit's groups ----------------------------------------------------------------------------

template <>
struct FieldsOf<TimelineEdit> {
    using G = TimelineEdit;
    static constexpr auto list = std::tuple{
        field("clips", &G::clips).saved(Saved::optional).output(Output::frames).undoable(),
        field("duration", &G::duration).saved(Saved::required).zeroMeansUnset(),
        field("trimStart", &G::trimStart)
            .saved(Saved::required)
            .output(Output::exportFile)
            .undoable()
            .zeroMeansUnset()
            .remote("trim_start", 0.0, true),
        field("trimEnd", &G::trimEnd)
            .saved(Saved::required)
            .output(Output::exportFile)
            .undoable()
            .zeroMeansUnset()
            .remote("trim_end"),
        field("zooms", &G::zoomRegions).saved(Saved::required).output(Output::frames).undoable().remote("zoom_regions"),
        field("automaticZoomsSuppressed", &G::automaticZoomsSuppressed)
            .saved(Saved::optional)
            .output(Output::frames)
            .undoable()
            .remote("automatic_zooms_suppressed", false),
        field("cameraSmoothing", &G::cameraSmoothing).output(Output::frames).remote("camera_smoothing", 0.6),
        field("speedRamps", &G::speedRamps).saved(Saved::optional).output(Output::frames).remote("speed_ramps"),
        field("cutRegions", &G::cutRegions),
    };
};

template <>
struct FieldsOf<FrameEdit> {
    using G = FrameEdit;
    static constexpr auto list = std::tuple{
        field("background", &G::background)
            .saved(Saved::required)
            .output(Output::frames)
            .undoable()
            .remote("background", "bone"),
        field("backgroundImageFile", &G::customBackgroundPath).saved(Saved::optional).output(Output::frames).undoable(),
        field("inset", &G::inset)
            .saved(Saved::optional)
            .output(Output::frames)
            .undoable()
            .clamped(0, 0.5)
            .remote("inset", 0.04),
        field("cornerRadius", &G::cornerRadius)
            .saved(Saved::optional)
            .output(Output::frames)
            .undoable()
            .clamped(0, std::numeric_limits<double>::infinity())
            .remote("corner_radius", 10.0),
        field("recordingFrame", &G::recordingFrame)
            .saved(Saved::optional)
            .output(Output::frames)
            .undoable()
            .remote("recording_frame"),
        field("cropRect", &G::cropRect).saved(Saved::optional).output(Output::frames).undoable().remote("crop_rect"),
        field("exportAspect", &G::exportAspect).saved(Saved::optional).undoable().remote("export_aspect", "automatic"),
        field("showWindowChrome", &G::showWindowChrome)
            .saved(Saved::optional)
            .output(Output::frames)
            .undoable()
            .remote("show_window_chrome", false),
        field("chromeStyle", &G::chromeStyle)
            .saved(Saved::optional)
            .output(Output::frames)
            .undoable()
            .remote("chrome_style", "auto"),
        field("windowTitle", &G::windowTitle)
            .saved(Saved::optional)
            .output(Output::frames)
            .undoable()
            .remote("window_chrome_title", ""),
        field("videoSize", &G::videoSize).output(Output::frames),
        field("zoomReactiveFaceCam", &G::zoomReactiveFaceCam)
            .saved(Saved::optional)
            .output(Output::frames)
            .remote("zoom_reactive_face_cam", true),
        field("zoomReactiveFaceCamScale", &G::zoomReactiveFaceCamScale)
            .saved(Saved::optional)
            .output(Output::frames)
            .clamped(0.1, 1)
            .remote("zoom_reactive_face_cam_scale", 0.75),
    };
};

template <>
struct FieldsOf<CursorEdit> {
    using G = CursorEdit;
    static constexpr auto list = std::tuple{
        field("showCursorRing", &G::showCursorRing)
            .saved(Saved::optional)
            .output(Output::frames)
            .undoable()
            .remote("show_cursor_ring", true),
        field("cursorRingStyle", &G::cursorRingStyle)
            .saved(Saved::optional)
            .output(Output::frames)
            .remote("cursor_ring_style", "glow"),
        field("cursorVisualStyle", &G::cursorVisualStyle)
            .saved(Saved::optional)
            .output(Output::frames)
            .undoable()
            .remote("cursor_visual_style", "ring"),
        field("cursorClickAnimationStyle", &G::cursorClickAnimationStyle)
            .saved(Saved::optional)
            .output(Output::frames)
            .undoable()
            .remote("cursor_click_animation_style", "pulse"),
        field("cursorIconSymbol", &G::cursorIconSymbol)
            .saved(Saved::optional)
            .output(Output::frames)
            .undoable()
            .remote("cursor_icon_symbol", "sparkle"),
        field("cursorStyleOverrides", &G::cursorStyleOverrides)
            .saved(Saved::optional)
            .output(Output::frames)
            .remote("cursor_style_overrides"),
        field("cursorMotionBlur", &G::cursorMotionBlur)
            .saved(Saved::optional)
            .output(Output::frames)
            .remote("cursor_motion_blur", false),
        field("cursorClickSounds", &G::cursorClickSounds)
            .saved(Saved::optional)
            .output(Output::exportFile)
            .remote("cursor_click_sounds", false),
        field("cursorClickSoundVolume", &G::cursorClickSoundVolume)
            .saved(Saved::optional)
            .output(Output::exportFile)
            .clamped(0, 2)
            .remote("cursor_click_sound_volume", 1.0),
        field("drawsSyntheticCursor", &G::drawsSyntheticCursor)
            .saved(Saved::optional)
            .output(Output::frames)
            .remote("draws_synthetic_cursor", false),
        field("cursorTrackFile", &G::cursorTrackPath).saved(Saved::optional).output(Output::exportFile),
        field("annotations", &G::annotations).saved(Saved::optional).output(Output::frames).remote("annotations"),
        field("showAnnotations", &G::showAnnotations)
            .saved(Saved::optional)
            .output(Output::frames)
            .remote("show_annotations", true),
        field("cursorInteractions", &G::cursorInteractions)
            .saved(Saved::optional)
            .output(Output::frames)
            .remote("cursor_interactions"),
    };
};

template <>
struct FieldsOf<AudioEdit> {
    using G = AudioEdit;
    static constexpr auto list = std::tuple{
        field("originalAudioVolume", &G::originalAudioVolume)
            .saved(Saved::optional)
            .output(Output::exportFile)
            .remote("original_audio_volume", 1.0),
        // Each voice clip carries its own volume into the mix; this one is what the voice track's
        // slider shows.
        field("voiceTrackVolume", &G::voiceTrackVolume).saved(Saved::optional).remote("voice_track_volume", 1.0),
        field("backgroundMusicPath", &G::backgroundMusicPath).output(Output::exportFile),
        field("backgroundMusicVolume", &G::backgroundMusicVolume)
            .output(Output::exportFile)
            .remote("background_music_volume", 0.3),
        field("mutes", &G::muteRegions)
            .saved(Saved::required)
            .output(Output::exportFile)
            .undoable()
            .remote("mute_regions"),
        field("voiceClips", &G::voiceClips).saved(Saved::required).output(Output::exportFile).undoable(),
        // Enhancement writes new files that the voice clips then point at.
        field("audioEnhancementActive", &G::audioEnhancementActive),
        field("audioEnhancementSettings", &G::audioEnhancementSettings),
    };
};

template <>
struct FieldsOf<CaptionsEdit> {
    using G = CaptionsEdit;
    static constexpr auto list = std::tuple{
        field("captions", &G::captions).saved(Saved::optional).output(Output::frames),
        field("showCaptions", &G::showCaptions)
            .saved(Saved::optional)
            .output(Output::frames)
            .remote("show_captions", true),
    };
};

template <>
struct FieldsOf<OverlaysEdit> {
    using G = OverlaysEdit;
    static constexpr auto list = std::tuple{
        field("videoOverlays", &G::videoOverlays).saved(Saved::required).output(Output::frames).undoable(),
    };
};

// --- Timeline items -------------------------------------------------------------------------------
// `saved` says whether the item's record in sidecar.json holds the field; items are rendered as a
// whole, so `output` is not used here. An item without a saved "id" gets a fresh one when read.

template <>
struct FieldsOf<Clip> {
    using T = Clip;
    static constexpr auto list = std::tuple{
        field("id", &T::id),
        field("sourceFile", &T::sourceFile).saved(Saved::required),
        field("sourceStart", &T::sourceStart).saved(Saved::required),
        field("sourceEnd", &T::sourceEnd).saved(Saved::required),
        field("headOffset", &T::headOffset).saved(Saved::optional),
    };
};

template <>
struct FieldsOf<ZoomRegion> {
    using T = ZoomRegion;
    static constexpr auto list = std::tuple{
        field("id", &T::id),
        field("start", &T::start).saved(Saved::required),
        field("end", &T::end).saved(Saved::required),
        field("scale", &T::scale).saved(Saved::required).clamped(1, kMaximumZoomScale),
        field("focusX", &T::focusX).saved(Saved::required),
        field("focusY", &T::focusY).saved(Saved::required),
        field("followCursor", &T::followCursor).saved(Saved::required),
        field("easeSpeed", &T::easeSpeed).saved(Saved::optional),
    };
};

template <>
struct FieldsOf<SpeedRamp> {
    using T = SpeedRamp;
    static constexpr auto list = std::tuple{
        field("id", &T::id).saved(Saved::optional),
        field("start", &T::start).saved(Saved::required),
        field("end", &T::end).saved(Saved::required),
        field("speed", &T::speed).saved(Saved::required).clamped(kMinimumRampSpeed, kMaximumRampSpeed),
    };
};

template <>
struct FieldsOf<CutRegion> {
    using T = CutRegion;
    static constexpr auto list = std::tuple{
        field("id", &T::id),
        field("start", &T::start),
        field("end", &T::end),
    };
};

template <>
struct FieldsOf<MuteRegion> {
    using T = MuteRegion;
    static constexpr auto list = std::tuple{
        field("id", &T::id),
        field("start", &T::start).saved(Saved::required),
        field("end", &T::end).saved(Saved::required),
    };
};

template <>
struct FieldsOf<AudioClip> {
    using T = AudioClip;
    static constexpr auto list = std::tuple{
        field("id", &T::id),
        field("startTime", &T::startTime).saved(Saved::required),
        field("duration", &T::duration).saved(Saved::required),
        field("file", &T::path).saved(Saved::required),
        field("sourceStart", &T::sourceStart).saved(Saved::optional),
        field("volume", &T::volume).saved(Saved::required),
        field("label", &T::label).saved(Saved::required),
        field("script", &T::script).saved(Saved::optional),
        field("originalFile", &T::originalPath),
    };
};

template <>
struct FieldsOf<VideoOverlayClip> {
    using T = VideoOverlayClip;
    static constexpr auto list = std::tuple{
        field("id", &T::id),
        field("startTime", &T::startTime).saved(Saved::required),
        field("duration", &T::duration).saved(Saved::required),
        field("file", &T::path).saved(Saved::required),
        field("normalizedFrame", &T::normalizedFrame).saved(Saved::required),
        field("sourceStart", &T::sourceStart).saved(Saved::optional),
        field("cornerRadius", &T::cornerRadius).saved(Saved::required),
        field("volume", &T::volume).saved(Saved::required),
        field("label", &T::label).saved(Saved::required),
        field("mediaKind", &T::mediaKind).saved(Saved::optional),
        field("mirrored", &T::mirrored).saved(Saved::optional),
        field("rotationRadians", &T::rotationRadians).saved(Saved::optional),
        field("sourceCropRect", &T::sourceCropRect).saved(Saved::optional),
        field("borderStyle", &T::borderStyle).saved(Saved::optional),
        field("lane", &T::lane).saved(Saved::optional),
        field("backgroundBlur", &T::backgroundBlur).saved(Saved::optional).clamped(0, 1),
        field("autoFrameFaceCam", &T::autoFrameFaceCam).saved(Saved::optional),
    };
};

template <>
struct FieldsOf<CaptionWord> {
    using T = CaptionWord;
    static constexpr auto list = std::tuple{
        field("start", &T::start),
        field("end", &T::end),
        field("text", &T::text),
    };
};

template <>
struct FieldsOf<CaptionSegment> {
    using T = CaptionSegment;
    static constexpr auto list = std::tuple{
        field("id", &T::id),
        field("start", &T::start).saved(Saved::required),
        field("end", &T::end).saved(Saved::required),
        field("text", &T::text).saved(Saved::required),
        // Kept in captions.json beside the sidecar.
        field("words", &T::words),
    };
};

template <>
struct FieldsOf<ClickAnnotation> {
    using T = ClickAnnotation;
    static constexpr auto list = std::tuple{
        field("id", &T::id).saved(Saved::optional),
        field("time", &T::time).saved(Saved::required),
        field("cx", &T::cx).saved(Saved::required),
        field("cy", &T::cy).saved(Saved::required),
        field("label", &T::label).saved(Saved::required),
        field("color", &T::color).saved(Saved::optional),
        field("enabled", &T::enabled).saved(Saved::optional),
        field("animationStyle", &T::animationStyle).saved(Saved::optional),
        field("clickSoundEnabled", &T::clickSoundEnabled).saved(Saved::optional),
    };
};

template <>
struct FieldsOf<CursorInteraction> {
    using T = CursorInteraction;
    static constexpr auto list = std::tuple{
        field("id", &T::id).saved(Saved::optional),
        field("kind", &T::kind).saved(Saved::required),
        field("startTime", &T::startTime).saved(Saved::required),
        field("endTime", &T::endTime).saved(Saved::required),
        field("startX", &T::startX).saved(Saved::required),
        field("startY", &T::startY).saved(Saved::required),
        field("endX", &T::endX).saved(Saved::required),
        field("endY", &T::endY).saved(Saved::required),
    };
};

template <>
struct FieldsOf<CursorStyleOverride> {
    using T = CursorStyleOverride;
    static constexpr auto list = std::tuple{
        field("id", &T::id).saved(Saved::optional),
        field("startTime", &T::startTime).saved(Saved::required),
        field("endTime", &T::endTime).saved(Saved::required),
        field("visualStyle", &T::visualStyle).saved(Saved::required),
        field("iconSymbol", &T::iconSymbol).saved(Saved::optional),
        field("ringStyleName", &T::ringStyleName).saved(Saved::optional),
    };
};

template <>
struct FieldsOf<AudioEnhancementSettings> {
    using T = AudioEnhancementSettings;
    static constexpr auto list = std::tuple{
        field("enabled", &T::enabled),
        field("preset", &T::preset),
        field("strength", &T::strength),
    };
};

}  // namespace orvane
