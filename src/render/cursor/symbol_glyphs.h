#pragma once

#include <optional>
#include <string_view>

#include <cairo.h>

#include "render/paint/rgba_color.h"

namespace orvane {

// The named symbols the cursor layers show, drawn as our own vector glyphs so no icon theme or
// font is needed at render time.
enum class SymbolGlyph {
    sparkle,              // "sparkle": a four-pointed star with a small companion
    handTapFill,          // "hand.tap.fill": a pointing hand with tap arcs
    scope,                // "scope": a ring with cross hairs
    handDrawFill,         // "hand.draw.fill": a pointing hand trailing a stroke
    characterCursorIbeam  // "character.cursor.ibeam": a text I-beam
};

// The glyph for a symbol name (exact, case-sensitive, as the names are stored); nothing for a name
// we cannot draw, so callers can fall back.
std::optional<SymbolGlyph> symbolGlyphNamed(std::string_view name);

// Draws the glyph as a single-colour template, semibold, in a square of `pointSize` centred on
// (centerX, centerY) in the context's user space (y down). Overlapping strokes are flattened before
// the colour's alpha is applied, so a translucent tint stays even.
void drawSymbolGlyph(cairo_t* cr, SymbolGlyph glyph, double centerX, double centerY, double pointSize,
                     const RgbaColor& color);

}  // namespace orvane
