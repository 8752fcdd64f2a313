#include "model/geometry_json.h"

#include <nlohmann/json.hpp>

namespace orvane {

namespace {

// A two-number array, the building block of both forms.
std::optional<std::pair<double, double>> pairFromJson(const nlohmann::json& json) {
    if (!json.is_array() || json.size() != 2) return std::nullopt;
    if (!json[0].is_number() || !json[1].is_number()) return std::nullopt;
    return std::pair{json[0].get<double>(), json[1].get<double>()};
}

}  // namespace

nlohmann::json rectToJson(const Rect& rect) {
    return nlohmann::json::array({nlohmann::json::array({rect.x, rect.y}),
                                  nlohmann::json::array({rect.width, rect.height})});
}

nlohmann::json sizeToJson(const Size& size) { return nlohmann::json::array({size.width, size.height}); }

std::optional<Rect> rectFromJson(const nlohmann::json& json) {
    if (!json.is_array() || json.size() != 2) return std::nullopt;
    const auto origin = pairFromJson(json[0]);
    const auto size = pairFromJson(json[1]);
    if (!origin || !size) return std::nullopt;
    return Rect{origin->first, origin->second, size->first, size->second};
}

std::optional<Size> sizeFromJson(const nlohmann::json& json) {
    const auto pair = pairFromJson(json);
    if (!pair) return std::nullopt;
    return Size{pair->first, pair->second};
}

}  // namespace orvane
