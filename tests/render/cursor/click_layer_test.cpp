#include <vector>

#include <gtest/gtest.h>

#include "render/click_animation.h"
#include "render/click_layer.h"
#include "render/cursor/cursor_canvas.h"

namespace orvane {
namespace {

using testing::CursorCanvas;
using Kind = ClickMarkShape::Kind;

// e at a quarter of the life: 1 - 0.75^2.4.
constexpr double kQuarterEase = 0.49864306;

void expectShape(const ClickMarkShape& shape, Kind kind, double diameter, double alpha, double line) {
    EXPECT_EQ(shape.kind, kind);
    EXPECT_NEAR(shape.diameter, diameter, 1e-4);
    EXPECT_NEAR(shape.alpha, alpha, 1e-9);
    if (kind == Kind::ring) {
        EXPECT_NEAR(shape.lineWidth, line, 1e-9);
    }
}

TEST(ClickAnimation, LifeRunsFromTheClickToExactly1Point2Seconds) {
    EXPECT_FALSE(clickAnimationProgress(-0.0001));
    EXPECT_DOUBLE_EQ(*clickAnimationProgress(0), 0);
    EXPECT_DOUBLE_EQ(*clickAnimationProgress(0.3), 0.25);
    EXPECT_DOUBLE_EQ(*clickAnimationProgress(1.2), 1);
    EXPECT_FALSE(clickAnimationProgress(1.2001));
}

TEST(ClickAnimation, EveryStyleAtAQuarterOfItsLife) {
    const double e = kQuarterEase;
    const auto ripple = clickAnimationShapes(CursorClickAnimationStyle::ripple, 0.25);
    ASSERT_EQ(ripple.size(), 3u);
    expectShape(ripple[0], Kind::ring, 28 + 76 * e, 0.575, 3.375);
    expectShape(ripple[1], Kind::ring, 22 + 14 * e, 0.7875, 2.7);
    expectShape(ripple[2], Kind::disc, 9 - 5.5 * e, 0.6, 0);
    const auto brush = clickAnimationShapes(CursorClickAnimationStyle::brush, 0.25);
    ASSERT_EQ(brush.size(), 3u);
    EXPECT_DOUBLE_EQ(brush[0].diameter, ripple[0].diameter);

    const auto pulse = clickAnimationShapes(CursorClickAnimationStyle::pulse, 0.25);
    ASSERT_EQ(pulse.size(), 3u);
    expectShape(pulse[0], Kind::disc, 38 + 20 * e, 0.18, 0);
    expectShape(pulse[1], Kind::ring, 26 + 18 * e, 0.65, 3.5);
    expectShape(pulse[2], Kind::disc, 9, 0.6625, 0);

    // The bounce peaks at a quarter and is back to size and still opaque at the half.
    const auto bounce = clickAnimationShapes(CursorClickAnimationStyle::bounce, 0.25);
    ASSERT_EQ(bounce.size(), 2u);
    expectShape(bounce[0], Kind::disc, 42, 0.22, 0);
    expectShape(bounce[1], Kind::disc, 27, 1, 0);
    expectShape(clickAnimationShapes(CursorClickAnimationStyle::bounce, 0.125)[1], Kind::disc, 18 * 1.375, 1, 0);
    expectShape(clickAnimationShapes(CursorClickAnimationStyle::bounce, 0.5)[1], Kind::disc, 18, 1, 0);
    expectShape(clickAnimationShapes(CursorClickAnimationStyle::bounce, 0.75)[1], Kind::disc, 18, 0.5, 0);

    // At the end everything has faded but the line widths keep their floors.
    const auto end = clickAnimationShapes(CursorClickAnimationStyle::ripple, 1);
    EXPECT_DOUBLE_EQ(end[0].alpha, 0);
    EXPECT_DOUBLE_EQ(end[0].lineWidth, 0.4);
    EXPECT_TRUE(clickAnimationShapes(CursorClickAnimationStyle::none, 0.25).empty());
}

struct Clicks {
    std::vector<ClickAnnotation> annotations;
    CursorEffectsInputs inputs;
    const CursorEffectsInputs& bind() {
        inputs.annotations = annotations;
        return inputs;
    }
};

ClickAnnotation clickAt(double time, double cx, double cy) {
    ClickAnnotation a;
    a.time = time;
    a.cx = cx;
    a.cy = cy;
    return a;
}

const CursorLayerFrame kFrame{Rect{0, 0, 400, 400}, 2};

TEST(ClickLayer, RippleAtAQuarterIsDrawnAtItsSizeScaledByTheZoomInItsColour) {
    Clicks c;
    c.annotations.push_back(clickAt(1, 0.5, 0.5));
    c.annotations.back().color = AnnotationColor::red;
    CursorCanvas canvas(400, 400);
    drawClickAnnotations(canvas.context(), c.bind(), 1.3, kFrame);
    // Outer ring: radius 65.9 × 2 / 2, line 6.75.
    const double outer = (28 + 76 * kQuarterEase);
    const auto onRing = canvas.pixel(200 + static_cast<int>(outer), 200);
    EXPECT_NEAR(onRing.alpha, 0.575 * 255, 4);
    EXPECT_NEAR(onRing.red, 230, 3);
    EXPECT_NEAR(onRing.green, 77, 3);
    EXPECT_NEAR(onRing.blue, 71, 3);
    const auto box = canvas.drawnBox();
    ASSERT_TRUE(box);
    EXPECT_NEAR(box->maxX, 200 + outer + 3.375, 1.5);
    EXPECT_NEAR(box->minY, 200 - outer - 3.375, 1.5);
    // The dot in the middle.
    EXPECT_NEAR(canvas.pixel(200, 200).alpha, 0.6 * 255, 4);
}

TEST(ClickLayer, OwnAnimationOverridesTheProjectsAndNoneOrDisabledDrawNothing) {
    auto drawn = [](Clicks& c, double t) {
        CursorCanvas canvas(400, 400);
        drawClickAnnotations(canvas.context(), c.bind(), t, kFrame);
        return canvas.drawnBox();
    };
    Clicks c;
    c.inputs.cursorClickAnimationStyle = CursorClickAnimationStyle::none;
    c.annotations.push_back(clickAt(1, 0.5, 0.5));
    EXPECT_FALSE(drawn(c, 1.3));
    c.annotations.back().animationStyle = CursorClickAnimationStyle::bounce;
    const auto bounce = drawn(c, 1.3);
    ASSERT_TRUE(bounce);
    EXPECT_NEAR(bounce->maxX - bounce->minX + 1, 84, 2);  // the 42-point halo at zoom 2

    c.inputs.cursorClickAnimationStyle = CursorClickAnimationStyle::ripple;
    c.annotations.back().animationStyle = CursorClickAnimationStyle::none;
    EXPECT_FALSE(drawn(c, 1.3));

    c.annotations.back().animationStyle.reset();
    EXPECT_TRUE(drawn(c, 1.0));
    EXPECT_FALSE(drawn(c, 0.999));
    EXPECT_FALSE(drawn(c, 2.21));
    c.annotations.back().enabled = false;
    EXPECT_FALSE(drawn(c, 1.3));
    c.annotations.back().enabled = true;
    c.inputs.showAnnotations = false;
    EXPECT_FALSE(drawn(c, 1.3));
    c.inputs.showAnnotations = true;
    c.inputs.cropRect = Rect{0, 0, 0.4, 0.4};
    EXPECT_FALSE(drawn(c, 1.3));
}

TEST(ClickLayer, LabelSitsRightOfTheMarkerAndFadesWithIt) {
    const CursorLayerFrame frame{Rect{0, 0, 400, 400}, 1};
    auto labelBox = [&](const std::string& label, double t) {
        Clicks c;
        c.annotations.push_back(clickAt(1, 0.25, 0.5));
        c.annotations.back().label = label;
        CursorCanvas canvas(400, 400);
        drawClickAnnotations(canvas.context(), c.bind(), t, frame);
        // Beyond the ripple's outer ring (at most 52 + 2.25 from the point at zoom 1).
        return canvas.drawnBoxIn(100 + 56, 0, 400, 400);
    };
    EXPECT_FALSE(labelBox("", 1.3));
    EXPECT_FALSE(labelBox("  \n", 1.3));
    const auto box = labelBox("Save changes", 1.3);
    ASSERT_TRUE(box);
    EXPECT_GT(box->maxX, 100 + 100);
    EXPECT_LT(box->minY, 200);
    EXPECT_GT(box->maxY, 200);
    EXPECT_LT(box->maxY - box->minY, 40);
    EXPECT_FALSE(labelBox("Save changes", 2.2));
    EXPECT_DOUBLE_EQ(clickLabelAlpha(0.5), 1);
    EXPECT_DOUBLE_EQ(clickLabelAlpha(0.875), 0.5);
}

}  // namespace
}  // namespace orvane
