#include "render/cache/cache_payload.h"

#include <nlohmann/json.hpp>

#include "model/decimal_text.h"
#include "render/cache/sha256.h"

namespace orvane {

namespace {

using nlohmann::json;

json rectPayload(const Rect& rect) {
    return {{"x", rect.x}, {"y", rect.y}, {"width", rect.width}, {"height", rect.height}};
}

json borderStylePayload(const BorderStyle& style) {
    json body = json::object();
    if (const auto color = style.color()) {
        body = {{"red", color->red}, {"green", color->green}, {"blue", color->blue}, {"alpha", color->alpha}};
    }
    return {{std::string(caseName(style.kind())), body}};
}

void putOptionalRect(json& object, const char* key, const std::optional<Rect>& rect) {
    if (rect) object[key] = rectPayload(*rect);
}

json clipsPayload(const std::vector<Clip>& clips, PayloadFlavour flavour) {
    json list = json::array();
    for (const Clip& clip : clips) {
        json item = {{"sourceFile", clip.sourceFile}, {"sourceStart", clip.sourceStart}, {"sourceEnd", clip.sourceEnd}};
        // Export payloads carry the head offset through the clip's file role instead.
        if (flavour == PayloadFlavour::segment) item["headOffset"] = clip.headOffset;
        list.push_back(std::move(item));
    }
    return list;
}

json zoomsPayload(const std::vector<ZoomRegion>& zooms) {
    json list = json::array();
    for (const ZoomRegion& zoom : zooms) {
        // easeSpeed sets the ramps the camera takes in and out, so it changes frames too.
        list.push_back({{"start", zoom.start},
                        {"end", zoom.end},
                        {"scale", zoom.scale},
                        {"focusX", zoom.focusX},
                        {"focusY", zoom.focusY},
                        {"followCursor", zoom.followCursor},
                        {"easeSpeed", zoom.easeSpeed}});
    }
    return list;
}

json annotationsPayload(const std::vector<ClickAnnotation>& annotations) {
    json list = json::array();
    for (const ClickAnnotation& annotation : annotations) {
        json item = {{"time", annotation.time},
                     {"cx", annotation.cx},
                     {"cy", annotation.cy},
                     {"label", annotation.label},
                     {"color", std::string(rawValue(annotation.color))},
                     {"enabled", annotation.enabled}};
        // A per-click animation replaces the project's, so it is part of what is drawn.
        if (annotation.animationStyle) item["animationStyle"] = std::string(rawValue(*annotation.animationStyle));
        list.push_back(std::move(item));
    }
    return list;
}

json overlaysPayload(const std::vector<VideoOverlayClip>& overlays, PayloadFlavour flavour) {
    json list = json::array();
    for (const VideoOverlayClip& overlay : overlays) {
        json item = {{"startTime", overlay.startTime},
                     {"sourceStart", overlay.sourceStart},
                     {"duration", overlay.duration},
                     {"path", overlay.url.string()},
                     {"normalizedFrame", rectPayload(overlay.normalizedFrame)},
                     {"cornerRadius", overlay.cornerRadius},
                     {"mediaKind", std::string(rawValue(overlay.mediaKind))},
                     {"mirrored", overlay.mirrored},
                     {"rotationRadians", overlay.rotationRadians},
                     {"borderStyle", borderStylePayload(overlay.borderStyle)},
                     {"backgroundBlur", overlay.backgroundBlur},
                     {"autoFrameFaceCam", overlay.autoFrameFaceCam}};
        putOptionalRect(item, "sourceCropRect", overlay.sourceCropRect);
        if (flavour == PayloadFlavour::exportFile) item["volume"] = overlay.volume;
        list.push_back(std::move(item));
    }
    return list;
}

json cursorSamplesPayload(const std::vector<CursorSample>& samples) {
    json list = json::array();
    for (const CursorSample& sample : samples) list.push_back({{"t", sample.t}, {"x", sample.x}, {"y", sample.y}});
    return list;
}

json cameraSamplesPayload(const std::vector<CameraSample>& samples) {
    json list = json::array();
    for (const CameraSample& sample : samples) {
        list.push_back({{"t", sample.t}, {"scale", sample.scale}, {"focusX", sample.focusX}, {"focusY", sample.focusY}});
    }
    return list;
}

json interactionsPayload(const std::vector<CursorInteraction>& interactions) {
    json list = json::array();
    for (const CursorInteraction& gesture : interactions) {
        list.push_back({{"kind", std::string(rawValue(gesture.kind))},
                        {"startTime", gesture.startTime},
                        {"endTime", gesture.endTime},
                        {"startX", gesture.startX},
                        {"startY", gesture.startY},
                        {"endX", gesture.endX},
                        {"endY", gesture.endY}});
    }
    return list;
}

json captionsPayload(const std::vector<CaptionSegment>& captions) {
    json list = json::array();
    for (const CaptionSegment& caption : captions) {
        list.push_back({{"start", caption.start}, {"end", caption.end}, {"text", caption.text}});
    }
    return list;
}

json overridesPayload(const std::vector<CursorStyleOverride>& overrides) {
    json list = json::array();
    for (const CursorStyleOverride& o : overrides) {
        json item = {{"startTime", o.startTime},
                     {"endTime", o.endTime},
                     {"visualStyle", std::string(rawValue(o.visualStyle))},
                     {"iconSymbol", o.iconSymbol}};
        if (o.ringStyleName) item["ringStyleName"] = *o.ringStyleName;
        list.push_back(std::move(item));
    }
    return list;
}

json rampsPayload(const std::vector<SpeedRamp>& ramps) {
    json list = json::array();
    for (const SpeedRamp& ramp : ramps) list.push_back({{"start", ramp.start}, {"end", ramp.end}, {"speed", ramp.speed}});
    return list;
}

// The fields that only change the sound or the export's extent.
void putAudioFields(const SceneRenderSnapshot& s, json& object) {
    object["clipBaseDirectory"] = s.clipBaseDirectory.string();
    object["trimStart"] = s.trimStart;
    object["trimEnd"] = s.trimEnd;
    if (s.cursorTrackURL) object["cursorTrackPath"] = s.cursorTrackURL->string();
    object["originalAudioVolume"] = s.originalAudioVolume;
    json mutes = json::array();
    for (const MuteRegion& mute : s.muteRegions) mutes.push_back({{"start", mute.start}, {"end", mute.end}});
    object["mutes"] = std::move(mutes);
    json voices = json::array();
    for (const AudioClip& clip : s.voiceClips) {
        voices.push_back({{"startTime", clip.startTime},
                          {"sourceStart", clip.sourceStart},
                          {"duration", clip.duration},
                          {"path", clip.url.string()},
                          {"volume", clip.volume}});
    }
    object["voiceClips"] = std::move(voices);
    if (s.aiVoiceoverURL) object["aiVoiceoverPath"] = s.aiVoiceoverURL->string();
    if (s.backgroundMusicURL) object["backgroundMusicPath"] = s.backgroundMusicURL->string();
    object["backgroundMusicVolume"] = s.backgroundMusicVolume;
    object["cursorClickSounds"] = s.cursorClickSounds;
    object["cursorClickSoundVolume"] = s.cursorClickSoundVolume;
}

std::string decimalTimes(std::initializer_list<double> times) {
    std::string text;
    for (const double t : times) {
        text += ':';
        text += shortestDecimal(t);
    }
    return text;
}

}  // namespace

json profilePayload(const OutputProfile& profile) {
    return {{"width", profile.width},
            {"height", profile.height},
            {"fps", profile.fps},
            {"bitrate", profile.bitrate},
            {"quality", std::string(rawValue(profile.quality))}};
}

json snapshotPayload(const SceneRenderSnapshot& s, PayloadFlavour flavour) {
    json object = json::object();
    object["videoPath"] = s.videoURL.string();
    object["clips"] = clipsPayload(s.clips, flavour);
    object["background"] = std::string(rawValue(s.background));
    if (s.customBackgroundURL) object["customBackgroundPath"] = s.customBackgroundURL->string();
    object["inset"] = s.inset;
    object["cornerRadius"] = s.cornerRadius;
    putOptionalRect(object, "recordingFrame", s.recordingFrame);
    object["showWindowChrome"] = s.showWindowChrome;
    object["chromeStyle"] = std::string(rawValue(s.chromeStyle));
    object["windowTitle"] = s.windowTitle;
    object["videoSize"] = {{"width", s.videoSize.width}, {"height", s.videoSize.height}};
    object["zooms"] = zoomsPayload(s.zoomRegions);
    object["automaticZoomsSuppressed"] = s.automaticZoomsSuppressed;
    object["annotations"] = annotationsPayload(s.annotations);
    object["showAnnotations"] = s.showAnnotations;
    object["cursorSamples"] = cursorSamplesPayload(s.cursorSamples);
    object["showCursorRing"] = s.showCursorRing;
    object["drawsSyntheticCursor"] = s.drawsSyntheticCursor;
    if (s.cursorRingStyleName) object["cursorRingStyleName"] = *s.cursorRingStyleName;
    object["cursorRingColor"] = {{"red", s.cursorRingColor.red},
                                 {"green", s.cursorRingColor.green},
                                 {"blue", s.cursorRingColor.blue},
                                 {"alpha", s.cursorRingColor.alpha}};
    object["cursorRingSize"] = s.cursorRingSize;
    object["cursorVisualStyle"] = std::string(rawValue(s.cursorVisualStyle));
    object["cursorClickAnimationStyle"] = std::string(rawValue(s.cursorClickAnimationStyle));
    object["cursorIconSymbol"] = s.cursorIconSymbol;
    object["cursorInteractions"] = interactionsPayload(s.cursorInteractions);
    object["cameraSamples"] = cameraSamplesPayload(s.cameraSamples);
    object["videoOverlays"] = overlaysPayload(s.videoOverlays, flavour);
    object["captions"] = captionsPayload(s.captions);
    object["showCaptions"] = s.showCaptions;
    putOptionalRect(object, "cropRect", s.cropRect);
    object["zoomReactiveFaceCam"] = s.zoomReactiveFaceCam;
    object["zoomReactiveFaceCamScale"] = s.zoomReactiveFaceCamScale;
    object["cursorStyleOverrides"] = overridesPayload(s.cursorStyleOverrides);
    object["cursorMotionBlur"] = s.cursorMotionBlur;
    object["speedRamps"] = rampsPayload(s.speedRamps);
    if (flavour == PayloadFlavour::exportFile) putAudioFields(s, object);
    return object;
}

std::vector<FileReference> inputFileReferences(const SceneRenderSnapshot& s, PayloadFlavour flavour,
                                               FileHashIndex& index) {
    std::vector<FileReference> files;
    const auto add = [&](std::string role, const std::filesystem::path& path) {
        if (path.empty()) return;
        if (auto reference = index.reference(std::move(role), path)) files.push_back(std::move(*reference));
    };
    add("source", s.videoURL);
    for (const Clip& clip : s.clips) {
        add("clip:" + clip.sourceFile + decimalTimes({clip.sourceStart, clip.sourceEnd, clip.headOffset}),
            s.clipBaseDirectory / clip.sourceFile);
    }
    for (const VideoOverlayClip& overlay : s.videoOverlays) {
        add("overlay" + decimalTimes({overlay.startTime, overlay.duration}) + ":" +
                std::string(rawValue(overlay.mediaKind)),
            overlay.url);
    }
    if (s.customBackgroundURL) add("customBackground", *s.customBackgroundURL);
    if (flavour == PayloadFlavour::exportFile) {
        if (s.cursorTrackURL) add("cursor", *s.cursorTrackURL);
        for (const AudioClip& clip : s.voiceClips) add("voice" + decimalTimes({clip.startTime, clip.duration}), clip.url);
        if (s.aiVoiceoverURL) add("aiVoiceover", *s.aiVoiceoverURL);
        if (s.backgroundMusicURL) add("backgroundMusic", *s.backgroundMusicURL);
    }
    return files;
}

json filesPayload(const std::vector<FileReference>& files) {
    json list = json::array();
    for (const FileReference& file : files) {
        list.push_back({{"role", file.role}, {"path", file.path}, {"size", file.size}, {"sha256", file.sha256}});
    }
    return list;
}

std::string payloadKey(const json& payload) { return sha256Hex(payload.dump()); }

}  // namespace orvane
