#include <vector>

#include <gtest/gtest.h>

#include "render/cursor/click_animation.h"
#include "render/cursor/click_layer.h"
#include "render/cursor/test_canvas.h"

namespace orvane {
namespace {

using testing::CursorCanvas;
using Kind = ClickMarkShape::Kind;

// e at a quarter of the life: 1 - 0.75^2.4.
constexpr double kQuarterEase = 0.49864306;

void expectShape(const ClickMarkShape& shape, Kind kind, double diameter, double alpha, double line = 0) {
    EXPECT_EQ(shape.kind, kind);
    EXPECT_NEAR(shape.diameter, diameter, 1e-6);
    EXPECT_NEAR(shape.alpha, alpha, 1e-9);
    EXPECT_NEAR(shape.lineWidth, line, 1e-9);
}

TEST(ClickAnimation, EveryStyleAtAQuarterOfItsLifeAndTheLifesEnds) {
    const double e = kQuarterEase;
    const auto ripple = clickAnimationShapes(CursorClickAnimationStyle::ripple, 0.25);
    ASSERT_EQ(ripple.size(), 3u);
    expectShape(ripple[0], Kind::ring, 28 + 76 * e, 0.575, 3.375);
    expectShape(ripple[1], Kind::ring, 22 + 14 * e, 0.7875, 2.7);
    expectShape(ripple[2], Kind::disc, 9 - 5.5 * e, 0.6);
    EXPECT_DOUBLE_EQ(clickAnimationShapes(CursorClickAnimationStyle::brush, 0.25)[0].diameter, ripple[0].diameter);
    const auto pulse = clickAnimationShapes(CursorClickAnimationStyle::pulse, 0.25);
    ASSERT_EQ(pulse.size(), 3u);
    expectShape(pulse[0], Kind::disc, 38 + 20 * e, 0.18);
    expectShape(pulse[1], Kind::ring, 26 + 18 * e, 0.65, 3.5);
    expectShape(pulse[2], Kind::disc, 9, 0.6625);
    // The bounce peaks at a quarter, is back to size at the half, then fades.
    const auto bounce = clickAnimationShapes(CursorClickAnimationStyle::bounce, 0.25);
    ASSERT_EQ(bounce.size(), 2u);
    expectShape(bounce[0], Kind::disc, 42, 0.22);
    expectShape(bounce[1], Kind::disc, 27, 1);
    expectShape(clickAnimationShapes(CursorClickAnimationStyle::bounce, 0.75)[1], Kind::disc, 18, 0.5);
    EXPECT_DOUBLE_EQ(clickAnimationShapes(CursorClickAnimationStyle::ripple, 1)[0].lineWidth, 0.4);
    EXPECT_TRUE(clickAnimationShapes(CursorClickAnimationStyle::none, 0.25).empty());

    EXPECT_FALSE(clickAnimationProgress(-0.0001));
    EXPECT_DOUBLE_EQ(*clickAnimationProgress(0.3), 0.25);
    EXPECT_DOUBLE_EQ(*clickAnimationProgress(1.2), 1);
    EXPECT_FALSE(clickAnimationProgress(1.2001));
}

struct Clicks {
    std::vector<ClickAnnotation> annotations = std::vector<ClickAnnotation>(1);
    SceneRenderSnapshot inputs;
    Clicks() {
        inputs.edit.cursor.cursorClickAnimationStyle = CursorClickAnimationStyle::ripple;
        annotations[0].time = 1;
        annotations[0].cx = annotations[0].cy = 0.5;
    }
    CursorCanvas draw(double t, double scale = 2) {
        inputs.edit.cursor.annotations = annotations;
        CursorCanvas canvas(400, 400);
        drawClickAnnotations(canvas.context(), inputs, t, CursorLayerFrame{Rect{0, 0, 400, 400}, scale});
        return canvas;
    }
};

TEST(ClickLayer, RippleAtAQuarterIsDrawnAtItsSizeTimesTheZoomInItsColour) {
    Clicks c;
    c.annotations[0].color = AnnotationColor::red;
    const CursorCanvas canvas = c.draw(1.3);
    const double outer = 28 + 76 * kQuarterEase;  // radius at zoom 2, line 6.75
    const auto onRing = canvas.pixel(200 + static_cast<int>(outer), 200);
    EXPECT_NEAR(onRing.alpha, 0.575 * 255, 4);
    EXPECT_NEAR(onRing.red, 230, 3);
    EXPECT_NEAR(onRing.green, 77, 3);
    const auto box = canvas.drawnBox();
    ASSERT_TRUE(box);
    EXPECT_NEAR(box->maxX, 200 + outer + 3.375, 1.5);
    EXPECT_NEAR(box->minY, 200 - outer - 3.375, 1.5);
    EXPECT_NEAR(canvas.pixel(200, 200).alpha, 0.6 * 255, 4);  // the dot
}

TEST(ClickLayer, OwnAnimationOverridesTheProjectsAndNoneDisabledOrCroppedDrawNothing) {
    Clicks c;
    c.inputs.edit.cursor.cursorClickAnimationStyle = CursorClickAnimationStyle::none;
    EXPECT_FALSE(c.draw(1.3).drawnBox());
    c.annotations[0].animationStyle = CursorClickAnimationStyle::bounce;
    const auto bounce = c.draw(1.3).drawnBox();
    ASSERT_TRUE(bounce);
    EXPECT_NEAR(bounce->maxX - bounce->minX + 1, 84, 2);  // the 42-point halo at zoom 2
    c.inputs.edit.cursor.cursorClickAnimationStyle = CursorClickAnimationStyle::ripple;
    c.annotations[0].animationStyle = CursorClickAnimationStyle::none;
    EXPECT_FALSE(c.draw(1.3).drawnBox());

    c.annotations[0].animationStyle.reset();
    EXPECT_TRUE(c.draw(2.2).drawnBox());
    EXPECT_FALSE(c.draw(0.999).drawnBox());
    c.annotations[0].enabled = false;
    EXPECT_FALSE(c.draw(1.3).drawnBox());
    c.annotations[0].enabled = true;
    c.inputs.edit.cursor.showAnnotations = false;
    EXPECT_FALSE(c.draw(1.3).drawnBox());
    c.inputs.edit.cursor.showAnnotations = true;
    c.inputs.edit.frame.cropRect = Rect{0, 0, 0.4, 0.4};
    EXPECT_FALSE(c.draw(1.3).drawnBox());
}

TEST(ClickLayer, LabelSitsRightOfTheMarkerAndFadesWithIt) {
    Clicks c;
    // From x = 256 (56 right of the click) there is only the label: no ripple ring ever reaches 55.
    auto label = [&](const std::string& text, double t) {
        c.annotations[0].label = text;
        return c.draw(t, 1).drawnBox(0, 256);
    };
    EXPECT_FALSE(label("  \n", 1.3));
    const auto box = label("Save changes", 1.3);
    ASSERT_TRUE(box);
    EXPECT_GT(box->maxX, 300);
    EXPECT_LT(box->minY, 200);
    EXPECT_GT(box->maxY, 200);
    EXPECT_LT(box->maxY - box->minY, 40);
    EXPECT_FALSE(label("Save changes", 2.2));
}

}  // namespace
}  // namespace orvane
