#include "model/cursor_style.h"

#include <algorithm>

#include "base/hash.h"
#include "base/text.h"
#include "model/raw_value_table.h"

namespace orvane {

namespace {

constexpr detail::RawValueTable<CursorVisualStyle, 5> kVisualStyleRawValues = {{
    {CursorVisualStyle::pointer, "pointer"},
    {CursorVisualStyle::ring, "ring"},
    {CursorVisualStyle::largePointer, "largePointer"},
    {CursorVisualStyle::touch, "touch"},
    {CursorVisualStyle::icon, "icon"},
}};

constexpr detail::RawValueTable<CursorClickAnimationStyle, 5> kClickAnimationRawValues = {{
    {CursorClickAnimationStyle::ripple, "ripple"},
    {CursorClickAnimationStyle::pulse, "pulse"},
    {CursorClickAnimationStyle::brush, "brush"},
    {CursorClickAnimationStyle::bounce, "bounce"},
    {CursorClickAnimationStyle::none, "none"},
}};

struct NamedRingStyle {
    std::string_view name;
    CursorRingStyle style;
};

constexpr std::array<NamedRingStyle, 6> kNamedRingStyles = {{
    {"amber", {1.0, 0.78, 0.2, 1, 30}},
    {"red", {0.95, 0.32, 0.3, 1, 30}},
    {"blue", {0.28, 0.62, 0.96, 1, 30}},
    {"green", {0.3, 0.74, 0.5, 1, 30}},
    {"purple", {0.62, 0.42, 0.92, 1, 30}},
    {"white", {1.0, 1.0, 1.0, 1, 30}},
}};

const CursorRingStyle& presetNamed(std::string_view name) {
    for (const auto& preset : kNamedRingStyles) {
        if (preset.name == name) return preset.style;
    }
    return kNamedRingStyles.front().style;
}

}  // namespace

std::string_view rawValue(CursorVisualStyle style) { return detail::rawValueIn(kVisualStyleRawValues, style); }

std::optional<CursorVisualStyle> cursorVisualStyleFromRaw(std::string_view raw) {
    return detail::valueFromRawIn(kVisualStyleRawValues, raw);
}

std::string_view rawValue(CursorClickAnimationStyle style) {
    return detail::rawValueIn(kClickAnimationRawValues, style);
}

std::optional<CursorClickAnimationStyle> cursorClickAnimationStyleFromRaw(std::string_view raw) {
    return detail::valueFromRawIn(kClickAnimationRawValues, raw);
}

std::optional<CursorRingStyle> cursorRingStyleNamed(std::optional<std::string_view> name) {
    if (!name) return std::nullopt;
    const auto lowered = toLowerAscii(*name);
    for (const auto& preset : kNamedRingStyles) {
        if (preset.name == lowered) return preset.style;
    }
    return std::nullopt;
}

std::string cursorRingStyleName(const CursorRingStyle& style) {
    // Amber is the default preset, so it is the answer for anything that is not one of the others.
    for (std::string_view name : {"red", "blue", "green", "purple", "white"}) {
        if (presetNamed(name) == style) return std::string(name);
    }
    return "amber";
}

std::string normalizedCursorIconSymbol(std::string_view symbol) {
    auto trimmed = trimWhitespaceAndNewlines(symbol);
    const bool known = std::find(kCursorIconSymbols.begin(), kCursorIconSymbols.end(), trimmed) !=
                       kCursorIconSymbols.end();
    return known ? trimmed : std::string("sparkle");
}

CursorStyleOverride makeCursorStyleOverride(double startTime, double endTime, CursorVisualStyle visualStyle,
                                            std::string_view iconSymbol, std::optional<std::string> ringStyleName) {
    CursorStyleOverride result;
    result.startTime = startTime;
    result.endTime = endTime;
    result.visualStyle = visualStyle;
    result.iconSymbol = normalizedCursorIconSymbol(iconSymbol);
    result.ringStyleName = std::move(ringStyleName);
    return result;
}

}  // namespace orvane

std::size_t std::hash<orvane::CursorRingStyle>::operator()(const orvane::CursorRingStyle& style) const noexcept {
    return orvane::HashBuilder()
        .add(style.red)
        .add(style.green)
        .add(style.blue)
        .add(style.opacity)
        .add(style.size)
        .result();
}

std::size_t std::hash<orvane::CursorStyleOverride>::operator()(
    const orvane::CursorStyleOverride& override) const noexcept {
    return orvane::HashBuilder()
        .add(override.id)
        .add(override.startTime)
        .add(override.endTime)
        .add(override.visualStyle)
        .add(override.iconSymbol)
        .add(override.ringStyleName)
        .result();
}
