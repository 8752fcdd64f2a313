#pragma once

// JSON forms of the timeline values that are encoded directly (the keys are the field names), and
// the loose readers for values received as free-form JSON from remote edits and agent plans.
// Strict decoders require every non-optional key and answer nothing otherwise; when `error` is
// given it receives a message naming the record and the offending key.

#include <optional>
#include <string>

#include <nlohmann/json_fwd.hpp>

#include "model/click_annotation.h"
#include "model/clip.h"
#include "model/cursor_interaction.h"
#include "model/cursor_style.h"
#include "model/cut_and_mute_regions.h"
#include "base/geometry.h"
#include "model/speed_ramp.h"
#include "model/video_overlay_clip.h"
#include "model/zoom_region.h"

namespace orvane {

// {"id", "sourceFile", "sourceStart", "sourceEnd", "headOffset"}, all required.
nlohmann::json toJson(const Clip& clip);
std::optional<Clip> clipFromJson(const nlohmann::json& json, std::string* error = nullptr);

// {"id", "start", "end", "speed"}, all required. The speed is kept as stored (no floor, no clamp).
nlohmann::json toJson(const SpeedRamp& ramp);
std::optional<SpeedRamp> speedRampFromJson(const nlohmann::json& json, std::string* error = nullptr);

// {"id", "startTime", "endTime", "visualStyle", "iconSymbol", "ringStyleName"}; the last is optional
// and left out when absent. Decoding keeps the stored icon symbol as it is.
nlohmann::json toJson(const CursorStyleOverride& override);
std::optional<CursorStyleOverride> cursorStyleOverrideFromJson(const nlohmann::json& json,
                                                               std::string* error = nullptr);

// An object with exactly one key, the case name, holding an empty object, or for `colored` an
// object with "red", "green", "blue" and "alpha": {"thinWhite": {}}, {"colored": {"red": 1, ...}}.
nlohmann::json toJson(const BorderStyle& style);
std::optional<BorderStyle> borderStyleFromJson(const nlohmann::json& json, std::string* error = nullptr);

// A zoom from a free-form object: "start", "end" and "scale" are required numbers; the focus comes
// from "x" or "focusX" and "y" or "focusY" (0.5 each), "follow_cursor" or "followCursor" (false),
// "ease_speed" or "easeSpeed" (0.5). The snake-case spelling wins when both are present. Anything
// without the required numbers yields nothing. The zoom gets a fresh id.
std::optional<ZoomRegion> zoomRegionFromLooseJson(const nlohmann::json& json);

// A ramp from a free-form object: "start", "end" and "speed" are required numbers, start < end,
// and the speed is clamped to 0.1...8. The ramp gets a fresh id.
std::optional<SpeedRamp> speedRampFromLooseJson(const nlohmann::json& json);

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
