#pragma once

namespace orvane {

// The bracketed tag of every media log line.
inline constexpr const char* kMediaLogArea = "Orvane.Media";

}  // namespace orvane
