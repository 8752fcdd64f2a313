#pragma once

#include <string_view>

namespace orvane {

// Nothing this program writes nests deeper than a few levels; a file nested deeper is not one of
// ours, and deep documents cost memory and stack in every later walk of them.
inline constexpr int kMaximumJsonDepth = 64;

// Parses `text` as `Json` (an nlohmann::json type) without exceptions; a document that is not JSON,
// or nests deeper than `maxDepth`, comes back discarded.
template <typename Json>
Json parseJsonWithinDepth(std::string_view text, int maxDepth = kMaximumJsonDepth) {
    bool tooDeep = false;
    Json parsed = Json::parse(
        text,
        [&](int depth, typename Json::parse_event_t, Json&) {
            if (depth > maxDepth) tooDeep = true;
            return !tooDeep;
        },
        false);
    if (tooDeep) return Json(Json::value_t::discarded);
    return parsed;
}

}  // namespace orvane
