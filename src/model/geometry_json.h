#pragma once

#include <optional>

#include <nlohmann/json_fwd.hpp>

#include "base/geometry.h"

namespace orvane {

// The shared JSON forms of the geometry values, used by meta.json and composition.json alike:
// a rectangle is [[x, y], [width, height]] and a size is [width, height].
nlohmann::json rectToJson(const Rect& rect);
nlohmann::json sizeToJson(const Size& size);

// Nothing unless the value has exactly that shape with numbers in every place.
std::optional<Rect> rectFromJson(const nlohmann::json& json);
std::optional<Size> sizeFromJson(const nlohmann::json& json);

}  // namespace orvane
