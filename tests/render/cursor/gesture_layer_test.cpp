#include <vector>

#include <gtest/gtest.h>

#include "render/cursor/cursor_canvas.h"
#include "render/gesture_layer.h"

namespace orvane {
namespace {

using testing::CursorCanvas;

CursorInteraction gesture(CursorInteraction::Kind kind, double start, double end, double x0, double y0, double x1,
                          double y1) {
    CursorInteraction i;
    i.kind = kind;
    i.startTime = start;
    i.endTime = end;
    i.startX = x0;
    i.startY = y0;
    i.endX = x1;
    i.endY = y1;
    return i;
}

struct Gestures {
    std::vector<CursorInteraction> interactions;
    CursorEffectsInputs inputs;
    std::optional<CursorCanvas::Box> drawn(double t, const CursorLayerFrame& frame = {Rect{0, 0, 400, 400}, 1}) {
        inputs.cursorInteractions = interactions;
        CursorCanvas canvas(400, 400);
        drawGestures(canvas.context(), inputs, t, frame);
        return canvas.drawnBox();
    }
};

TEST(GestureLayer, SwipeHeadTravelsToTheEndThenTheTrailFades) {
    const auto swipe = gesture(CursorInteraction::Kind::swipe, 1, 2, 0.1, 0.2, 0.5, 0.6);
    EXPECT_FALSE(swipeTrailAt(swipe, 0.99));
    const auto half = swipeTrailAt(swipe, 1.5);
    ASSERT_TRUE(half);
    EXPECT_DOUBLE_EQ(half->start.x, 0.1);
    EXPECT_NEAR(half->head.x, 0.3, 1e-12);
    EXPECT_NEAR(half->head.y, 0.4, 1e-12);
    EXPECT_DOUBLE_EQ(half->fade, 1);
    const auto fading = swipeTrailAt(swipe, 2.375);
    EXPECT_DOUBLE_EQ(fading->head.x, 0.5);
    EXPECT_DOUBLE_EQ(fading->fade, 0.5);
    EXPECT_FALSE(swipeTrailAt(swipe, 2.76));

    // Drawn from (40, 80) to the head (120, 160), with the 13-point round-capped line at zoom 1.
    Gestures g;
    g.interactions.push_back(swipe);
    const auto box = g.drawn(1.5);
    ASSERT_TRUE(box);
    EXPECT_NEAR(box->minX, 40 - 6.5, 1.5);
    EXPECT_NEAR(box->minY, 80 - 6.5, 1.5);
    EXPECT_NEAR(box->maxX, 120 + 6.5, 1.5);
    EXPECT_NEAR(box->maxY, 160 + 6.5, 1.5);
    // At zoom 2 the line is 26 wide.
    const auto zoomed = g.drawn(1.5, {Rect{0, 0, 400, 400}, 2});
    EXPECT_NEAR(zoomed->minX, 40 - 13, 1.5);
}

TEST(GestureLayer, PressesShowForTheirTailAndAnEndBeforeTheStartIsInstant) {
    Gestures g;
    g.interactions.push_back(gesture(CursorInteraction::Kind::navigationTap, 1, 1.2, 0.5, 0.5, 0.5, 0.5));
    EXPECT_FALSE(g.drawn(0.99));
    // At the start: halo 30 across, ring 22 across with a 3-point line.
    const auto start = g.drawn(1);
    ASSERT_TRUE(start);
    EXPECT_NEAR(start->maxX - start->minX + 1, 30, 1.5);
    EXPECT_TRUE(g.drawn(1.479));
    EXPECT_FALSE(g.drawn(1.49));

    g.interactions = {gesture(CursorInteraction::Kind::longPress, 3, 2, 0.5, 0.5, 0.5, 0.5)};
    EXPECT_TRUE(g.drawn(3.7));
    EXPECT_FALSE(g.drawn(3.76));
    // Half way through its 0.75 s: halo 58 + 18 × 0.75 across.
    const auto half = g.drawn(3.375);
    EXPECT_NEAR(half->maxX - half->minX + 1, 71.5, 1.5);
}

TEST(GestureLayer, TapsTypingNoneAndCroppedPointsDrawNothing) {
    Gestures g;
    g.interactions = {gesture(CursorInteraction::Kind::tap, 1, 1.1, 0.5, 0.5, 0.5, 0.5),
                      gesture(CursorInteraction::Kind::typing, 1, 2, 0.5, 0.5, 0.5, 0.5)};
    EXPECT_FALSE(g.drawn(1.05));

    g.interactions = {gesture(CursorInteraction::Kind::longPress, 1, 2, 0.2, 0.2, 0.2, 0.2),
                      gesture(CursorInteraction::Kind::swipe, 1, 2, 0.2, 0.2, 0.9, 0.9)};
    EXPECT_TRUE(g.drawn(1.5));
    g.inputs.cursorClickAnimationStyle = CursorClickAnimationStyle::none;
    EXPECT_FALSE(g.drawn(1.5));
    g.inputs.cursorClickAnimationStyle = CursorClickAnimationStyle::pulse;
    g.inputs.showAnnotations = false;
    EXPECT_FALSE(g.drawn(1.5));
    g.inputs.showAnnotations = true;
    // The press and the swipe's start both lie outside this crop.
    g.inputs.cropRect = Rect{0.5, 0.5, 0.5, 0.5};
    EXPECT_FALSE(g.drawn(1.5));
}

}  // namespace
}  // namespace orvane
