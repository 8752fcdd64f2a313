#include "cli/number_arguments.h"

#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace orvane::cli {

void refuseNonFiniteNumbers(CLI::App& app) {
    for (CLI::Option* option : app.get_options()) {
        // The type name carries the option's own checks after a colon (FLOAT:FLOAT in [1 - 10]).
        if (option->get_type_name().rfind("FLOAT", 0) != 0) continue;
        option->check(CLI::Validator(
            [](std::string& text) -> std::string {
                if (text.find_first_not_of(" \t") == std::string::npos) return "must be a number";
                char* end = nullptr;
                const double value = std::strtod(text.c_str(), &end);
                if (end != text.c_str() && !std::isfinite(value)) return "must be a finite number, not " + text;
                return {};
            },
            ""));
    }
    for (CLI::App* command : app.get_subcommands([](CLI::App*) { return true; })) refuseNonFiniteNumbers(*command);
}

std::pair<int, int> parseFrameSize(const std::string& text) {
    int width = 0, height = 0;
    char separator = 0;
    int consumed = 0;
    // %n: the whole text must be the size, so "640x360x2" is refused rather than read as 640x360.
    if (std::sscanf(text.c_str(), "%d%c%d%n", &width, &separator, &height, &consumed) != 3 ||
        static_cast<std::size_t>(consumed) != text.size() || (separator != 'x' && separator != 'X') || width < 16 ||
        height < 16 || width > 8192 || height > 8192) {
        throw CLI::ValidationError("--size takes WIDTHxHEIGHT between 16 and 8192, got \"" + text + "\"");
    }
    return {width, height};
}

std::optional<Rect> parseCropRect(const std::string& text) {
    double values[4];
    char tail = 0;
    if (std::sscanf(text.c_str(), "%lf,%lf,%lf,%lf%c", &values[0], &values[1], &values[2], &values[3], &tail) != 4) {
        return std::nullopt;
    }
    return Rect{values[0], values[1], values[2], values[3]};
}

}  // namespace orvane::cli
