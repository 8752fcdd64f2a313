#include "editor/project_sidecar.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdlib>

#include <nlohmann/json.hpp>

#include "base/atomic_file.h"
#include "editor/editor_state.h"
#include "model/geometry_json.h"
#include "model/json_fields.h"
#include "model/timeline_json.h"

namespace orvane {

namespace {

using OrderedJson = nlohmann::ordered_json;
using nlohmann::json;
using detail::JsonFields;

// 2001-01-01 00:00:00 UTC in Unix seconds.
constexpr double kReferenceDateUnixSeconds = 978307200.0;

// A float written through double would gain digits (0.15f is 0.15000000596...); its shortest
// decimal form is what the user set.
double floatToDouble(float value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    *result.ptr = '\0';
    return std::strtod(buffer, nullptr);
}

OrderedJson rectJson(const Rect& rect) {
    return OrderedJson::array({OrderedJson::array({rect.x, rect.y}), OrderedJson::array({rect.width, rect.height})});
}

// --- Encoding -------------------------------------------------------------------------------------

template <typename T>
void putOptional(OrderedJson& object, const char* key, const std::optional<T>& value) {
    if (value) object[key] = *value;
}

void putOptionalRect(OrderedJson& object, const char* key, const std::optional<Rect>& value) {
    if (value) object[key] = rectJson(*value);
}

void putOptionalID(OrderedJson& object, const std::optional<Uuid>& id) {
    if (id) object["id"] = id->string();
}

OrderedJson encode(const ProjectSidecar::Zoom& zoom) {
    OrderedJson object{{"start", zoom.start},   {"end", zoom.end},       {"scale", zoom.scale},
                       {"focusX", zoom.focusX}, {"focusY", zoom.focusY}, {"followCursor", zoom.followCursor}};
    putOptional(object, "easeSpeed", zoom.easeSpeed);
    return object;
}

OrderedJson encode(const ProjectSidecar::Range& range) {
    return OrderedJson{{"start", range.start}, {"end", range.end}};
}

OrderedJson encode(const ProjectSidecar::VoiceClip& clip) {
    OrderedJson object{{"startTime", clip.startTime}, {"duration", clip.duration}, {"file", clip.file}};
    putOptional(object, "sourceStart", clip.sourceStart);
    object["volume"] = clip.volume;
    object["label"] = clip.label;
    putOptional(object, "script", clip.script);
    putOptional(object, "scriptFile", clip.scriptFile);
    return object;
}

OrderedJson encode(const ProjectSidecar::VideoOverlay& overlay) {
    OrderedJson object{{"startTime", overlay.startTime},
                       {"duration", overlay.duration},
                       {"file", overlay.file},
                       {"normalizedFrame", rectJson(overlay.normalizedFrame)}};
    putOptional(object, "sourceStart", overlay.sourceStart);
    object["cornerRadius"] = overlay.cornerRadius;
    object["volume"] = overlay.volume;
    object["label"] = overlay.label;
    putOptional(object, "mediaKind", overlay.mediaKind);
    putOptional(object, "mirrored", overlay.mirrored);
    putOptional(object, "rotationRadians", overlay.rotationRadians);
    putOptionalRect(object, "sourceCropRect", overlay.sourceCropRect);
    if (overlay.borderStyle) object["borderStyle"] = OrderedJson(toJson(*overlay.borderStyle));
    putOptional(object, "lane", overlay.lane);
    putOptional(object, "backgroundBlur", overlay.backgroundBlur);
    putOptional(object, "autoFrameFaceCam", overlay.autoFrameFaceCam);
    return object;
}

OrderedJson encode(const ProjectSidecar::TimelineClip& clip) {
    OrderedJson object{
        {"sourceFile", clip.sourceFile}, {"sourceStart", clip.sourceStart}, {"sourceEnd", clip.sourceEnd}};
    putOptional(object, "headOffset", clip.headOffset);
    return object;
}

OrderedJson encode(const ProjectSidecar::Caption& caption) {
    return OrderedJson{{"start", caption.start}, {"end", caption.end}, {"text", caption.text}};
}

OrderedJson encode(const ProjectSidecar::Annotation& annotation) {
    OrderedJson object = OrderedJson::object();
    putOptionalID(object, annotation.id);
    object["time"] = annotation.time;
    object["cx"] = annotation.cx;
    object["cy"] = annotation.cy;
    object["label"] = annotation.label;
    putOptional(object, "color", annotation.color);
    putOptional(object, "enabled", annotation.enabled);
    putOptional(object, "animationStyle", annotation.animationStyle);
    putOptional(object, "clickSoundEnabled", annotation.clickSoundEnabled);
    return object;
}

OrderedJson encode(const ProjectSidecar::CursorInteraction& interaction) {
    OrderedJson object = OrderedJson::object();
    putOptionalID(object, interaction.id);
    object["kind"] = interaction.kind;
    object["startTime"] = interaction.startTime;
    object["endTime"] = interaction.endTime;
    object["startX"] = interaction.startX;
    object["startY"] = interaction.startY;
    object["endX"] = interaction.endX;
    object["endY"] = interaction.endY;
    return object;
}

OrderedJson encode(const ProjectSidecar::CursorStyleOverride& override) {
    OrderedJson object = OrderedJson::object();
    putOptionalID(object, override.id);
    object["startTime"] = override.startTime;
    object["endTime"] = override.endTime;
    object["visualStyle"] = override.visualStyle;
    putOptional(object, "iconSymbol", override.iconSymbol);
    putOptional(object, "ringStyleName", override.ringStyleName);
    return object;
}

OrderedJson encode(const ProjectSidecar::SpeedRampPayload& ramp) {
    OrderedJson object = OrderedJson::object();
    putOptionalID(object, ramp.id);
    object["start"] = ramp.start;
    object["end"] = ramp.end;
    object["speed"] = ramp.speed;
    return object;
}

template <typename Item>
OrderedJson encodeArray(const std::vector<Item>& items) {
    auto array = OrderedJson::array();
    for (const auto& item : items) array.push_back(encode(item));
    return array;
}

template <typename Item>
void putOptionalArray(OrderedJson& object, const char* key, const std::optional<std::vector<Item>>& items) {
    if (items) object[key] = encodeArray(*items);
}

OrderedJson encodeObject(const ProjectSidecar& s) {
    OrderedJson object = OrderedJson::object();
    putOptional(object, "originalAudioVolume", s.originalAudioVolume);
    putOptional(object, "voiceTrackVolume", s.voiceTrackVolume);
    object["version"] = s.version;
    object["exportKind"] = s.exportKind;
    object["sourceVideo"] = s.sourceVideo;
    object["duration"] = s.duration;
    object["trimStart"] = s.trimStart;
    object["trimEnd"] = s.trimEnd;
    object["background"] = s.background;
    putOptional(object, "backgroundImageFile", s.backgroundImageFile);
    putOptional(object, "automaticZoomsSuppressed", s.automaticZoomsSuppressed);
    putOptionalRect(object, "cropRect", s.cropRect);
    putOptional(object, "cursorTrackFile", s.cursorTrackFile);
    putOptional(object, "showCursorRing", s.showCursorRing);
    putOptional(object, "cursorRingStyle", s.cursorRingStyle);
    putOptional(object, "drawsSyntheticCursor", s.drawsSyntheticCursor);
    putOptional(object, "cursorVisualStyle", s.cursorVisualStyle);
    putOptional(object, "cursorClickAnimationStyle", s.cursorClickAnimationStyle);
    putOptional(object, "cursorIconSymbol", s.cursorIconSymbol);
    putOptional(object, "showAnnotations", s.showAnnotations);
    putOptionalArray(object, "annotations", s.annotations);
    putOptionalArray(object, "cursorInteractions", s.cursorInteractions);
    object["zooms"] = encodeArray(s.zooms);
    object["mutes"] = encodeArray(s.mutes);
    object["voiceClips"] = encodeArray(s.voiceClips);
    object["videoOverlays"] = encodeArray(s.videoOverlays);
    putOptionalArray(object, "clips", s.clips);
    putOptional(object, "showCaptions", s.showCaptions);
    putOptionalArray(object, "captions", s.captions);
    putOptional(object, "showWindowChrome", s.showWindowChrome);
    putOptional(object, "chromeStyle", s.chromeStyle);
    putOptional(object, "windowTitle", s.windowTitle);
    putOptionalRect(object, "recordingFrame", s.recordingFrame);
    putOptional(object, "exportAspect", s.exportAspect);
    if (s.lastAppliedRemoteUpdatedAt) {
        object["lastAppliedRemoteUpdatedAt"] = secondsSinceReferenceDate(*s.lastAppliedRemoteUpdatedAt);
    }
    putOptional(object, "zoomReactiveFaceCam", s.zoomReactiveFaceCam);
    putOptional(object, "zoomReactiveFaceCamScale", s.zoomReactiveFaceCamScale);
    putOptionalArray(object, "cursorStyleOverrides", s.cursorStyleOverrides);
    putOptional(object, "cursorMotionBlur", s.cursorMotionBlur);
    putOptionalArray(object, "speedRamps", s.speedRamps);
    putOptional(object, "cursorClickSounds", s.cursorClickSounds);
    putOptional(object, "cursorClickSoundVolume", s.cursorClickSoundVolume);
    putOptional(object, "inset", s.inset);
    putOptional(object, "cornerRadius", s.cornerRadius);
    return object;
}

// --- Decoding -------------------------------------------------------------------------------------

std::optional<Rect> rectField(JsonFields& fields, std::string_view key, bool isRequired) {
    const json* value = isRequired ? fields.required(key) : fields.find(key);
    if (!value) return std::nullopt;
    auto rect = rectFromJson(*value);
    if (!rect) fields.failKey(key, "is not a rectangle");
    return rect;
}

std::optional<ProjectSidecar::Zoom> decodeZoom(const json& object, std::string* error) {
    JsonFields f(object, "Zoom");
    ProjectSidecar::Zoom zoom{f.number("start"),  f.number("end"),           f.number("scale"),
                              f.number("focusX"), f.number("focusY"),        f.boolean("followCursor"),
                              f.optionalNumber("easeSpeed")};
    f.report(error);
    return f.ok() ? std::optional(zoom) : std::nullopt;
}

std::optional<ProjectSidecar::Range> decodeRange(const json& object, std::string* error) {
    JsonFields f(object, "Range");
    ProjectSidecar::Range range{f.number("start"), f.number("end")};
    f.report(error);
    return f.ok() ? std::optional(range) : std::nullopt;
}

std::optional<ProjectSidecar::VoiceClip> decodeVoiceClip(const json& object, std::string* error) {
    JsonFields f(object, "VoiceClip");
    ProjectSidecar::VoiceClip clip;
    clip.startTime = f.number("startTime");
    clip.duration = f.number("duration");
    clip.file = f.string("file");
    clip.sourceStart = f.optionalNumber("sourceStart");
    clip.volume = f.number("volume");
    clip.label = f.string("label");
    clip.script = f.optionalString("script");
    clip.scriptFile = f.optionalString("scriptFile");
    f.report(error);
    return f.ok() ? std::optional(clip) : std::nullopt;
}

std::optional<ProjectSidecar::VideoOverlay> decodeVideoOverlay(const json& object, std::string* error) {
    JsonFields f(object, "VideoOverlay");
    ProjectSidecar::VideoOverlay overlay;
    overlay.startTime = f.number("startTime");
    overlay.duration = f.number("duration");
    overlay.file = f.string("file");
    overlay.normalizedFrame = rectField(f, "normalizedFrame", true).value_or(Rect{});
    overlay.sourceStart = f.optionalNumber("sourceStart");
    overlay.cornerRadius = f.number("cornerRadius");
    overlay.volume = f.number("volume");
    overlay.label = f.string("label");
    overlay.mediaKind = f.optionalString("mediaKind");
    overlay.mirrored = f.optionalBoolean("mirrored");
    overlay.rotationRadians = f.optionalNumber("rotationRadians");
    overlay.sourceCropRect = rectField(f, "sourceCropRect", false);
    if (const json* border = f.find("borderStyle")) {
        std::string problem;
        overlay.borderStyle = borderStyleFromJson(*border, &problem);
        if (!overlay.borderStyle) f.failKey("borderStyle", "is not a border style");
    }
    if (const auto lane = f.optionalNumber("lane")) {
        if (*lane == std::floor(*lane) && std::abs(*lane) < 1e9) {
            overlay.lane = static_cast<std::int64_t>(*lane);
        } else {
            f.failKey("lane", "is not an integer");
        }
    }
    overlay.backgroundBlur = f.optionalNumber("backgroundBlur");
    overlay.autoFrameFaceCam = f.optionalBoolean("autoFrameFaceCam");
    f.report(error);
    return f.ok() ? std::optional(overlay) : std::nullopt;
}

std::optional<ProjectSidecar::TimelineClip> decodeTimelineClip(const json& object, std::string* error) {
    JsonFields f(object, "TimelineClip");
    ProjectSidecar::TimelineClip clip{f.string("sourceFile"), f.number("sourceStart"), f.number("sourceEnd"),
                                      f.optionalNumber("headOffset")};
    f.report(error);
    return f.ok() ? std::optional(clip) : std::nullopt;
}

std::optional<ProjectSidecar::Caption> decodeCaption(const json& object, std::string* error) {
    JsonFields f(object, "Caption");
    ProjectSidecar::Caption caption{f.number("start"), f.number("end"), f.string("text")};
    f.report(error);
    return f.ok() ? std::optional(caption) : std::nullopt;
}

std::optional<ProjectSidecar::Annotation> decodeAnnotation(const json& object, std::string* error) {
    JsonFields f(object, "Annotation");
    ProjectSidecar::Annotation annotation;
    annotation.id = f.optionalUuid("id");
    annotation.time = f.number("time");
    annotation.cx = f.number("cx");
    annotation.cy = f.number("cy");
    annotation.label = f.string("label");
    annotation.color = f.optionalString("color");
    annotation.enabled = f.optionalBoolean("enabled");
    annotation.animationStyle = f.optionalString("animationStyle");
    annotation.clickSoundEnabled = f.optionalBoolean("clickSoundEnabled");
    f.report(error);
    return f.ok() ? std::optional(annotation) : std::nullopt;
}

std::optional<ProjectSidecar::CursorInteraction> decodeCursorInteraction(const json& object, std::string* error) {
    JsonFields f(object, "CursorInteraction");
    ProjectSidecar::CursorInteraction interaction;
    interaction.id = f.optionalUuid("id");
    interaction.kind = f.string("kind");
    interaction.startTime = f.number("startTime");
    interaction.endTime = f.number("endTime");
    interaction.startX = f.number("startX");
    interaction.startY = f.number("startY");
    interaction.endX = f.number("endX");
    interaction.endY = f.number("endY");
    f.report(error);
    return f.ok() ? std::optional(interaction) : std::nullopt;
}

std::optional<ProjectSidecar::CursorStyleOverride> decodeStyleOverride(const json& object, std::string* error) {
    JsonFields f(object, "CursorStyleOverride");
    ProjectSidecar::CursorStyleOverride override;
    override.id = f.optionalUuid("id");
    override.startTime = f.number("startTime");
    override.endTime = f.number("endTime");
    override.visualStyle = f.string("visualStyle");
    override.iconSymbol = f.optionalString("iconSymbol");
    override.ringStyleName = f.optionalString("ringStyleName");
    f.report(error);
    return f.ok() ? std::optional(override) : std::nullopt;
}

std::optional<ProjectSidecar::SpeedRampPayload> decodeSpeedRamp(const json& object, std::string* error) {
    JsonFields f(object, "SpeedRampPayload");
    ProjectSidecar::SpeedRampPayload ramp{f.optionalUuid("id"), f.number("start"), f.number("end"),
                                          f.number("speed")};
    f.report(error);
    return f.ok() ? std::optional(ramp) : std::nullopt;
}

// Decodes an array of records; any bad element fails the whole document.
template <typename Decode>
auto decodeArray(JsonFields& fields, std::string_view key, bool isRequired, Decode decode, std::string* error)
    -> std::optional<std::vector<typename decltype(decode(json(), error))::value_type>> {
    using Item = typename decltype(decode(json(), error))::value_type;
    const json* value = isRequired ? fields.required(key) : fields.find(key);
    if (!value) return std::nullopt;
    if (!value->is_array()) {
        fields.failKey(key, "is not an array");
        return std::nullopt;
    }
    std::vector<Item> items;
    for (const auto& element : *value) {
        std::string problem;
        auto item = decode(element, &problem);
        if (!item) {
            fields.failKey(key, "has a bad element (" + problem + ")");
            return std::nullopt;
        }
        items.push_back(std::move(*item));
    }
    return items;
}

// --- Apply helpers --------------------------------------------------------------------------------

// A file reference from another machine still finds the file of the same name in this folder.
std::optional<std::filesystem::path> resolveByName(const std::string& stored, const std::filesystem::path& folder) {
    const auto name = std::filesystem::path(stored).filename();
    if (name.empty()) return std::nullopt;
    const auto candidate = folder / name;
    std::error_code ignored;
    if (!std::filesystem::exists(candidate, ignored)) return std::nullopt;
    return candidate;
}

// Media of voice clips and overlays: an absolute path that exists is used as it is; otherwise the
// name is looked up in the recording folder (a missing file stays referenced there, so the item is
// kept and shows as missing rather than vanishing from the edit).
std::filesystem::path resolveMedia(const std::string& stored, const std::filesystem::path& folder) {
    const std::filesystem::path path(stored);
    std::error_code ignored;
    if (path.is_absolute() && std::filesystem::exists(path, ignored)) return path;
    return folder / path.filename();
}

// Inside the recording folder a file is written by name, so a moved folder keeps working.
std::string fileReference(const std::filesystem::path& file, const std::filesystem::path& folder) {
    if (file.parent_path() == folder) return file.filename().string();
    return file.string();
}

}  // namespace

double secondsSinceReferenceDate(SystemTime time) {
    const auto since = std::chrono::duration<double>(time.time_since_epoch()).count();
    return since - kReferenceDateUnixSeconds;
}

SystemTime dateFromSecondsSinceReferenceDate(double seconds) {
    const std::chrono::duration<double> unix(seconds + kReferenceDateUnixSeconds);
    return SystemTime(std::chrono::duration_cast<SystemTime::duration>(unix));
}

std::string encodeProjectSidecar(const ProjectSidecar& sidecar) { return encodeObject(sidecar).dump(); }

std::string encodeProjectSidecarForExport(const ProjectSidecar& sidecar) {
    // nlohmann::json keeps its object keys sorted.
    return json(encodeObject(sidecar)).dump(2);
}

std::optional<ProjectSidecar> decodeProjectSidecar(std::string_view text, std::string* error) {
    const json document = json::parse(text, nullptr, false);
    if (document.is_discarded()) {
        if (error) *error = "ProjectSidecar: not valid JSON";
        return std::nullopt;
    }
    JsonFields f(document, "ProjectSidecar");
    ProjectSidecar s;
    s.originalAudioVolume = f.optionalNumber("originalAudioVolume");
    s.voiceTrackVolume = f.optionalNumber("voiceTrackVolume");
    s.version = f.integer("version");
    s.exportKind = f.string("exportKind");
    s.sourceVideo = f.string("sourceVideo");
    s.duration = f.number("duration");
    s.trimStart = f.number("trimStart");
    s.trimEnd = f.number("trimEnd");
    s.background = f.string("background");
    s.backgroundImageFile = f.optionalString("backgroundImageFile");
    s.automaticZoomsSuppressed = f.optionalBoolean("automaticZoomsSuppressed");
    s.cropRect = rectField(f, "cropRect", false);
    s.cursorTrackFile = f.optionalString("cursorTrackFile");
    s.showCursorRing = f.optionalBoolean("showCursorRing");
    s.cursorRingStyle = f.optionalString("cursorRingStyle");
    s.drawsSyntheticCursor = f.optionalBoolean("drawsSyntheticCursor");
    s.cursorVisualStyle = f.optionalString("cursorVisualStyle");
    s.cursorClickAnimationStyle = f.optionalString("cursorClickAnimationStyle");
    s.cursorIconSymbol = f.optionalString("cursorIconSymbol");
    s.showAnnotations = f.optionalBoolean("showAnnotations");
    s.annotations = decodeArray(f, "annotations", false, decodeAnnotation, error);
    s.cursorInteractions = decodeArray(f, "cursorInteractions", false, decodeCursorInteraction, error);
    s.zooms = decodeArray(f, "zooms", true, decodeZoom, error).value_or(std::vector<ProjectSidecar::Zoom>{});
    s.mutes = decodeArray(f, "mutes", true, decodeRange, error).value_or(std::vector<ProjectSidecar::Range>{});
    s.voiceClips =
        decodeArray(f, "voiceClips", true, decodeVoiceClip, error).value_or(std::vector<ProjectSidecar::VoiceClip>{});
    s.videoOverlays = decodeArray(f, "videoOverlays", true, decodeVideoOverlay, error)
                          .value_or(std::vector<ProjectSidecar::VideoOverlay>{});
    s.clips = decodeArray(f, "clips", false, decodeTimelineClip, error);
    s.showCaptions = f.optionalBoolean("showCaptions");
    s.captions = decodeArray(f, "captions", false, decodeCaption, error);
    s.showWindowChrome = f.optionalBoolean("showWindowChrome");
    s.chromeStyle = f.optionalString("chromeStyle");
    s.windowTitle = f.optionalString("windowTitle");
    s.recordingFrame = rectField(f, "recordingFrame", false);
    s.exportAspect = f.optionalString("exportAspect");
    if (const auto seconds = f.optionalNumber("lastAppliedRemoteUpdatedAt")) {
        s.lastAppliedRemoteUpdatedAt = dateFromSecondsSinceReferenceDate(*seconds);
    }
    s.zoomReactiveFaceCam = f.optionalBoolean("zoomReactiveFaceCam");
    s.zoomReactiveFaceCamScale = f.optionalNumber("zoomReactiveFaceCamScale");
    s.cursorStyleOverrides = decodeArray(f, "cursorStyleOverrides", false, decodeStyleOverride, error);
    s.cursorMotionBlur = f.optionalBoolean("cursorMotionBlur");
    s.speedRamps = decodeArray(f, "speedRamps", false, decodeSpeedRamp, error);
    s.cursorClickSounds = f.optionalBoolean("cursorClickSounds");
    s.cursorClickSoundVolume = f.optionalNumber("cursorClickSoundVolume");
    s.inset = f.optionalNumber("inset");
    s.cornerRadius = f.optionalNumber("cornerRadius");
    f.report(error);
    if (!f.ok()) return std::nullopt;
    return s;
}

ProjectSidecar makeProjectSidecar(const EditorState& state, std::string_view exportKind) {
    const auto& v = state.values();
    const auto folder = v.videoURL.parent_path();
    ProjectSidecar s;
    s.originalAudioVolume = floatToDouble(v.originalAudioVolume);
    s.voiceTrackVolume = floatToDouble(v.voiceTrackVolume);
    s.version = 1;
    s.exportKind = std::string(exportKind);
    s.sourceVideo = v.videoURL.filename().string();
    s.duration = v.duration;
    s.trimStart = v.trimStart;
    s.trimEnd = v.trimEnd;
    s.background = std::string(rawValue(v.background));
    if (v.customBackgroundURL) s.backgroundImageFile = fileReference(*v.customBackgroundURL, folder);
    s.automaticZoomsSuppressed = v.automaticZoomsSuppressed;
    s.cropRect = v.cropRect;
    if (state.cursorTrackURL) s.cursorTrackFile = fileReference(*state.cursorTrackURL, folder);
    s.showCursorRing = v.showCursorRing;
    s.cursorRingStyle = cursorRingStyleName(v.cursorRingStyle);
    s.drawsSyntheticCursor = state.drawsSyntheticCursor;
    s.cursorVisualStyle = std::string(rawValue(v.cursorVisualStyle));
    s.cursorClickAnimationStyle = std::string(rawValue(v.cursorClickAnimationStyle));
    s.cursorIconSymbol = v.cursorIconSymbol;
    s.showAnnotations = v.showAnnotations;

    s.annotations.emplace();
    for (const auto& a : v.annotations) {
        ProjectSidecar::Annotation out{a.id, a.time, a.cx, a.cy, a.label, std::string(rawValue(a.color)), a.enabled,
                                       std::nullopt, a.clickSoundEnabled};
        if (a.animationStyle) out.animationStyle = std::string(rawValue(*a.animationStyle));
        s.annotations->push_back(std::move(out));
    }
    s.cursorInteractions.emplace();
    for (const auto& i : v.cursorInteractions) {
        s.cursorInteractions->push_back({i.id, std::string(rawValue(i.kind)), i.startTime, i.endTime, i.startX,
                                         i.startY, i.endX, i.endY});
    }
    for (const auto& z : v.zoomRegions) {
        s.zooms.push_back({z.start, z.end, z.scale, z.focusX, z.focusY, z.followCursor, z.easeSpeed});
    }
    for (const auto& m : v.muteRegions) s.mutes.push_back({m.start, m.end});
    for (const auto& c : v.voiceClips) {
        ProjectSidecar::VoiceClip out;
        out.startTime = c.startTime;
        out.duration = c.duration;
        out.file = fileReference(c.url, folder);
        out.sourceStart = c.sourceStart;
        out.volume = floatToDouble(c.volume);
        out.label = c.label;
        out.script = c.script;
        s.voiceClips.push_back(std::move(out));
    }
    for (const auto& o : v.videoOverlays) {
        ProjectSidecar::VideoOverlay out;
        out.startTime = o.startTime;
        out.duration = o.duration;
        out.file = fileReference(o.url, folder);
        out.normalizedFrame = o.normalizedFrame;
        out.sourceStart = o.sourceStart;
        out.cornerRadius = o.cornerRadius;
        out.volume = floatToDouble(o.volume);
        out.label = o.label;
        out.mediaKind = std::string(rawValue(o.mediaKind));
        out.mirrored = o.mirrored;
        out.rotationRadians = o.rotationRadians;
        out.sourceCropRect = o.sourceCropRect;
        out.borderStyle = o.borderStyle;
        out.lane = o.lane;
        out.backgroundBlur = o.backgroundBlur;
        out.autoFrameFaceCam = o.autoFrameFaceCam;
        s.videoOverlays.push_back(std::move(out));
    }
    s.clips.emplace();
    for (const auto& c : v.clips) s.clips->push_back({c.sourceFile, c.sourceStart, c.sourceEnd, c.headOffset});
    s.showCaptions = v.showCaptions;
    s.captions.emplace();
    for (const auto& c : v.captions) s.captions->push_back({c.start, c.end, c.text});
    s.showWindowChrome = v.showWindowChrome;
    s.chromeStyle = std::string(rawValue(v.chromeStyle));
    s.windowTitle = v.windowTitle;
    s.recordingFrame = v.recordingFrame;
    s.exportAspect = std::string(rawValue(v.exportAspect));
    s.lastAppliedRemoteUpdatedAt = v.lastAppliedRemoteUpdatedAt;
    s.zoomReactiveFaceCam = v.zoomReactiveFaceCam;
    s.zoomReactiveFaceCamScale = v.zoomReactiveFaceCamScale;
    s.cursorStyleOverrides.emplace();
    for (const auto& o : v.cursorStyleOverrides) {
        s.cursorStyleOverrides->push_back(
            {o.id, o.startTime, o.endTime, std::string(rawValue(o.visualStyle)), o.iconSymbol, o.ringStyleName});
    }
    s.cursorMotionBlur = v.cursorMotionBlur;
    s.speedRamps.emplace();
    for (const auto& r : v.speedRamps) s.speedRamps->push_back({r.id, r.start, r.end, r.speed});
    s.cursorClickSounds = v.cursorClickSounds;
    s.cursorClickSoundVolume = floatToDouble(v.cursorClickSoundVolume);
    s.inset = v.inset;
    s.cornerRadius = v.cornerRadius;
    return s;
}

void applyProjectSidecar(const ProjectSidecar& s, const std::filesystem::path& folder, EditorState& state) {
    if (s.cursorTrackFile) {
        if (auto found = resolveByName(*s.cursorTrackFile, folder)) state.cursorTrackURL = std::move(*found);
    }
    if (s.drawsSyntheticCursor) state.drawsSyntheticCursor = *s.drawsSyntheticCursor;

    state.modify(
        [&](EditorValues& v) {
            if (s.originalAudioVolume) v.originalAudioVolume = static_cast<float>(*s.originalAudioVolume);
            if (s.voiceTrackVolume) v.voiceTrackVolume = static_cast<float>(*s.voiceTrackVolume);
            if (s.duration > 0) v.duration = s.duration;
            // A stored 0 means "not set yet", not "trim everything".
            if (s.trimStart > 0) v.trimStart = s.trimStart;
            if (s.trimEnd > 0) v.trimEnd = s.trimEnd;
            if (const auto style = backgroundStyleFromRaw(s.background)) v.background = *style;
            if (s.backgroundImageFile) {
                if (auto image = resolveByName(*s.backgroundImageFile, folder)) v.customBackgroundURL = *image;
            }
            if (s.automaticZoomsSuppressed) v.automaticZoomsSuppressed = *s.automaticZoomsSuppressed;
            if (s.cropRect) v.cropRect = s.cropRect;
            if (s.showCursorRing) v.showCursorRing = *s.showCursorRing;
            if (s.cursorRingStyle) {
                if (auto ring = cursorRingStyleNamed(*s.cursorRingStyle)) v.cursorRingStyle = *ring;
            }
            if (s.cursorVisualStyle) {
                if (auto style = cursorVisualStyleFromRaw(*s.cursorVisualStyle)) v.cursorVisualStyle = *style;
            }
            if (s.cursorClickAnimationStyle) {
                if (auto style = cursorClickAnimationStyleFromRaw(*s.cursorClickAnimationStyle)) {
                    v.cursorClickAnimationStyle = normalizedClickAnimationStyle(*style);
                }
            }
            if (s.cursorIconSymbol) v.cursorIconSymbol = normalizedCursorIconSymbol(*s.cursorIconSymbol);
            if (s.showAnnotations) v.showAnnotations = *s.showAnnotations;
            if (s.annotations) {
                v.annotations.clear();
                for (const auto& a : *s.annotations) {
                    ClickAnnotation out;
                    out.id = a.id.value_or(Uuid::random());
                    out.time = a.time;
                    out.cx = a.cx;
                    out.cy = a.cy;
                    out.label = a.label;
                    if (a.color) out.color = annotationColorFromRaw(*a.color).value_or(AnnotationColor::accent);
                    out.enabled = a.enabled.value_or(true);
                    if (a.animationStyle) out.animationStyle = cursorClickAnimationStyleFromRaw(*a.animationStyle);
                    out.clickSoundEnabled = a.clickSoundEnabled;
                    v.annotations.push_back(std::move(out));
                }
            }
            if (s.cursorInteractions) {
                v.cursorInteractions.clear();
                for (const auto& i : *s.cursorInteractions) {
                    const auto kind = cursorInteractionKindFromRaw(i.kind);
                    if (!kind) continue;
                    v.cursorInteractions.push_back({i.id.value_or(Uuid::random()), *kind, i.startTime, i.endTime,
                                                    i.startX, i.startY, i.endX, i.endY});
                }
            }
            v.zoomRegions.clear();
            for (const auto& z : s.zooms) {
                ZoomRegion zoom;  // a fresh id: ids of zooms are not stored
                zoom.start = z.start;
                zoom.end = z.end;
                zoom.scale = z.scale;
                zoom.focusX = z.focusX;
                zoom.focusY = z.focusY;
                zoom.followCursor = z.followCursor;
                zoom.easeSpeed = z.easeSpeed.value_or(0.5);
                v.zoomRegions.push_back(zoom);
            }
            v.muteRegions.clear();
            for (const auto& m : s.mutes) {
                MuteRegion mute;
                mute.start = m.start;
                mute.end = m.end;
                v.muteRegions.push_back(mute);
            }
            v.voiceClips.clear();
            for (const auto& c : s.voiceClips) {
                AudioClip clip;
                clip.startTime = c.startTime;
                clip.duration = c.duration;
                clip.url = resolveMedia(c.file, folder);
                clip.sourceStart = c.sourceStart.value_or(0);
                clip.volume = static_cast<float>(c.volume);
                clip.label = c.label;
                clip.script = c.script;
                v.voiceClips.push_back(std::move(clip));
            }
            v.videoOverlays.clear();
            for (const auto& o : s.videoOverlays) {
                VideoOverlayClip overlay;
                overlay.startTime = o.startTime;
                overlay.duration = o.duration;
                overlay.url = resolveMedia(o.file, folder);
                overlay.normalizedFrame = o.normalizedFrame;
                overlay.sourceStart = o.sourceStart.value_or(0);
                overlay.cornerRadius = o.cornerRadius;
                overlay.volume = static_cast<float>(o.volume);
                overlay.label = o.label;
                if (o.mediaKind) {
                    overlay.mediaKind = mediaKindFromRaw(*o.mediaKind).value_or(VideoOverlayClip::MediaKind::video);
                }
                overlay.mirrored = o.mirrored.value_or(false);
                overlay.rotationRadians = o.rotationRadians.value_or(0);
                overlay.sourceCropRect = o.sourceCropRect;
                overlay.borderStyle = o.borderStyle.value_or(BorderStyle::none());
                overlay.lane = static_cast<int>(o.lane.value_or(0));
                overlay.backgroundBlur = o.backgroundBlur.value_or(0);
                overlay.autoFrameFaceCam = o.autoFrameFaceCam.value_or(false);
                v.videoOverlays.push_back(makeVideoOverlayClip(std::move(overlay)));
            }
            if (s.clips) {
                v.clips.clear();
                for (const auto& c : *s.clips) {
                    Clip clip;
                    clip.sourceFile = c.sourceFile;
                    clip.sourceStart = c.sourceStart;
                    clip.sourceEnd = c.sourceEnd;
                    clip.headOffset = c.headOffset.value_or(0);
                    v.clips.push_back(std::move(clip));
                }
            }
            if (s.showCaptions) v.showCaptions = *s.showCaptions;
            if (s.captions) {
                v.captions.clear();
                for (const auto& c : *s.captions) {
                    CaptionSegment segment;
                    segment.start = c.start;
                    segment.end = c.end;
                    segment.text = c.text;
                    v.captions.push_back(std::move(segment));
                }
            }
            if (s.showWindowChrome) v.showWindowChrome = *s.showWindowChrome;
            if (s.chromeStyle) {
                if (auto style = windowChromeStyleFromRaw(*s.chromeStyle)) v.chromeStyle = *style;
            }
            if (s.windowTitle) v.windowTitle = *s.windowTitle;
            if (s.recordingFrame) v.recordingFrame = s.recordingFrame;
            if (s.exportAspect) {
                if (auto aspect = exportAspectRatioFromRaw(*s.exportAspect)) v.exportAspect = *aspect;
            }
            if (s.lastAppliedRemoteUpdatedAt) v.lastAppliedRemoteUpdatedAt = s.lastAppliedRemoteUpdatedAt;
            if (s.zoomReactiveFaceCam) v.zoomReactiveFaceCam = *s.zoomReactiveFaceCam;
            if (s.zoomReactiveFaceCamScale) {
                v.zoomReactiveFaceCamScale = std::clamp(*s.zoomReactiveFaceCamScale, 0.1, 1.0);
            }
            if (s.cursorStyleOverrides) {
                v.cursorStyleOverrides.clear();
                for (const auto& o : *s.cursorStyleOverrides) {
                    const auto style = cursorVisualStyleFromRaw(o.visualStyle);
                    if (!style || !(o.startTime < o.endTime)) continue;
                    auto out = makeCursorStyleOverride(o.startTime, o.endTime, *style, o.iconSymbol.value_or("sparkle"),
                                                       o.ringStyleName);
                    if (o.id) out.id = *o.id;
                    v.cursorStyleOverrides.push_back(std::move(out));
                }
            }
            if (s.cursorMotionBlur) v.cursorMotionBlur = *s.cursorMotionBlur;
            if (s.speedRamps) {
                v.speedRamps.clear();
                for (const auto& r : *s.speedRamps) {
                    if (!(r.start < r.end)) continue;
                    SpeedRamp ramp;
                    ramp.id = r.id.value_or(Uuid::random());
                    ramp.start = r.start;
                    ramp.end = r.end;
                    ramp.speed = std::clamp(r.speed, kMinimumRampSpeed, kMaximumRampSpeed);
                    v.speedRamps.push_back(ramp);
                }
            }
            if (s.cursorClickSounds) v.cursorClickSounds = *s.cursorClickSounds;
            if (s.inset) v.inset = std::clamp(*s.inset, 0.0, 0.5);
            if (s.cornerRadius) v.cornerRadius = std::max(*s.cornerRadius, 0.0);
            if (s.cursorClickSoundVolume) {
                v.cursorClickSoundVolume = static_cast<float>(std::clamp(*s.cursorClickSoundVolume, 0.0, 2.0));
            }
            v.sidecarApplied = true;
        },
        ChangeSource::loading);
}

std::filesystem::path exportSidecarPath(const std::filesystem::path& exportFile) {
    auto path = exportFile;
    path.replace_extension("zant.json");
    return path;
}

void writeExportSidecar(const std::filesystem::path& exportFile, const ProjectSidecar& sidecar) {
    writeFileAtomically(exportSidecarPath(exportFile), encodeProjectSidecarForExport(sidecar));
}

}  // namespace orvane
