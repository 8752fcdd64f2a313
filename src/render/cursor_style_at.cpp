#include "render/cursor_style_at.h"

namespace orvane {

EffectiveCursorStyle effectiveCursorStyle(const CursorEffectsInputs& inputs, double t) {
    EffectiveCursorStyle style{inputs.cursorVisualStyle, inputs.cursorIconSymbol, inputs.cursorRingColor,
                               inputs.cursorRingSize};
    const auto& overrides = inputs.cursorStyleOverrides;
    for (auto it = overrides.rbegin(); it != overrides.rend(); ++it) {
        if (!(it->startTime <= t && t <= it->endTime)) continue;
        style.visualStyle = it->visualStyle;
        style.iconSymbol = it->iconSymbol;
        if (const auto ring = cursorRingStyleNamed(it->ringStyleName)) {
            style.ringColor = RgbaColor{ring->red, ring->green, ring->blue, ring->opacity};
            style.ringSize = ring->size;
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
