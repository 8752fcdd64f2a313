#include "cli/number_arguments.h"

#include <CLI/CLI.hpp>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <system_error>

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

namespace {

// A whole decimal number, the whole of `text`; a value past int is refused rather than wrapped.
std::optional<int> pixelCount(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

std::pair<int, int> parseFrameSize(const std::string& text) {
    const auto separator = text.find_first_of("xX");
    const auto width = pixelCount(std::string_view(text).substr(0, separator));
    const auto height =
        separator == std::string::npos ? std::nullopt : pixelCount(std::string_view(text).substr(separator + 1));
    if (!width || !height || *width < 16 || *height < 16 || *width > 8192 || *height > 8192) {
        throw CLI::ValidationError("--size takes WIDTHxHEIGHT between 16 and 8192, got \"" + text + "\"");
    }
    return {*width, *height};
}

std::optional<Rect> parseCropRect(const std::string& text) {
    double values[4];
    char tail = 0;
    if (std::sscanf(text.c_str(), "%lf,%lf,%lf,%lf%c", &values[0], &values[1], &values[2], &values[3], &tail) != 4) {
        return std::nullopt;
    }
    // "nan" and "1e999" read as numbers but name no pixel; like every other number argument, refused.
    for (const double value : values) {
        if (!std::isfinite(value)) return std::nullopt;
    }
    return Rect{values[0], values[1], values[2], values[3]};
}

}  // namespace orvane::cli
