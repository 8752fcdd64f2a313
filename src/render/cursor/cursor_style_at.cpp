#include "render/cursor/cursor_style_at.h"

namespace orvane {

EffectiveCursorStyle effectiveCursorStyle(const SceneRenderSnapshot& inputs, double t) {
    const auto& cursor = inputs.edit.cursor;
    const auto& ring = cursor.cursorRingStyle;
    EffectiveCursorStyle style{cursor.cursorVisualStyle, cursor.cursorIconSymbol,
                               RgbaColor{ring.red, ring.green, ring.blue, ring.opacity}, ring.size};
    const auto& overrides = inputs.edit.cursor.cursorStyleOverrides;
    for (auto it = overrides.rbegin(); it != overrides.rend(); ++it) {
        if (!(it->startTime <= t && t <= it->endTime)) continue;
        style.visualStyle = it->visualStyle;
        style.iconSymbol = it->iconSymbol;
        if (const auto named = cursorRingStyleNamed(it->ringStyleName)) {
            style.ringColor = RgbaColor{named->red, named->green, named->blue, named->opacity};
            style.ringSize = named->size;
        }
        break;
    }
    return style;
}

std::optional<SymbolGlyph> pressGlyphAt(std::span<const CursorInteraction> interactions, double t) {
    constexpr double kReach = 0.12;
    for (const auto& interaction : interactions) {
        if (!(interaction.startTime - kReach <= t && t <= interaction.endTime + kReach)) continue;
        switch (interaction.kind) {
            case CursorInteraction::Kind::longPress:
            case CursorInteraction::Kind::swipe: return SymbolGlyph::handDrawFill;
            case CursorInteraction::Kind::typing: return SymbolGlyph::characterCursorIbeam;
            case CursorInteraction::Kind::tap:
            case CursorInteraction::Kind::navigationTap: break;
        }
    }
    return std::nullopt;
}

}  // namespace orvane
