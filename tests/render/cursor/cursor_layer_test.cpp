#include <vector>

#include <gtest/gtest.h>

#include "render/cursor/cursor_canvas.h"
#include "render/cursor_arrow.h"
#include "render/cursor_layer.h"
#include "render/cursor_point.h"
#include "render/cursor_style_at.h"

namespace orvane {
namespace {

using testing::CursorCanvas;

// Content rectangle (100, 50) 400 x 300: the normalised point (0.25, 0.5) lands on (200, 200).
const CursorLayerFrame kFrame{Rect{100, 50, 400, 300}, 1};

struct Fixture {
    std::vector<CursorSample> samples{{0, 0.25, 0.5}, {10, 0.25, 0.5}};
    std::vector<CursorStyleOverride> overrides;
    std::vector<CursorInteraction> interactions;
    CursorEffectsInputs inputs;

    CursorEffectsInputs& bind() {
        inputs.cursorSamples = samples;
        inputs.cursorStyleOverrides = overrides;
        inputs.cursorInteractions = interactions;
        return inputs;
    }
};

int opaqueDarkPixels(const CursorCanvas& canvas) {
    int count = 0;
    for (int y = 0; y < canvas.height(); ++y) {
        for (int x = 0; x < canvas.width(); ++x) {
            const auto p = canvas.pixel(x, y);
            if (p.alpha > 230 && p.red < 40 && p.green < 40 && p.blue < 40) ++count;
        }
    }
    return count;
}

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
    // Just inside the tip is body; beside and above it is not.
    EXPECT_TRUE(cairo_in_fill(cr, 51, 44));
    EXPECT_FALSE(cairo_in_fill(cr, 49, 44));
    EXPECT_FALSE(cairo_in_fill(cr, 51, 39));
    // The notch between the wing and the tail is open.
    EXPECT_FALSE(cairo_in_fill(cr, 50 + 0.5 * 100, 40 + 0.8 * 100));
    EXPECT_TRUE(cairo_in_fill(cr, 50 + 0.4 * 100, 40 + 0.8 * 100));
    cairo_new_path(cr);

