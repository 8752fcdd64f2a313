#pragma once

#include <string>
#include <system_error>

namespace orvane {

// errno values as users read them: a full disk says "the disk is full" instead of the C library's
// wording. Codes of this category compare equal to the generic ones (std::errc), so callers test
// them as before.
const std::error_category& fileErrorCategory();

// The reason a file operation failed, in the same words, for a code of any category.
std::string fileErrorText(const std::error_code& code);

}  // namespace orvane
