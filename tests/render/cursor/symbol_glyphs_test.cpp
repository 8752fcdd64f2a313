#include <string>

#include <gtest/gtest.h>

#include "render/cursor/cursor_canvas.h"
#include "render/symbol_glyphs.h"

namespace orvane {
namespace {

TEST(SymbolGlyphs, EveryNamedSymbolFillsItsSquareWithAnEvenTint) {
    for (const std::string name : {"sparkle", "hand.tap.fill", "scope", "hand.draw.fill", "character.cursor.ibeam"}) {
        SCOPED_TRACE(name);
        const auto glyph = symbolGlyphNamed(name);
        ASSERT_TRUE(glyph);
        testing::CursorCanvas canvas(100, 100);
        drawSymbolGlyph(canvas.context(), *glyph, 50, 50, 40, RgbaColor{1, 1, 1, 0.5});
        const auto box = canvas.drawnBox();
        ASSERT_TRUE(box);
        EXPECT_GE(std::min(box->minX, box->minY), 29);
        EXPECT_LE(std::max(box->maxX, box->maxY), 71);
        EXPECT_GE(box->maxY - box->minY, 28);
        // Overlapping parts are flattened before the tint's alpha, so it is never doubled.
        int maxAlpha = 0;
        for (int y = box->minY; y <= box->maxY; ++y) {
            for (int x = box->minX; x <= box->maxX; ++x) maxAlpha = std::max(maxAlpha, canvas.pixel(x, y).alpha);
        }
        EXPECT_NEAR(maxAlpha, 128, 1);
    }
    EXPECT_FALSE(symbolGlyphNamed("Sparkle"));
    EXPECT_FALSE(symbolGlyphNamed("hand.wave"));
}

}  // namespace
}  // namespace orvane
