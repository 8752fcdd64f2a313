#pragma once

#include <string>
#include <string_view>

namespace orvane {

// Trims spaces, tabs, newlines and the other Unicode white space a user can paste into a title field.
std::string trimWhitespaceAndNewlines(std::string_view text);

std::string toLowerAscii(std::string_view text);

}  // namespace orvane