    EXPECT_DOUBLE_EQ(arrowSize(0.5), 24);
    EXPECT_DOUBLE_EQ(arrowSize(2), 68);
}

TEST(CursorLayer, PointerDrawsTheArrowFromTheCursorPointAndLargePointerMatches) {
    Fixture f;
    f.inputs.cursorVisualStyle = CursorVisualStyle::pointer;
    CursorCanvas pointer(600, 400);
    drawCursor(pointer.context(), f.bind(), 5, CursorLayerFrame{kFrame.content, 2});
    const auto box = pointer.drawnBox(200);
    ASSERT_TRUE(box);
    // k = 68; the white outline (0.12 k = 8.16 wide, round joins) reaches half its width past the path.
    EXPECT_NEAR(box->minX, 200 - 4.08, 1);
    EXPECT_NEAR(box->minY, 200 - 4.08, 1);
    EXPECT_NEAR(box->maxX, 200 + 0.64 * 68 + 4.08, 2);
    EXPECT_NEAR(box->maxY, 200 + 0.9 * 68 + 4.08, 2);
    const auto body = pointer.pixel(204, 220);
    EXPECT_GT(body.alpha, 230);
    EXPECT_LT(body.red, 30);

    f.inputs.cursorVisualStyle = CursorVisualStyle::largePointer;
    CursorCanvas large(600, 400);
    drawCursor(large.context(), f.bind(), 5, CursorLayerFrame{kFrame.content, 2});
    EXPECT_EQ(large.image().pixels, pointer.image().pixels);
}

TEST(CursorLayer, RingHasItsColourAtItsDiameterAndAFaintHalo) {
    Fixture f;
    f.inputs.cursorVisualStyle = CursorVisualStyle::ring;
    f.inputs.cursorRingColor = RgbaColor{1.0, 0.78, 0.2, 1};
    f.inputs.cursorRingSize = 30;
    CursorCanvas canvas(600, 400);
    // d = 60: the ring at radius 30, the halo at radius 40.5 with a 19.2 px line.
    drawCursor(canvas.context(), f.bind(), 5, CursorLayerFrame{kFrame.content, 2});
    const auto ring = canvas.pixel(230, 200);
    EXPECT_GT(ring.alpha, 240);
    EXPECT_NEAR(ring.red, 255, 3);
    EXPECT_NEAR(ring.green, 199, 3);
    EXPECT_NEAR(ring.blue, 51, 3);
    EXPECT_NEAR(canvas.pixel(240, 200).alpha, 71, 4);
    EXPECT_NEAR(canvas.pixel(200, 159).alpha, 71, 4);
    EXPECT_EQ(canvas.pixel(200, 200).alpha, 0);
    EXPECT_EQ(canvas.pixel(200 + 52, 200).alpha, 0);

    // A named ring style in an override replaces colour and size.
    f.overrides.push_back(makeCursorStyleOverride(4, 6, CursorVisualStyle::ring, "sparkle", "Blue"));
    CursorCanvas blue(600, 400);
    drawCursor(blue.context(), f.bind(), 5, CursorLayerFrame{kFrame.content, 2});
    const auto blueRing = blue.pixel(230, 200);
    EXPECT_NEAR(blueRing.red, 71, 3);
    EXPECT_NEAR(blueRing.green, 158, 3);
    EXPECT_NEAR(blueRing.blue, 245, 3);
}

TEST(CursorLayer, IconBubbleIsTintedWithAWhiteSymbolAndUnknownSymbolsBecomeSparkle) {
    Fixture f;
    f.inputs.cursorVisualStyle = CursorVisualStyle::icon;
    f.inputs.cursorRingColor = RgbaColor{0.28, 0.62, 0.96, 1};
    f.inputs.cursorIconSymbol = "sparkle";
    CursorCanvas sparkle(600, 400);
    drawCursor(sparkle.context(), f.bind(), 5, kFrame);
    // Diameter 48 at zoom 1: inside the rim, clear of the symbol, is the tinted fill.
    const auto fill = sparkle.pixel(200, 220);
    EXPECT_NEAR(fill.alpha, 235, 4);
    EXPECT_NEAR(fill.blue, 245, 4);
    EXPECT_NEAR(fill.red, 71, 4);
    const auto symbol = sparkle.pixel(199, 201);
    EXPECT_GT(symbol.red, 240);
    EXPECT_GT(symbol.green, 240);

    f.inputs.cursorIconSymbol = "  hand.wave  ";
    CursorCanvas unknown(600, 400);
    drawCursor(unknown.context(), f.bind(), 5, kFrame);
    EXPECT_EQ(unknown.image().pixels, sparkle.image().pixels);
}

TEST(CursorLayer, TouchHiddenRingAndMissingSamplesDrawNothing) {
    Fixture f;
    f.inputs.cursorVisualStyle = CursorVisualStyle::touch;
    CursorCanvas touch(600, 400);
    drawCursor(touch.context(), f.bind(), 5, kFrame);
    EXPECT_FALSE(touch.drawnBox());

    f.inputs.cursorVisualStyle = CursorVisualStyle::pointer;
    f.inputs.showCursorRing = false;
    CursorCanvas hidden(600, 400);
    drawCursor(hidden.context(), f.bind(), 5, kFrame);
    EXPECT_FALSE(hidden.drawnBox());

    f.inputs.showCursorRing = true;
    f.samples.clear();
    CursorCanvas empty(600, 400);
    drawCursorEffects(empty.context(), f.bind(), 5, kFrame);
    EXPECT_FALSE(empty.drawnBox());
}

TEST(CursorLayer, SyntheticArrowOnlyUnderTheRingStyle) {
    Fixture f;
    f.inputs.drawsSyntheticCursor = true;
    f.inputs.showCursorRing = false;
    f.inputs.cursorVisualStyle = CursorVisualStyle::ring;
    CursorCanvas ring(600, 400);
    drawSyntheticArrow(ring.context(), f.bind(), 5, kFrame);
    EXPECT_GT(opaqueDarkPixels(ring), 50);

    f.inputs.cursorVisualStyle = CursorVisualStyle::pointer;
    CursorCanvas pointer(600, 400);
    drawSyntheticArrow(pointer.context(), f.bind(), 5, kFrame);
    EXPECT_FALSE(pointer.drawnBox());
}

TEST(CursorPoint, InterpolatesHoldsTheEndsAndMapsThroughTheCrop) {
    const std::vector<CursorSample> samples{{1, 0.2, 0.4}, {2, 0.6, 0.8}, {2.0004, 1.0, 1.0}};
    EXPECT_FALSE(cursorSampleAt({}, 1));
    const auto before = cursorSampleAt(samples, 0);
    EXPECT_DOUBLE_EQ(before->x, 0.2);
    const auto middle = cursorSampleAt(samples, 1.25);
    EXPECT_DOUBLE_EQ(middle->x, 0.3);
    EXPECT_DOUBLE_EQ(middle->y, 0.5);
    // A gap below a millisecond is stretched to one, so the step is not taken at full speed.
    const auto inGap = cursorSampleAt(samples, 2.0002);
    EXPECT_NEAR(inGap->x, 0.6 + 0.4 * 0.2, 1e-9);
    const auto after = cursorSampleAt(samples, 9);
    EXPECT_DOUBLE_EQ(after->x, 1.0);

    const std::optional<Rect> crop = Rect{0.5, 0.5, 0.5, 0.5};
    EXPECT_FALSE(mapToContent({0.25, 0.75}, crop, kFrame));
    EXPECT_FALSE(mapToContent({0.75, 0.49}, crop, kFrame));
    const auto inside = mapToContent({0.75, 0.75}, crop, kFrame);
    ASSERT_TRUE(inside);
    EXPECT_DOUBLE_EQ(inside->x, 300);
    EXPECT_DOUBLE_EQ(inside->y, 200);
    // An empty crop is no crop.
    const auto uncropped = mapToContent({0.25, 0.5}, Rect{0.5, 0.5, 0, 0.5}, kFrame);
    EXPECT_DOUBLE_EQ(uncropped->x, 200);
}

TEST(CursorLayer, CursorOutsideTheCropIsNotDrawn) {
    Fixture f;
    f.inputs.cursorVisualStyle = CursorVisualStyle::ring;
    f.inputs.drawsSyntheticCursor = true;
    f.inputs.cropRect = Rect{0.5, 0.5, 0.5, 0.5};
    CursorCanvas outside(600, 400);
    drawCursorEffects(outside.context(), f.bind(), 5, kFrame);
    EXPECT_FALSE(outside.drawnBox());

    f.samples = {{0, 0.75, 0.75}};
    CursorCanvas inside(600, 400);
    drawCursor(inside.context(), f.bind(), 5, kFrame);
    // Crop-relative (0.5, 0.5) is the content's centre, (300, 200); the ring is 30 across.
    EXPECT_GT(inside.pixel(315, 200).alpha, 200);
}

TEST(CursorStyle, OverridesDecideTheStyleInclusivelyAndTheLaterOneWins) {
    Fixture f;
    f.inputs.cursorVisualStyle = CursorVisualStyle::pointer;
    f.inputs.cursorIconSymbol = "scope";
    f.inputs.cursorRingColor = RgbaColor{0.1, 0.2, 0.3, 1};
    f.inputs.cursorRingSize = 44;
    f.overrides.push_back(makeCursorStyleOverride(1, 3, CursorVisualStyle::icon, "hand.tap.fill"));
    f.overrides.push_back(makeCursorStyleOverride(2, 4, CursorVisualStyle::ring, "sparkle", "RED"));
    f.overrides.push_back(makeCursorStyleOverride(5, 6, CursorVisualStyle::ring, "sparkle", "mauve"));
    const auto& inputs = f.bind();

    EXPECT_EQ(effectiveCursorStyle(inputs, 0.999).visualStyle, CursorVisualStyle::pointer);
    const auto first = effectiveCursorStyle(inputs, 1);
    EXPECT_EQ(first.visualStyle, CursorVisualStyle::icon);
    EXPECT_EQ(first.iconSymbol, "hand.tap.fill");
    EXPECT_EQ(first.ringColor, inputs.cursorRingColor);
    const auto overlap = effectiveCursorStyle(inputs, 2);
    EXPECT_EQ(overlap.visualStyle, CursorVisualStyle::ring);
    EXPECT_EQ(overlap.ringColor, (RgbaColor{0.95, 0.32, 0.3, 1}));
    EXPECT_DOUBLE_EQ(overlap.ringSize, 30);
    EXPECT_EQ(effectiveCursorStyle(inputs, 4).visualStyle, CursorVisualStyle::ring);
    const auto between = effectiveCursorStyle(inputs, 4.5);
    EXPECT_EQ(between.visualStyle, CursorVisualStyle::pointer);
    EXPECT_EQ(between.iconSymbol, "scope");
    // An unknown ring name keeps the project's ring.
    const auto unknownRing = effectiveCursorStyle(inputs, 5.5);
    EXPECT_EQ(unknownRing.visualStyle, CursorVisualStyle::ring);
    EXPECT_DOUBLE_EQ(unknownRing.ringSize, 44);
}

TEST(CursorStyle, PressGlyphsAppearAroundPressesAndTypingButNotTaps) {
    auto make = [](CursorInteraction::Kind kind, double start, double end) {
        CursorInteraction i;
        i.kind = kind;
        i.startTime = start;
        i.endTime = end;
        return i;
    };
    const std::vector<CursorInteraction> interactions{make(CursorInteraction::Kind::tap, 0.9, 1.1),
                                                      make(CursorInteraction::Kind::longPress, 1, 2),
                                                      make(CursorInteraction::Kind::typing, 5, 6),
                                                      make(CursorInteraction::Kind::swipe, 5.5, 7)};
    EXPECT_FALSE(pressGlyphAt(interactions, 0.87));
    EXPECT_EQ(pressGlyphAt(interactions, 0.88), SymbolGlyph::handDrawFill);
    EXPECT_EQ(pressGlyphAt(interactions, 2.12), SymbolGlyph::handDrawFill);
    EXPECT_FALSE(pressGlyphAt(interactions, 2.13));
    EXPECT_EQ(pressGlyphAt(interactions, 5.7), SymbolGlyph::characterCursorIbeam);
    EXPECT_EQ(pressGlyphAt(interactions, 6.5), SymbolGlyph::handDrawFill);

    // The pointer shows the white glyph in place of the black arrow.
    Fixture f;
    f.interactions = interactions;
    CursorCanvas pressing(600, 400);
    drawCursor(pressing.context(), f.bind(), 1.5, kFrame);
    EXPECT_TRUE(pressing.drawnBox(200));
    EXPECT_EQ(opaqueDarkPixels(pressing), 0);
    CursorCanvas idle(600, 400);
    drawCursor(idle.context(), f.bind(), 3.5, kFrame);
    EXPECT_GT(opaqueDarkPixels(idle), 50);
}

TEST(CursorLayer, MotionTrailFollowsFastRingAndIconCursorsOnly) {
    Fixture f;
    // 0.8 of the frame per second: 0.8 × 4/60 travelled over the trail's reach.
    f.samples = {{0, 0.1, 0.5}, {1, 0.9, 0.5}};
    f.inputs.cursorMotionBlur = true;
    f.inputs.cursorVisualStyle = CursorVisualStyle::ring;
    const auto& inputs = f.bind();
    EXPECT_NEAR(recentCursorTravel(inputs, 0.5), 0.8 * 4 / 60, 1e-9);
    EXPECT_NEAR(recentCursorTravel(inputs, 0.02), 0.8 * 0.02, 1e-9);  // held at the first sample

    // At t = 0.5 the cursor is at x = 100 + 0.5 × 400 = 300; its ghosts trail to the left.
    auto leftOfCursor = [&](CursorVisualStyle style, bool blur) {
        f.inputs.cursorVisualStyle = style;
        f.inputs.cursorMotionBlur = blur;
        CursorCanvas canvas(600, 400);
        drawCursor(canvas.context(), f.bind(), 0.5, kFrame);
        return canvas.drawnBox()->minX;
    };
    const int plainRing = leftOfCursor(CursorVisualStyle::ring, false);
    EXPECT_LT(leftOfCursor(CursorVisualStyle::ring, true), plainRing - 10);
    const int plainIcon = leftOfCursor(CursorVisualStyle::icon, false);
    EXPECT_LT(leftOfCursor(CursorVisualStyle::icon, true), plainIcon - 10);
    EXPECT_EQ(leftOfCursor(CursorVisualStyle::pointer, true), leftOfCursor(CursorVisualStyle::pointer, false));
}

}  // namespace
}  // namespace orvane
