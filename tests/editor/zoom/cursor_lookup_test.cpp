#include "model/camera/cursor_lookup.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "editor/click_detection.h"
#include "model/camera/camera_test_support.h"

namespace orvane {
namespace {

TEST(CursorLookupTest, LinearLookupInterpolatesBetweenBracketingSamplesAndHoldsTheEnds) {
    const std::vector<CursorTelemetryPoint> track = {
        {100, 0.1, 0.2, false}, {200, 0.3, 0.6, false}, {200, 0.9, 0.9, false}, {400, 0.5, 0.1, false}};
    EXPECT_FALSE(cursorPosition({}, 1.0));
    EXPECT_EQ(cursorPosition(track, 0.0), (CursorPosition{0.1, 0.2}));
    EXPECT_EQ(cursorPosition(track, 5.0), (CursorPosition{0.5, 0.1}));
    // 0.1259 s truncates to 125 ms: a quarter of the way from the first sample to the second.
    EXPECT_NEAR(cursorPosition(track, 0.1259)->x, 0.15, 1e-12);
    EXPECT_NEAR(cursorPosition(track, 0.125)->y, 0.3, 1e-12);
    // After equal timestamps the later duplicate starts the next interval.
    EXPECT_NEAR(cursorPosition(track, 0.3)->x, 0.7, 1e-12);
}

TEST(CursorLookupTest, SmoothedLookupWeighsTheWindowAroundTheTime) {
    EXPECT_DOUBLE_EQ(cursorSmoothingSigmaMs(0), 80);
    EXPECT_EQ(cursorSmoothingHalfWindowMs(0), 280);
    EXPECT_NEAR(cursorSmoothingSigmaMs(0.6), 452, 1e-9);
    EXPECT_EQ(cursorSmoothingHalfWindowMs(1), 2450);
    EXPECT_DOUBLE_EQ(cursorSmoothingSigmaMs(1.7), 700);

    const std::vector<CursorTelemetryPoint> track = {
        {0, 0.9, 0.9, false}, {950, 0.2, 0.4, false}, {1050, 0.4, 0.8, false}, {5030, 0.0, 0.0, false}};
    const auto centred = smoothedCursor(track, 1.0, 0);
    EXPECT_NEAR(centred->x, 0.3, 1e-12);
    EXPECT_NEAR(centred->y, 0.6, 1e-12);
    const double wNear = std::exp(-0.5 * std::pow(20.0 / 80.0, 2));
    const double wFar = std::exp(-0.5 * std::pow(80.0 / 80.0, 2));
    EXPECT_NEAR(smoothedCursor(track, 0.97, 0)->x, (wNear * 0.2 + wFar * 0.4) / (wNear + wFar), 1e-12);
    // The window is inclusive (280 ms at smoothing 0) and a wider smoothing reaches farther.
    EXPECT_TRUE(smoothedCursor(track, 4.75, 0));
    EXPECT_FALSE(smoothedCursor(track, 4.749, 0));
    EXPECT_FALSE(smoothedCursor(track, 3.0, 0));
    EXPECT_TRUE(smoothedCursor(track, 3.0, 1.0));
    EXPECT_FALSE(smoothedCursor({}, 1.0, 0.6));
}

TEST(CursorLookupTest, TabulatedSmootherAnswersExactlyLikeTheDirectLookup) {
    // Irregular spacing, as the sampler's truncated timestamps give.
    std::vector<CursorTelemetryPoint> track;
    for (std::int64_t t = 0, i = 0; t < 8000; t += 13 + (i * 7) % 11, ++i)
        track.push_back({t, 0.5 + 0.4 * std::sin(t * 0.001), 0.5 + 0.3 * std::cos(t * 0.0017), false});
    for (double smoothing : {0.0, 0.35, 0.6, 1.0}) {
        const CursorSmoother smoother(smoothing);
        for (double t = -3.0; t < 12.0; t += 0.0371)
            EXPECT_EQ(smoother.at(track, t), smoothedCursor(track, t, smoothing));
    }
}

TEST(ClickDetectionTest, PressEdgesBecomeClicksWithCloseRepeatsDropped) {
    auto track = testing::restingTrack(0, 2000, 50, 0.3, 0.4);
    testing::press(track, 0, 50);       // pressed from the first sample: a click at 0
    testing::press(track, 200, 250);    // 0.2 s later: the same click
    testing::press(track, 500, 600);    // 0.3 s after the last kept one: a new click
    testing::press(track, 1100, 1150);  // 0.6 s later: a new click
    testing::press(track, 1400, 1450);  // 0.3 s later, though 1.4 - 1.1 is a hair under 0.3 in doubles
    testing::press(track, 1650, 2000);  // 0.25 s later, and still pressed at the end: the same click
    const auto clicks = clicksFromTelemetry(track);
    ASSERT_EQ(clicks.size(), 4u);
    EXPECT_EQ(clicks[1].time, 0.5);
    EXPECT_EQ(clicks[2].time, 1.1);
    EXPECT_EQ(clicks[3].time, 1.4);
    ClickAnnotation expected{clicks[1].id, 0.5,          0.3,         0.4, "", AnnotationColor::accent,
                             true,         std::nullopt, std::nullopt};
    EXPECT_EQ(clicks[1], expected);
    EXPECT_NE(clicks[0].id, clicks[1].id);
}

TEST(ClickDetectionTest, PressRunsAreClassifiedByDurationAndTravel) {
    const std::vector<CursorTelemetryPoint> track = {
        {0, 0.5, 0.5, true},
        {500, 0.5, 0.5, true},
        {520, 0.5, 0.5, false},  // 0.5 s still: long press
        // 0.2 s moving 0.1 and back part of the way: a swipe ending at the farthest point
        {1000, 0.2, 0.2, true},
        {1100, 0.3, 0.2, true},
        {1200, 0.25, 0.2, true},
        {1300, 0.25, 0.2, false},
        {2000, 0.0, 0.0, true},
        {2100, 0.9, 0.9, true},
        {2150, 0.9, 0.9, false},  // 0.1 s: a tap however far
        {3000, 0.5, 0.5, true},
        {3300, 0.52, 0.5, true}};  // short travel, still pressed at the end: a tap
    const auto gestures = interactionsFromTelemetry(track);
    ASSERT_EQ(gestures.size(), 4u);
    using Kind = CursorInteraction::Kind;
    EXPECT_EQ(gestures[0].kind, Kind::longPress);
    EXPECT_EQ(gestures[1], (CursorInteraction{gestures[1].id, Kind::swipe, 1.0, 1.2, 0.2, 0.2, 0.3, 0.2}));
    EXPECT_EQ(gestures[2].kind, Kind::tap);
    EXPECT_EQ(gestures[3].kind, Kind::tap);
    EXPECT_EQ(gestures[3].endTime, 3.3);

    // On equal distances the earlier sample is the end point.
    const std::vector<CursorTelemetryPoint> tie = {{0, 0.5, 0.5, true}, {10, 0.6, 0.5, true}, {20, 0.4, 0.5, true}};
    EXPECT_EQ(interactionsFromTelemetry(tie).at(0).endX, 0.6);
}

}  // namespace
}  // namespace orvane
