// The numbers `orvane` reads from its arguments: times, scales and megabytes through the option
// parser with the finite-number check every command gets, the render size and the screenshot crop.
// One argument per input, as a shell would pass it (up to the first NUL). A refusal with a usage
// error is normal; a value accepted outside what the option promises is a finding.

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <optional>
#include <string>

#include "cli/number_arguments.h"
#include "fuzz/fuzz_support.h"
#include "model/zoom_region.h"

using namespace orvane;

namespace {

// The value the text spells for one side of a size: optional blanks and sign, then digits (capped,
// since anything past the limit is refused anyway). Nothing when it is not that shape.
std::optional<long long> spelledInteger(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == text.size()) return std::nullopt;
    long long value = 0;
    for (; i < text.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return std::nullopt;
        value = std::min(value * 10 + (text[i] - '0'), 1'000'000'000LL);
    }
    return negative ? -value : value;
}

void checkFrameSize(const std::string& text) {
    std::pair<int, int> size;
    try {
        size = cli::parseFrameSize(text);
    } catch (const CLI::ValidationError&) {
        return;
    }
    const auto separator = text.find_first_of("xX", text.find_first_of("0123456789"));
    fuzz::require(separator != std::string::npos, "a size without a separator was accepted");
    const auto width = spelledInteger(std::string_view(text).substr(0, separator));
    const auto height = spelledInteger(std::string_view(text).substr(separator + 1));
    fuzz::require(width && *width == size.first, "an accepted size reads as another width than it spells");
    fuzz::require(height && *height == size.second, "an accepted size reads as another height than it spells");
}

void checkCrop(const std::string& text) {
    const auto crop = cli::parseCropRect(text);
    if (!crop) return;
    fuzz::require(
        std::isfinite(crop->x) && std::isfinite(crop->y) && std::isfinite(crop->width) && std::isfinite(crop->height),
        "a crop with a non-finite number was accepted");
}

// Options declared the way the commands declare theirs.
void checkOptions(const std::string& text) {
    CLI::App app("orvane");
    double at = 0;
    std::optional<double> scale;
    double targetMegabytes = 0;
    int width = 0;
    auto* edit = app.add_subcommand("edit");
    edit->add_option("--at", at);
    edit->add_option("--scale", scale)->check(CLI::Range(1.0, kMaximumZoomScale));
    auto* exportCommand = app.add_subcommand("export");
    exportCommand->add_option("--target-mb", targetMegabytes)->check(CLI::Range(0.001, 1'000'000.0));
    auto* backgrounds = app.add_subcommand("backgrounds");
    backgrounds->add_option("--width", width)->check(CLI::Range(16, 8192));
    cli::refuseNonFiniteNumbers(app);

    const auto parse = [&](std::initializer_list<std::string> arguments) {
        std::vector<std::string> reversed(arguments.begin(), arguments.end());
        std::reverse(reversed.begin(), reversed.end());
        try {
            app.parse(reversed);
            return true;
        } catch (const CLI::ParseError&) {
            return false;
        }
    };
    if (parse({"edit", "--at", text})) fuzz::require(std::isfinite(at), "a non-finite time was accepted");
    app.clear();
    if (parse({"edit", "--at", "0", "--scale", text})) {
        fuzz::require(scale && *scale >= 1.0 && *scale <= kMaximumZoomScale, "a scale out of range was accepted");
    }
    app.clear();
    if (parse({"export", "--target-mb", text})) {
        fuzz::require(targetMegabytes >= 0.001 && targetMegabytes <= 1'000'000.0,
                      "a size target out of range was accepted");
    }
    app.clear();
    if (parse({"backgrounds", "--width", text}))
        fuzz::require(width >= 16 && width <= 8192, "a width out of range was accepted");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto view = fuzz::text(data, size);
    const std::string text(view.substr(0, view.find('\0')));
    checkFrameSize(text);
    checkCrop(text);
    checkOptions(text);
    return 0;
}
