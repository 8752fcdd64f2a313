#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "render/cursor/cursor_arrow.h"
#include "render/cursor/cursor_layer.h"
#include "render/cursor/cursor_point.h"
#include "render/cursor/cursor_shadow.h"
#include "render/cursor/cursor_style_at.h"
#include "render/cursor/symbol_glyphs.h"
#include "render/cursor/test_canvas.h"

namespace orvane {
namespace {

using testing::CursorCanvas;

// Content (100, 50) 400 x 300: the normalised point (0.25, 0.5) lands on (200, 200).
const Rect kContent{100, 50, 400, 300};

struct Fixture {
    std::vector<CursorSample> samples{{0, 0.25, 0.5}, {10, 0.25, 0.5}};
    std::vector<CursorStyleOverride> overrides;
    std::vector<CursorInteraction> interactions;
    SceneRenderSnapshot inputs;

    Fixture() { inputs.edit.cursor.cursorVisualStyle = CursorVisualStyle::pointer; }
    const SceneRenderSnapshot& bind() {
        inputs.cursorSamples = samples;
        inputs.edit.cursor.cursorStyleOverrides = overrides;
        inputs.edit.cursor.cursorInteractions = interactions;
        return inputs;
    }
    CursorCanvas draw(double t, double scale = 1, decltype(&drawCursor) layer = &drawCursor) {
        CursorCanvas canvas(600, 400);
        layer(canvas.context(), bind(), t, CursorLayerFrame{kContent, scale});
        return canvas;
    }
};

TEST(CursorArrow, PathHasItsTipAtTheHotSpotAndTheWrittenExtent) {
    CursorCanvas canvas(300, 300);
    cairo_t* cr = canvas.context();
    appendArrowPath(cr, 50, 40, 100);
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    cairo_path_extents(cr, &x0, &y0, &x1, &y1);
    EXPECT_DOUBLE_EQ(x0, 50);
    EXPECT_DOUBLE_EQ(y0, 40);
    EXPECT_NEAR(x1, 114, 1e-9);  // the wing at 0.64 k
    EXPECT_NEAR(y1, 130, 0.5);   // the tail's rounded end at 0.90 k
    EXPECT_TRUE(cairo_in_fill(cr, 51, 44));
    EXPECT_FALSE(cairo_in_fill(cr, 49, 44));
    EXPECT_FALSE(cairo_in_fill(cr, 51, 39));
    // The notch between the wing and the tail is open.
    EXPECT_FALSE(cairo_in_fill(cr, 100, 120));
    EXPECT_TRUE(cairo_in_fill(cr, 90, 120));
    EXPECT_DOUBLE_EQ(arrowSize(0.5), 24);
    EXPECT_DOUBLE_EQ(arrowSize(2), 68);
}

TEST(CursorShadow, FallsBelowTheShapeBlurredAndFadesWithTheLayer) {
    auto draw = [](double alpha) {
        CursorCanvas canvas(100, 100);
        const ContextShadow shadow{RgbaColor{0, 0, 0, 0.5}, 0, 6, 4};
        drawLayerWithShadow(canvas.context(), Rect{40, 40, 20, 20}, shadow, alpha, [](cairo_t* cr) {
            cairo_rectangle(cr, 40, 40, 20, 20);
            cairo_set_source_rgb(cr, 1, 1, 1);
            cairo_fill(cr);
        });
        return canvas;
    };
    const CursorCanvas full = draw(1);
    EXPECT_EQ(full.pixel(50, 50).alpha, 255);
    const auto below = full.pixel(50, 63);
    EXPECT_NEAR(below.alpha, 0.5 * 255, 25);
    EXPECT_LT(below.red, 5);
    EXPECT_LT(full.pixel(50, 37).alpha, 8);
    EXPECT_GT(full.pixel(50, 68).alpha, 10);  // soft, not cut off at the offset
    EXPECT_NEAR(draw(0.5).pixel(50, 63).alpha, below.alpha / 2.0, 2);
}

TEST(CursorLayer, PointerStylesDrawTheArrowFromTheCursorPoint) {
    Fixture f;
    const CursorCanvas pointer = f.draw(5, 2);
    const auto box = pointer.drawnBox(200);
    ASSERT_TRUE(box);
    // k = 68; the white outline, 0.12 k wide with round joins, reaches 4.08 past the path.
    EXPECT_NEAR(box->minX, 200 - 4.08, 1);
    EXPECT_NEAR(box->minY, 200 - 4.08, 1);
    EXPECT_NEAR(box->maxX, 200 + 0.64 * 68 + 4.08, 2);
    EXPECT_NEAR(box->maxY, 200 + 0.9 * 68 + 4.08, 2);
    EXPECT_GT(pointer.darkPixels(), 500);
    f.inputs.edit.cursor.cursorVisualStyle = CursorVisualStyle::largePointer;
    EXPECT_EQ(f.draw(5, 2).image().pixels, pointer.image().pixels);
}

TEST(CursorLayer, RingHasItsColourAtItsDiameterAndAFaintHalo) {
    Fixture f;
    f.inputs.edit.cursor.cursorVisualStyle = CursorVisualStyle::ring;
    // d = 30 × 2: the ring at radius 30, the halo at radius 40.5 with a 19.2 px line.
    const CursorCanvas canvas = f.draw(5, 2);
    const auto ring = canvas.pixel(230, 200);
    EXPECT_GT(ring.alpha, 240);
    EXPECT_NEAR(ring.red, 255, 3);
    EXPECT_NEAR(ring.green, 199, 3);
    EXPECT_NEAR(ring.blue, 51, 3);
    EXPECT_NEAR(canvas.pixel(240, 200).alpha, 71, 4);
    EXPECT_NEAR(canvas.pixel(200, 159).alpha, 71, 4);
    EXPECT_EQ(canvas.pixel(200, 200).alpha, 0);
    EXPECT_EQ(canvas.pixel(252, 200).alpha, 0);

    // A named ring style in an override replaces the colour.
    f.overrides.push_back(makeCursorStyleOverride(4, 6, CursorVisualStyle::ring, "sparkle", "Blue"));
    const auto blue = f.draw(5, 2).pixel(230, 200);
    EXPECT_NEAR(blue.red, 71, 3);
    EXPECT_NEAR(blue.blue, 245, 3);
}

TEST(CursorLayer, IconBubbleIsTintedWithAWhiteSymbolAndUnknownSymbolsBecomeSparkle) {
    Fixture f;
    f.inputs.edit.cursor.cursorVisualStyle = CursorVisualStyle::icon;
    f.inputs.edit.cursor.cursorRingStyle = {0.28, 0.62, 0.96, 1, 30};
    const CursorCanvas sparkle = f.draw(5);
    // Diameter 48: inside the rim, clear of the symbol, is the fill at alpha 0.92.
    const auto fill = sparkle.pixel(200, 220);
    EXPECT_NEAR(fill.alpha, 235, 4);
    EXPECT_NEAR(fill.red, 71, 4);
    EXPECT_NEAR(fill.blue, 245, 4);
    EXPECT_GT(sparkle.pixel(199, 201).green, 240);
    f.inputs.edit.cursor.cursorIconSymbol = "  hand.wave  ";
    EXPECT_EQ(f.draw(5).image().pixels, sparkle.image().pixels);
}

TEST(CursorLayer, WhatDrawsNothing) {
    Fixture f;
    f.inputs.edit.cursor.cursorVisualStyle = CursorVisualStyle::touch;
    EXPECT_FALSE(f.draw(5).drawnBox());
    f.inputs.edit.cursor.cursorVisualStyle = CursorVisualStyle::pointer;
    f.inputs.edit.cursor.showCursorRing = false;
    EXPECT_FALSE(f.draw(5).drawnBox());
    // The synthetic arrow goes under the ring style only, whether or not the ring is shown.
    f.inputs.edit.cursor.drawsSyntheticCursor = true;
    EXPECT_FALSE(f.draw(5, 1, &drawSyntheticArrow).drawnBox());
    f.inputs.edit.cursor.cursorVisualStyle = CursorVisualStyle::ring;
    EXPECT_GT(f.draw(5, 1, &drawSyntheticArrow).darkPixels(), 50);
    // Outside a set crop neither the arrow nor the ring is drawn.
    f.inputs.edit.cursor.showCursorRing = true;
    f.inputs.edit.frame.cropRect = Rect{0.5, 0.5, 0.5, 0.5};
    EXPECT_FALSE(f.draw(5, 1, &drawCursorEffects).drawnBox());
    f.inputs.edit.frame.cropRect.reset();
    f.samples.clear();
    EXPECT_FALSE(f.draw(5, 1, &drawCursorEffects).drawnBox());
}

TEST(CursorPoint, InterpolatesHoldsTheEndsAndMapsThroughTheCrop) {
    const std::vector<CursorSample> samples{{1, 0.2, 0.4}, {2, 0.6, 0.8}, {2.0004, 1.0, 1.0}};
    EXPECT_FALSE(cursorSampleAt({}, 1));
    EXPECT_DOUBLE_EQ(cursorSampleAt(samples, 0)->x, 0.2);
    EXPECT_DOUBLE_EQ(cursorSampleAt(samples, 1.25)->x, 0.3);
    EXPECT_DOUBLE_EQ(cursorSampleAt(samples, 1.25)->y, 0.5);
    // A gap below a millisecond is stretched to one.
    EXPECT_NEAR(cursorSampleAt(samples, 2.0002)->x, 0.68, 1e-9);
    EXPECT_DOUBLE_EQ(cursorSampleAt(samples, 9)->x, 1.0);

    const CursorLayerFrame frame{kContent, 1};
    const std::optional<Rect> crop = Rect{0.5, 0.5, 0.5, 0.5};
    EXPECT_FALSE(mapToContent({0.25, 0.75}, crop, frame));
    EXPECT_FALSE(mapToContent({0.75, 0.49}, crop, frame));
    const auto inside = mapToContent({0.75, 0.75}, crop, frame);
    EXPECT_DOUBLE_EQ(inside->x, 300);
    EXPECT_DOUBLE_EQ(inside->y, 200);
    EXPECT_DOUBLE_EQ(mapToContent({0.25, 0.5}, Rect{0.5, 0.5, 0, 0.5}, frame)->x, 200);  // empty crop: none
}

TEST(CursorStyle, OverridesDecideTheStyleInclusivelyAndTheLaterOneWins) {
    Fixture f;
    f.inputs.edit.cursor.cursorIconSymbol = "scope";
    f.inputs.edit.cursor.cursorRingStyle.size = 44;
    f.overrides.push_back(makeCursorStyleOverride(1, 3, CursorVisualStyle::icon, "hand.tap.fill"));
    f.overrides.push_back(makeCursorStyleOverride(2, 4, CursorVisualStyle::ring, "sparkle", "RED"));
    f.overrides.push_back(makeCursorStyleOverride(5, 6, CursorVisualStyle::ring, "sparkle", "mauve"));
    const auto& inputs = f.bind();

    EXPECT_EQ(effectiveCursorStyle(inputs, 0.999).visualStyle, CursorVisualStyle::pointer);
    const auto first = effectiveCursorStyle(inputs, 1);
    EXPECT_EQ(first.visualStyle, CursorVisualStyle::icon);
    EXPECT_EQ(first.iconSymbol, "hand.tap.fill");
    EXPECT_EQ(first.ringColor, (RgbaColor{1.0, 0.78, 0.2, 1}));
    const auto overlap = effectiveCursorStyle(inputs, 2);
    EXPECT_EQ(overlap.visualStyle, CursorVisualStyle::ring);
    EXPECT_EQ(overlap.ringColor, (RgbaColor{0.95, 0.32, 0.3, 1}));
    EXPECT_DOUBLE_EQ(overlap.ringSize, 30);
    EXPECT_EQ(effectiveCursorStyle(inputs, 4).visualStyle, CursorVisualStyle::ring);
    EXPECT_EQ(effectiveCursorStyle(inputs, 4.5).iconSymbol, "scope");
    EXPECT_DOUBLE_EQ(effectiveCursorStyle(inputs, 5.5).ringSize, 44);  // unknown ring name
}

TEST(CursorStyle, PressGlyphsReplaceThePointerAroundPressesAndTyping) {
    using Kind = CursorInteraction::Kind;
    Fixture f;
    f.interactions = {{.kind = Kind::tap, .startTime = 0.9, .endTime = 1.1},
                      {.kind = Kind::longPress, .startTime = 1, .endTime = 2},
                      {.kind = Kind::typing, .startTime = 5, .endTime = 6},
                      {.kind = Kind::swipe, .startTime = 5.5, .endTime = 7}};
    EXPECT_FALSE(pressGlyphAt(f.interactions, 0.87));
    EXPECT_EQ(pressGlyphAt(f.interactions, 0.88), SymbolGlyph::handDrawFill);
    EXPECT_EQ(pressGlyphAt(f.interactions, 2.12), SymbolGlyph::handDrawFill);
    EXPECT_FALSE(pressGlyphAt(f.interactions, 2.13));
    EXPECT_EQ(pressGlyphAt(f.interactions, 5.7), SymbolGlyph::characterCursorIbeam);
    EXPECT_EQ(pressGlyphAt(f.interactions, 6.5), SymbolGlyph::handDrawFill);
    // White glyph with a soft shadow instead of the black arrow.
    const CursorCanvas pressing = f.draw(1.5);
    EXPECT_TRUE(pressing.drawnBox(200));
    EXPECT_EQ(pressing.darkPixels(), 0);
    EXPECT_GT(f.draw(3.5).darkPixels(), 50);
}

TEST(CursorLayer, MotionTrailFollowsFastRingAndIconCursorsOnly) {
    Fixture f;
    f.samples = {{0, 0.1, 0.5}, {1, 0.9, 0.5}};
    EXPECT_NEAR(recentCursorTravel(f.bind(), 0.5), 0.8 * 4 / 60, 1e-9);
    EXPECT_NEAR(recentCursorTravel(f.bind(), 0.02), 0.8 * 0.02, 1e-9);  // held at the first sample

    // At t = 0.5 the cursor is at x = 300; its ghosts trail to the left.
    auto leftEdge = [&](CursorVisualStyle style, bool blur) {
        f.inputs.edit.cursor.cursorVisualStyle = style;
        f.inputs.edit.cursor.cursorMotionBlur = blur;
        return f.draw(0.5).drawnBox()->minX;
    };
    EXPECT_LT(leftEdge(CursorVisualStyle::ring, true), leftEdge(CursorVisualStyle::ring, false) - 10);
    EXPECT_LT(leftEdge(CursorVisualStyle::icon, true), leftEdge(CursorVisualStyle::icon, false) - 10);
    EXPECT_EQ(leftEdge(CursorVisualStyle::pointer, true), leftEdge(CursorVisualStyle::pointer, false));
}

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

// Every cursor style and click animation at a quarter of its life (t = 1.3 for a click at 1).
TEST(CursorGallery, EveryStyleAndClickAnimationDrawsButTouchAndNoneDoNot) {
    Fixture f;
    const auto drawsAnything = [&] { return f.draw(1.3, 1.2, &drawCursorEffects).drawnBox().has_value(); };
    using Style = CursorVisualStyle;
    for (const auto& [style, symbol] : std::vector<std::pair<Style, std::string>>{
             {Style::pointer, "sparkle"}, {Style::largePointer, "sparkle"}, {Style::ring, "sparkle"},
             {Style::icon, "sparkle"}, {Style::icon, "hand.tap.fill"}, {Style::icon, "scope"}}) {
        f.inputs.edit.cursor.cursorVisualStyle = style;
        f.inputs.edit.cursor.cursorIconSymbol = symbol;
        EXPECT_TRUE(drawsAnything()) << static_cast<int>(style) << " " << symbol;
    }
    f.inputs.edit.cursor.cursorVisualStyle = Style::touch;
    EXPECT_FALSE(drawsAnything());

    std::vector<ClickAnnotation> clicks(1);
    clicks[0].time = 1;
    clicks[0].label = "Save";
    clicks[0].cx = 0.3;
    f.inputs.edit.cursor.annotations = clicks;
    using Animation = CursorClickAnimationStyle;
    for (const auto animation : {Animation::ripple, Animation::pulse, Animation::brush, Animation::bounce, Animation::none}) {
        f.inputs.edit.cursor.cursorClickAnimationStyle = animation;
        EXPECT_EQ(drawsAnything(), animation != Animation::none) << static_cast<int>(animation);
    }
}

}  // namespace
}  // namespace orvane
