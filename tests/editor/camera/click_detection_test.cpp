#include "editor/click_detection.h"

#include <gtest/gtest.h>

#include <vector>

#include "camera_test_support.h"

namespace orvane {
namespace {

TEST(ClickDetectionTest, PressEdgesBecomeClicksWithCloseRepeatsDropped) {
    auto track = testing::restingTrack(0, 2000, 50, 0.3, 0.4);
    testing::press(track, 0, 50);       // pressed from the first sample: a click at 0
    testing::press(track, 200, 250);    // 0.2 s later: the same click
    testing::press(track, 500, 600);    // 0.3 s after the last kept one: a new click
    testing::press(track, 1500, 2000);  // still pressed at the end
    const auto clicks = clicksFromTelemetry(track);
    ASSERT_EQ(clicks.size(), 3u);
    EXPECT_EQ(clicks[1].time, 0.5);
    EXPECT_EQ(clicks[2].time, 1.5);
    ClickAnnotation expected{clicks[1].id, 0.5, 0.3, 0.4, "", AnnotationColor::accent, true, std::nullopt, std::nullopt};
    EXPECT_EQ(clicks[1], expected);
    EXPECT_NE(clicks[0].id, clicks[1].id);
}

TEST(ClickDetectionTest, PressRunsAreClassifiedByDurationAndTravel) {
    const std::vector<CursorTelemetryPoint> track = {
        {0, 0.5, 0.5, true}, {500, 0.5, 0.5, true}, {520, 0.5, 0.5, false},  // 0.5 s still: long press
        // 0.2 s moving 0.1 and back part of the way: a swipe ending at the farthest point
        {1000, 0.2, 0.2, true}, {1100, 0.3, 0.2, true}, {1200, 0.25, 0.2, true}, {1300, 0.25, 0.2, false},
        {2000, 0.0, 0.0, true}, {2100, 0.9, 0.9, true}, {2150, 0.9, 0.9, false},  // 0.1 s: a tap however far
        {3000, 0.5, 0.5, true}, {3300, 0.52, 0.5, true}};  // short travel, still pressed at the end: a tap
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
