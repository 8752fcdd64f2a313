#pragma once

#include <string_view>

namespace orvane {

// Names the calling thread for debuggers, `top -H` and crash reports; Linux keeps the first 15
// characters.
void setCurrentThreadName(std::string_view name);

}  // namespace orvane
