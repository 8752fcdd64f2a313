#pragma once

// Loose readers of remote edit records: snake_case keys as the backend sends them, elements of the
// lists read leniently (alternative spellings, defaults), malformed elements dropped. Every decoded
// element gets a fresh id unless its reader says otherwise.

#include <optional>
#include <string>

#include <nlohmann/json_fwd.hpp>

#include "editor/remote_edit_record.h"

namespace orvane {

// Nothing (and a message in `error`) when `json` is not an object with a string "video_id".
std::optional<VideoEditsOut> videoEditsOutFromJson(const nlohmann::json& json, std::string* error = nullptr);

// {"start", "end"}, both numbers.
std::optional<MuteRegion> muteRegionFromLooseJson(const nlohmann::json& json);

// {"time", "cx", "cy"} numbers; "id" is kept when it is a UUID string; "label" (empty), "color" (an
// annotation colour, else "accent"), "enabled" (true). No per-click animation or sound.
std::optional<ClickAnnotation> clickAnnotationFromLooseJson(const nlohmann::json& json);

// "kind" (an interaction kind), times from "start_time"/"startTime" and "end_time"/"endTime",
// points from "start_x"/"startX", "start_y"/"startY", "end_x"/"endX", "end_y"/"endY", all required;
// "id" as for annotations. The snake_case spelling wins when both are present.
std::optional<CursorInteraction> cursorInteractionFromLooseJson(const nlohmann::json& json);

// The override's own JSON form (keys "id", "startTime", "endTime", "visualStyle", "iconSymbol",
// optional "ringStyleName"), with a fresh id and the icon symbol normalised.
std::optional<CursorStyleOverride> cursorStyleOverrideFromRemoteJson(const nlohmann::json& json);

// A rectangle from {"x", "y", "width", "height"}, all numbers.
std::optional<Rect> rectFromLooseJson(const nlohmann::json& json);

}  // namespace orvane
