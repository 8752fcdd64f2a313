#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace orvane {

using SystemTime = std::chrono::system_clock::time_point;

// "2026-12-05T14:33:33Z": whole seconds in UTC, the form recording files are written with.
std::string formatIso8601(SystemTime time);

// Reads "YYYY-MM-DDThh:mm:ss" with optional fractional seconds and a "Z" or "+hh:mm"/"-hh:mm" offset.
std::optional<SystemTime> parseIso8601(std::string_view text);

}  // namespace orvane
