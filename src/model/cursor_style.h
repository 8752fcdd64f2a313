#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/uuid.h"

namespace orvane {

// How the cursor is drawn. Raw values equal the case names; the order is the order offered to the user.
enum class CursorVisualStyle { pointer, ring, largePointer, touch, icon };
inline constexpr std::array kAllCursorVisualStyles = {CursorVisualStyle::pointer, CursorVisualStyle::ring,
                                                      CursorVisualStyle::largePointer, CursorVisualStyle::touch,
                                                      CursorVisualStyle::icon};
std::string_view rawValue(CursorVisualStyle style);
std::optional<CursorVisualStyle> cursorVisualStyleFromRaw(std::string_view raw);

// The animation drawn on a click. Raw values equal the case names.
enum class CursorClickAnimationStyle { ripple, pulse, brush, bounce, none };
inline constexpr std::array kAllCursorClickAnimationStyles = {
    CursorClickAnimationStyle::ripple, CursorClickAnimationStyle::pulse, CursorClickAnimationStyle::brush,
    CursorClickAnimationStyle::bounce, CursorClickAnimationStyle::none};
std::string_view rawValue(CursorClickAnimationStyle style);
std::optional<CursorClickAnimationStyle> cursorClickAnimationStyleFromRaw(std::string_view raw);

// A ring drawn around the cursor: an sRGB colour with opacity, and a size in points.
struct CursorRingStyle {
    double red = 1.0;
    double green = 0.78;
    double blue = 0.2;
    double opacity = 1;
    double size = 30;

    bool operator==(const CursorRingStyle&) const = default;
};

// The named presets: "amber", "red", "blue", "green", "purple", "white".
inline constexpr std::array<std::string_view, 6> kCursorRingStyleNames = {"amber", "red",    "blue",
                                                                           "green", "purple", "white"};

// Looks the name up case-insensitively; an absent or unknown name yields nothing.
std::optional<CursorRingStyle> cursorRingStyleNamed(std::optional<std::string_view> name);
// The preset name of a style; a style that is not exactly red, blue, green, purple or white
// (checked in that order) is reported as "amber", the default preset.
std::string cursorRingStyleName(const CursorRingStyle& style);

// The icon symbols a cursor can be drawn as.
inline constexpr std::array<std::string_view, 3> kCursorIconSymbols = {"sparkle", "hand.tap.fill", "scope"};

// A composition-time range in which the cursor is drawn differently.
struct CursorStyleOverride {
    Uuid id = Uuid::random();
    double startTime = 0;
    double endTime = 0;
    CursorVisualStyle visualStyle = CursorVisualStyle::pointer;
    std::string iconSymbol = "sparkle";
    std::optional<std::string> ringStyleName;

    bool operator==(const CursorStyleOverride&) const = default;
};

// Trims the symbol of white space and replaces anything outside the known symbols with "sparkle",
// so an override never names a glyph the renderer cannot draw.
std::string normalizedCursorIconSymbol(std::string_view symbol);

// Creates an override with a fresh id and a normalised icon symbol.
CursorStyleOverride makeCursorStyleOverride(double startTime, double endTime, CursorVisualStyle visualStyle,
                                            std::string_view iconSymbol,
                                            std::optional<std::string> ringStyleName = std::nullopt);

}  // namespace orvane

template <>
struct std::hash<orvane::CursorRingStyle> {
    std::size_t operator()(const orvane::CursorRingStyle& style) const noexcept;
};
template <>
struct std::hash<orvane::CursorStyleOverride> {
    std::size_t operator()(const orvane::CursorStyleOverride& override) const noexcept;
};
