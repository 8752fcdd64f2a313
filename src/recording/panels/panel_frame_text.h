#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/geometry.h"

namespace orvane {

// Panel frames are stored as text "{{x, y}, {width, height}}", the form earlier releases wrote, so a
// frame saved by one version restores in the next. Parsing accepts any spacing and answers nothing
// for text that is not four finite numbers in that shape.
std::string panelFrameText(const Rect& frame);
std::optional<Rect> parsePanelFrameText(std::string_view text);

}  // namespace orvane
