#include "model/decimal_text.h"

#include <charconv>

namespace orvane {

std::string shortestDecimal(double value) {
    char buffer[32];  // the longest shortest form of a double is 24 characters
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

}  // namespace orvane
