#pragma once

#include <string_view>

namespace orvane {

// Nothing this program writes nests deeper than a few levels; a file nested deeper is not one of
// ours, and deep documents cost memory and stack in every later walk of them.
inline constexpr int kMaximumJsonDepth = 64;

// Parses `text` as `Json` (an nlohmann::json type) without exceptions; a document that is not JSON,
// or nests deeper than `maxDepth`, comes back discarded. `wasTooDeep` tells the two apart for
// readers that name the reason.
template <typename Json>
Json parseJsonWithinDepth(std::string_view text, int maxDepth = kMaximumJsonDepth, bool* wasTooDeep = nullptr) {
    bool tooDeep = false;
    Json parsed = Json::parse(
        text,
        [&](int depth, typename Json::parse_event_t event, Json&) {
            // `depth` counts the containers already open, so the 65th opens at depth 64.
            const bool opens = event == Json::parse_event_t::object_start || event == Json::parse_event_t::array_start;
            if (opens && depth >= maxDepth) tooDeep = true;
            return !tooDeep;
        },
        false);
    if (wasTooDeep) *wasTooDeep = tooDeep;
    if (tooDeep) return Json(Json::value_t::discarded);
    return parsed;
}

}  // namespace orvane
