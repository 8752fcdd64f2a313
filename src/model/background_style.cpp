#include "model/background_style.h"

#include "model/raw_value_table.h"

namespace orvane {

namespace {

constexpr detail::RawValueTable<BackgroundStyle, 15> kRawValues = {{
    {BackgroundStyle::none, "none"},
    {BackgroundStyle::bone, "bone"},
    {BackgroundStyle::chalk, "chalk"},
    {BackgroundStyle::obsidian, "obsidian"},
    {BackgroundStyle::sequoiaOrange, "sequoiaOrange"},
    {BackgroundStyle::sequoiaTeal, "sequoiaTeal"},
    {BackgroundStyle::sonomaPurple, "sonomaPurple"},
    {BackgroundStyle::sonomaGreen, "sonomaGreen"},
    {BackgroundStyle::venturaBlue, "venturaBlue"},
    {BackgroundStyle::venturaRed, "venturaRed"},
    {BackgroundStyle::montereyPurple, "montereyPurple"},
    {BackgroundStyle::bigSurOrange, "bigSurOrange"},
    {BackgroundStyle::win11Blue, "win11Blue"},
    {BackgroundStyle::win11Purple, "win11Purple"},
    {BackgroundStyle::customImage, "custom"},
}};

}  // namespace

std::string_view rawValue(BackgroundStyle style) { return detail::rawValueIn(kRawValues, style); }

std::optional<BackgroundStyle> backgroundStyleFromRaw(std::string_view raw) {
    return detail::valueFromRawIn(kRawValues, raw);
}

}  // namespace orvane
