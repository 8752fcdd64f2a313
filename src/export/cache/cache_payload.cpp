#include "export/cache/cache_payload.h"

#include <nlohmann/json.hpp>

#include "export/cache/sha256.h"
#include "model/decimal_text.h"
#include "model/edit_json.h"

namespace orvane {

namespace {

using nlohmann::json;

std::string decimalTimes(std::initializer_list<double> times) {
    std::string text;
    for (const double t : times) {
        text += ':';
        text += shortestDecimal(t);
    }
    return text;
}

json cursorSamplesPayload(const std::vector<CursorSample>& samples) {
    json list = json::array();
    for (const CursorSample& sample : samples) list.push_back({{"t", sample.t}, {"x", sample.x}, {"y", sample.y}});
    return list;
}

json cameraSamplesPayload(const std::vector<CameraSample>& samples) {
    json list = json::array();
    for (const CameraSample& sample : samples) {
        list.push_back(
            {{"t", sample.t}, {"scale", sample.scale}, {"focusX", sample.focusX}, {"focusY", sample.focusY}});
    }
    return list;
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
    // Every field of the edit that changes what this kind of entry holds; see model/edit_fields.h.
    json object = json::object();
    forEachEditField(
        [&](const auto& field, const auto& group) {
            const Output output = field.traits.output;
            const bool counts =
                output == Output::frames || (output == Output::exportFile && flavour == PayloadFlavour::exportFile);
            if (!counts) return;
            const auto& value = field.of(group);
            if (!edit_json::isPresent(value)) return;
            object[std::string(field.traits.key)] = edit_json::payloadValue(value);
        },
        s.edit);
    object["videoPath"] = s.videoPath.string();
    object["cursorSamples"] = cursorSamplesPayload(s.cursorSamples);
    object["cameraSamples"] = cameraSamplesPayload(s.cameraSamples);
    if (flavour == PayloadFlavour::exportFile) {
        object["clipBaseDirectory"] = s.clipBaseDirectory.string();
        if (s.aiVoiceoverPath) object["aiVoiceoverPath"] = s.aiVoiceoverPath->string();
    }
    return object;
}

std::vector<FileReference> inputFileReferences(const SceneRenderSnapshot& s, PayloadFlavour flavour,
                                               FileHashIndex& index) {
    std::vector<FileReference> files;
    const auto add = [&](std::string role, const std::filesystem::path& path) {
        if (path.empty()) return;
        if (auto reference = index.reference(std::move(role), path)) files.push_back(std::move(*reference));
    };
    add("source", s.videoPath);
    for (const Clip& clip : s.edit.timeline.clips) {
        add("clip:" + clip.sourceFile + decimalTimes({clip.sourceStart, clip.sourceEnd, clip.headOffset}),
            s.clipBaseDirectory / clip.sourceFile);
    }
    for (const VideoOverlayClip& overlay : s.edit.overlays.videoOverlays) {
        add("overlay" + decimalTimes({overlay.startTime, overlay.duration}) + ":" +
                std::string(rawValue(overlay.mediaKind)),
            overlay.path);
    }
    if (s.edit.frame.customBackgroundPath) add("customBackground", *s.edit.frame.customBackgroundPath);
    if (flavour == PayloadFlavour::exportFile) {
        if (s.edit.cursor.cursorTrackPath) add("cursor", *s.edit.cursor.cursorTrackPath);
        for (const AudioClip& clip : s.edit.audio.voiceClips)
            add("voice" + decimalTimes({clip.startTime, clip.duration}), clip.path);
        if (s.aiVoiceoverPath) add("aiVoiceover", *s.aiVoiceoverPath);
        if (s.edit.audio.backgroundMusicPath) add("backgroundMusic", *s.edit.audio.backgroundMusicPath);
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
