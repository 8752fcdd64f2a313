#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace orvane {

// The desktop drawn behind the recording. Raw values equal the case names except `customImage`,
// whose raw value is "custom"; the order is the order offered to the user.
enum class BackgroundStyle {
    none,
    bone,
    chalk,
    obsidian,
    sequoiaOrange,
    sequoiaTeal,
    sonomaPurple,
    sonomaGreen,
    venturaBlue,
    venturaRed,
    montereyPurple,
    bigSurOrange,
    win11Blue,
    win11Purple,
    customImage,
};

inline constexpr std::array kAllBackgroundStyles = {
    BackgroundStyle::none,          BackgroundStyle::bone,         BackgroundStyle::chalk,
    BackgroundStyle::obsidian,      BackgroundStyle::sequoiaOrange, BackgroundStyle::sequoiaTeal,
    BackgroundStyle::sonomaPurple,  BackgroundStyle::sonomaGreen,  BackgroundStyle::venturaBlue,
    BackgroundStyle::venturaRed,    BackgroundStyle::montereyPurple, BackgroundStyle::bigSurOrange,
    BackgroundStyle::win11Blue,     BackgroundStyle::win11Purple,  BackgroundStyle::customImage};

std::string_view rawValue(BackgroundStyle style);
std::optional<BackgroundStyle> backgroundStyleFromRaw(std::string_view raw);

}  // namespace orvane
