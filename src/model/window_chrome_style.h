#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace orvane {

// The look of the title bar drawn above the recording. `automatic` has the raw value "auto"
// (a keyword in C++); the others equal their names.
enum class WindowChromeStyle { automatic, light, dark, translucent };

inline constexpr std::array kAllWindowChromeStyles = {WindowChromeStyle::automatic, WindowChromeStyle::light,
                                                      WindowChromeStyle::dark, WindowChromeStyle::translucent};

std::string_view rawValue(WindowChromeStyle style);
std::optional<WindowChromeStyle> windowChromeStyleFromRaw(std::string_view raw);

}  // namespace orvane
