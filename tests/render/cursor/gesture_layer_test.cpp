#include <vector>

#include <gtest/gtest.h>

#include "render/cursor/gesture_layer.h"
#include "render/cursor/test_canvas.h"

namespace orvane {
namespace {

using Kind = CursorInteraction::Kind;

struct Gestures {
    std::vector<CursorInteraction> interactions;
    SceneRenderSnapshot inputs;
    std::optional<testing::CursorCanvas::Box> drawn(double t, double scale = 1) {
        inputs.edit.cursor.cursorInteractions = interactions;
        testing::CursorCanvas canvas(400, 400);
        drawGestures(canvas.context(), inputs, t, CursorLayerFrame{Rect{0, 0, 400, 400}, scale});
        return canvas.drawnBox();
    }
};

TEST(GestureLayer, SwipeHeadTravelsToTheEndThenTheTrailFades) {
    const CursorInteraction swipe{.kind = Kind::swipe, .startTime = 1, .endTime = 2, .startX = 0.1, .startY = 0.2,
                                  .endX = 0.5, .endY = 0.6};
    EXPECT_FALSE(swipeTrailAt(swipe, 0.99));
    const auto half = swipeTrailAt(swipe, 1.5);
    EXPECT_DOUBLE_EQ(half->start.x, 0.1);
    EXPECT_NEAR(half->head.x, 0.3, 1e-12);
    EXPECT_NEAR(half->head.y, 0.4, 1e-12);
    EXPECT_DOUBLE_EQ(half->fade, 1);
    EXPECT_DOUBLE_EQ(swipeTrailAt(swipe, 2.375)->head.x, 0.5);
    EXPECT_DOUBLE_EQ(swipeTrailAt(swipe, 2.375)->fade, 0.5);
    EXPECT_FALSE(swipeTrailAt(swipe, 2.76));

    // From (40, 80) to the head (120, 160), round-capped, 13 wide at zoom 1 and 26 at zoom 2.
    Gestures g;
    g.interactions.push_back(swipe);
    const auto box = g.drawn(1.5);
    ASSERT_TRUE(box);
    EXPECT_NEAR(box->minX, 40 - 6.5, 1.5);
    EXPECT_NEAR(box->minY, 80 - 6.5, 1.5);
    EXPECT_NEAR(box->maxX, 120 + 6.5, 1.5);
    EXPECT_NEAR(box->maxY, 160 + 6.5, 1.5);
    EXPECT_NEAR(g.drawn(1.5, 2)->minX, 40 - 13, 1.5);
}

TEST(GestureLayer, PressesShowForTheirTailAndAnEndBeforeTheStartIsInstant) {
    Gestures g;
    g.interactions = {{.kind = Kind::navigationTap, .startTime = 1, .endTime = 1.2}};
    EXPECT_FALSE(g.drawn(0.99));
    EXPECT_NEAR(g.drawn(1)->maxX - g.drawn(1)->minX + 1, 30, 1.5);  // the halo at the start
    EXPECT_TRUE(g.drawn(1.479));
    EXPECT_FALSE(g.drawn(1.49));

    g.interactions = {{.kind = Kind::longPress, .startTime = 3, .endTime = 2}};
    EXPECT_TRUE(g.drawn(3.7));
    EXPECT_FALSE(g.drawn(3.76));
    // Half way through its 0.75 s the halo is 58 + 18 × 0.75 across.
    EXPECT_NEAR(g.drawn(3.375)->maxX - g.drawn(3.375)->minX + 1, 71.5, 1.5);
}

TEST(GestureLayer, TapsTypingNoneAndCroppedPointsDrawNothing) {
    Gestures g;
    g.interactions = {{.kind = Kind::tap, .startTime = 1, .endTime = 1.1},
                      {.kind = Kind::typing, .startTime = 1, .endTime = 2}};
    EXPECT_FALSE(g.drawn(1.05));
    g.interactions = {{.kind = Kind::longPress, .startTime = 1, .endTime = 2, .startX = 0.2, .startY = 0.2},
                      {.kind = Kind::swipe, .startTime = 1, .endTime = 2, .startX = 0.2, .startY = 0.2, .endX = 0.9,
                       .endY = 0.9}};
    EXPECT_TRUE(g.drawn(1.5));
    g.inputs.edit.cursor.cursorClickAnimationStyle = CursorClickAnimationStyle::none;
    EXPECT_FALSE(g.drawn(1.5));
    g.inputs.edit.cursor.cursorClickAnimationStyle = CursorClickAnimationStyle::pulse;
    g.inputs.edit.cursor.showAnnotations = false;
    EXPECT_FALSE(g.drawn(1.5));
    g.inputs.edit.cursor.showAnnotations = true;
    g.inputs.edit.frame.cropRect = Rect{0.5, 0.5, 0.5, 0.5};  // holds neither the press nor the swipe's start
    EXPECT_FALSE(g.drawn(1.5));
}

}  // namespace
}  // namespace orvane
