#include "editor/remote_edit_json.h"

#include <cmath>

#include "base/json_depth.h"
#include "model/edit_json.h"

namespace orvane {

namespace {

using namespace edit_json;

// The value under `key`; absent and JSON null answer nullptr.
const Json* member(const Json& object, std::string_view key) {
    const auto found = object.find(key);
    if (found == object.end() || found->is_null()) return nullptr;
    return &*found;
}

bool isNeutral(const Json& value, const RemoteNeutral& neutral) {
    switch (neutral.kind) {
        case RemoteNeutral::Kind::none: return false;
        case RemoteNeutral::Kind::boolean: return value.is_boolean() && value.get<bool>() == neutral.boolean;
        case RemoteNeutral::Kind::text: return value.is_string() && value.get<std::string>() == neutral.text;
        case RemoteNeutral::Kind::number:
            if (!value.is_number()) return false;
            if (neutral.withinTolerance) return std::fabs(value.get<double>() - neutral.number) <= kRemoteEditTolerance;
            return value.get<double>() == neutral.number;
    }
    return false;
}

std::optional<std::string> rawJson(const Json& object, std::string_view key) {
    const Json* value = member(object, key);
    if (!value) return std::nullopt;
    return value->dump();
}

}  // namespace

std::optional<VideoEditsOut> videoEditsOutFromJson(const Json& object, std::string* error) {
    if (!object.is_object()) {
        if (error) *error = "VideoEditsOut: expected an object";
        return std::nullopt;
    }
    const Json* videoID = member(object, "video_id");
    if (!videoID || !videoID->is_string()) {
        if (error) *error = "VideoEditsOut: \"video_id\" is missing or not a string";
        return std::nullopt;
    }
    VideoEditsOut edits;
    edits.videoID = videoID->get<std::string>();
    if (const Json* updated = member(object, "updated_at"); updated && updated->is_string()) {
        edits.updatedAt = updated->get<std::string>();
    }
    if (const Json* names = member(object, "set_fields"); names && names->is_array()) {
        std::set<std::string> fields;
        for (const auto& name : *names) {
            if (name.is_string()) fields.insert(name.get<std::string>());
        }
        edits.setFields = std::move(fields);
    }
    const auto named = [&](std::string_view key) {
        return edits.setFields && edits.setFields->count(std::string(key));
    };

    forEachEditField(
        [&](const auto& field, auto& group) {
            const auto& traits = field.traits;
            if (traits.remoteKey.empty()) return;
            const Json* value = member(object, traits.remoteKey);
            if (!value) return;
            auto decoded = field.of(group);
            if (readRemoteValue(*value, decoded) != Read::ok) return;
            const bool list = value->is_array();
            const bool applies =
                named(traits.remoteKey) || (list ? !value->empty() : !isNeutral(*value, traits.neutral));
            if (!applies) return;
            clampNumber(decoded, traits);
            field.of(group) = std::move(decoded);
            edits.applies.insert(std::string(traits.remoteKey));
        },
        edits.values);

    edits.clipsJson = rawJson(object, "clips");
    edits.voiceClipsJson = rawJson(object, "voice_clips");
    edits.videoOverlaysJson = rawJson(object, "video_overlays");
    return edits;
}

std::optional<VideoEditsOut> videoEditsOutFromText(std::string_view text, const std::string& videoID,
                                                   std::string* error) {
    // Without exceptions: the parser reports a number it cannot hold as out of range, not as a parse error.
    Json json = parseJsonWithinDepth<Json>(text);
    if (json.is_discarded()) {
        if (error) *error = "is not valid JSON";
        return std::nullopt;
    }
    if (json.is_object() && !json.contains("video_id")) json["video_id"] = videoID;
    std::string problem;
    auto edits = videoEditsOutFromJson(json, &problem);
    if (!edits && error) *error = "is not an edit record: " + problem;
    return edits;
}

}  // namespace orvane
