#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json_fwd.hpp>

#include "editor/remote_edit_record.h"

namespace orvane {

// Numbers compared "within tolerance" with their neutral value use this.
inline constexpr double kRemoteEditTolerance = 1e-6;

// Reads a remote edit record: snake_case keys as the backend sends them, values of another JSON type
// or unknown style names ignored, list elements read leniently (alternative spellings, defaults) and
// malformed ones dropped. Nothing (and a message in `error`) when `json` is not an object with a
// string "video_id".
std::optional<VideoEditsOut> videoEditsOutFromJson(const nlohmann::json& json, std::string* error = nullptr);

// A record from JSON text, as `orvane edit --apply FILE` reads it; a record without "video_id" edits
// `videoID`. Nothing when the text is not JSON (a number past the double range, nesting deeper than
// any record has), or not a record; `error` then says which, phrased to follow the file's name ("is
// not valid JSON", "is not an edit record: ...").
std::optional<VideoEditsOut> videoEditsOutFromText(std::string_view text, const std::string& videoID,
                                                   std::string* error = nullptr);

}  // namespace orvane
