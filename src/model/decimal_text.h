#pragma once

#include <string>

namespace orvane {

// The shortest decimal text that reads back as exactly `value` ("0.1", "5", "1e-06"), so logged
// numbers can be pasted back without losing a bit.
std::string shortestDecimal(double value);

}  // namespace orvane
