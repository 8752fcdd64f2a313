#pragma once

#include <optional>
#include <span>
#include <string>

#include "model/scene_render_snapshot.h"
#include "render/cursor/cursor_canvas.h"
#include "render/cursor/symbol_glyphs.h"

namespace orvane {

// The look of the cursor at one moment, after timed overrides.
struct EffectiveCursorStyle {
    CursorVisualStyle visualStyle = CursorVisualStyle::pointer;
    std::string iconSymbol;
    RgbaColor ringColor;
    double ringSize = 30;
};

// Overrides are searched from the last to the first so a later one wins where two overlap (the
// editor appends new overrides). The covering override, start and end included, sets the style and
// icon; its ring style name sets colour and size only when it names a known ring style.
EffectiveCursorStyle effectiveCursorStyle(const SceneRenderSnapshot& inputs, double t);

// The glyph shown instead of the arrow while a press is under way: the first interaction within
// 0.12 s of `t` (either side of its range) that has one. Long presses and swipes show a drawing
// hand, typing an I-beam; taps show none because the click animation already marks them.
std::optional<SymbolGlyph> pressGlyphAt(std::span<const CursorInteraction> interactions, double t);

}  // namespace orvane
