#include "editor/click_detection.h"

#include <gtest/gtest.h>

#include <vector>

#include "camera_test_support.h"

namespace orvane {
namespace {

TEST(ClickDetectionTest, PressEdgesBecomeClicksWithCloseRepeatsDropped) {
    auto track = testing::restingTrack(0, 2000, 50, 0.3, 0.4);
    testing::press(track, 0, 50);       // pressed from the first sample: counts as a click at 0
    testing::press(track, 200, 250);    // 0.2 s later: same click
    testing::press(track, 500, 600);    // 0.3 s after the last kept one: a new click
    testing::press(track, 1500, 2000);  // still pressed at the end
    const auto clicks = clicksFromTelemetry(track);
    ASSERT_EQ(clicks.size(), 3u);
    EXPECT_EQ(clicks[0].time, 0.0);
    EXPECT_EQ(clicks[1].time, 0.5);
    EXPECT_EQ(clicks[2].time, 1.5);
    EXPECT_EQ(clicks[1].cx, 0.3);
    EXPECT_EQ(clicks[1].cy, 0.4);
    EXPECT_EQ(clicks[1].color, AnnotationColor::accent);
    EXPECT_TRUE(clicks[1].enabled);
    EXPECT_TRUE(clicks[1].label.empty());
    EXPECT_FALSE(clicks[1].animationStyle);
    EXPECT_FALSE(clicks[1].clickSoundEnabled);
    EXPECT_NE(clicks[0].id, clicks[1].id);
    EXPECT_TRUE(clicksFromTelemetry({}).empty());
}

TEST(ClickDetectionTest, PressRunsAreClassifiedByDurationAndTravel) {
    std::vector<CursorTelemetryPoint> track;
    auto add = [&](std::int64_t t, double x, double y, bool pressed) { track.push_back({t, x, y, pressed}); };
    // Held 0.5 s without moving: long press.
    add(0, 0.5, 0.5, true);
    add(500, 0.5, 0.5, true);
    add(520, 0.5, 0.5, false);
    // Held 0.2 s while moving 0.1 of the width, back part of the way: a swipe ending at the farthest point.
    add(1000, 0.2, 0.2, true);
    add(1100, 0.3, 0.2, true);
    add(1200, 0.25, 0.2, true);
    add(1300, 0.25, 0.2, false);
    // A 0.1 s press is a tap however far it moves.
    add(2000, 0.0, 0.0, true);
    add(2100, 0.9, 0.9, true);
    add(2150, 0.9, 0.9, false);
    // 0.3 s held with small travel: neither swipe nor long press. Still pressed at the end.
    add(3000, 0.5, 0.5, true);
    add(3300, 0.52, 0.5, true);

    const auto gestures = interactionsFromTelemetry(track);
    ASSERT_EQ(gestures.size(), 4u);
    EXPECT_EQ(gestures[0].kind, CursorInteraction::Kind::longPress);
    EXPECT_EQ(gestures[0].endTime, 0.5);
    EXPECT_EQ(gestures[1].kind, CursorInteraction::Kind::swipe);
    EXPECT_EQ(gestures[1].startTime, 1.0);
    EXPECT_EQ(gestures[1].endTime, 1.2);
    EXPECT_EQ(gestures[1].endX, 0.3);
    EXPECT_EQ(gestures[2].kind, CursorInteraction::Kind::tap);
    EXPECT_EQ(gestures[2].endX, 0.9);
    EXPECT_EQ(gestures[3].kind, CursorInteraction::Kind::tap);
    EXPECT_EQ(gestures[3].endTime, 3.3);

    // A lone pressed sample still makes a gesture; on equal distances the earlier sample is the end.
    const std::vector<CursorTelemetryPoint> tie = {
        {0, 0.5, 0.5, true}, {10, 0.6, 0.5, true}, {20, 0.4, 0.5, true}, {30, 0.5, 0.5, false}};
    const auto tied = interactionsFromTelemetry(tie);
    ASSERT_EQ(tied.size(), 1u);
    EXPECT_EQ(tied[0].endX, 0.6);
    EXPECT_EQ(interactionsFromTelemetry(std::vector<CursorTelemetryPoint>{{7, 0.1, 0.1, true}}).size(), 1u);
}

}  // namespace
}  // namespace orvane
