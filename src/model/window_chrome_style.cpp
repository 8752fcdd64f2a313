#include "model/window_chrome_style.h"

#include "model/raw_value_table.h"

namespace orvane {

namespace {

constexpr detail::RawValueTable<WindowChromeStyle, 4> kRawValues = {{
    {WindowChromeStyle::automatic, "auto"},
    {WindowChromeStyle::light, "light"},
    {WindowChromeStyle::dark, "dark"},
    {WindowChromeStyle::translucent, "translucent"},
}};

}  // namespace

std::string_view rawValue(WindowChromeStyle style) { return detail::rawValueIn(kRawValues, style); }

std::optional<WindowChromeStyle> windowChromeStyleFromRaw(std::string_view raw) {
    return detail::valueFromRawIn(kRawValues, raw);
}

}  // namespace orvane
