#pragma once

// The number arguments the `orvane` commands read themselves, apart from the commands so they can be
// tested and fuzzed without a library or a display.

#include <optional>
#include <string>
#include <utility>

#include "base/geometry.h"

namespace CLI {
class App;
}

namespace orvane::cli {

// "nan" and "inf" read as numbers, and no time, scale, size or volume is served by them: every
// floating-point option of `app` and its subcommands refuses them before a command runs, so none
// reaches a saved edit. Call once every option is declared.
void refuseNonFiniteNumbers(CLI::App& app);

// The render size "WIDTHxHEIGHT" (or "X"), each side decimal digits within 16...8192 pixels. Throws
// CLI::ValidationError naming --size otherwise.
std::pair<int, int> parseFrameSize(const std::string& text);

// The screenshot crop "X,Y,W,H" in pixels of the saved picture; nothing when the text is not four
// finite numbers separated by commas.
std::optional<Rect> parseCropRect(const std::string& text);

}  // namespace orvane::cli
