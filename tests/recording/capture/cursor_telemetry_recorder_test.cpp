#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <mutex>
#include <thread>
#include <tuple>

#include "base/event_loop.h"
#include "base/manual_executor.h"
#include "recording/cursor_telemetry_recorder.h"
#include "support/fake_pointer.h"

namespace orvane {
namespace {

using namespace std::chrono_literals;
using testing::FakePointer;

constexpr Rect kDisplay{0, 0, 1920, 1080};
constexpr auto kTick = 16'666'667ns;  // 1/60 s

class CursorTelemetryRecorderTest : public ::testing::Test {
protected:
    ManualExecutor queue;
    FakePointer pointer;
};

std::vector<bool> pressedFlags(const std::vector<CursorTelemetryPoint>& points) {
    std::vector<bool> flags;
    for (const auto& point : points) flags.push_back(point.pressed);
    return flags;
}

TEST_F(CursorTelemetryRecorderTest, SamplesAt60HzFromTheStart) {
    pointer.moveTo(960, 270);
    CursorTelemetryRecorder recorder(pointer, queue, kDisplay, 60);

    queue.advance(5s);  // time before start does not count
    recorder.start();
    queue.runPending();  // the first sample is immediate
    ASSERT_EQ(pointer.locationCalls, 1);

    queue.advance(kTick * 2);
    pointer.moveTo(480, 810);
    queue.advance(1s - kTick * 2 - 1ns);
    const CursorTelemetry telemetry = recorder.stop();

    EXPECT_EQ(telemetry.sampleHz, 60);
    ASSERT_EQ(telemetry.points.size(), 60u);
    for (std::size_t k = 0; k < telemetry.points.size(); ++k) {
        EXPECT_EQ(telemetry.points[k].t, static_cast<std::int64_t>(k * 1000 / 60)) << k;
    }
    EXPECT_EQ(pressedFlags(telemetry.points), std::vector<bool>(60, false));
    EXPECT_EQ(telemetry.points[2], (CursorTelemetryPoint{33, 0.5, 0.25, false}));
    EXPECT_EQ(telemetry.points[3], (CursorTelemetryPoint{50, 0.25, 0.75, false}));
}

TEST_F(CursorTelemetryRecorderTest, PositionsAreClampedToTheCapturedDisplay) {
    CursorTelemetryRecorder recorder(pointer, queue, kDisplay, 60);
    recorder.start();
    const std::pair<PointerLocation, std::pair<double, double>> cases[] = {
        {{-50, -1}, {0, 0}},
        {{5000, 2000}, {1, 1}},
        {{1920, 1080}, {1, 1}},
        {{-0.0, 540}, {0, 0.5}},
        {{std::numeric_limits<double>::quiet_NaN(), 1080 * 1.5}, {0, 1}},
        {{std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()}, {1, 0}},
    };
    for (const auto& [where, expected] : cases) {
        pointer.moveTo(where.x, where.y);
        queue.advance(kTick);
    }
    const auto points = recorder.stop().points;
    ASSERT_EQ(points.size(), std::size(cases) + 1);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(points[i + 1].cx, cases[i].second.first) << i;
        EXPECT_EQ(points[i + 1].cy, cases[i].second.second) << i;
    }
}

TEST(CursorTelemetryRecorder, DisplaysBesideThePrimaryUseTheirOwnRectangle) {
    // Left of and above a primary screen at the origin (negative coordinates), and X's usual layout
    // where the primary sits to the right of a secondary that starts at 0.
    const std::pair<Rect, PointerLocation> displays[] = {
        {{-1280, -300, 1280, 1024}, {-640, 212}},
        {{0, 0, 1280, 1024}, {640, 512}},
        {{1920, -1440, 2560, 1440}, {3200, -720}},
    };
    for (const auto& [frame, centre] : displays) {
        ManualExecutor queue;
        FakePointer pointer;
        CursorTelemetryRecorder recorder(pointer, queue, frame, 60);
        recorder.start();
        pointer.moveTo(centre.x, centre.y);
        queue.runPending();
        pointer.moveTo(frame.x + frame.width * 0.25, frame.maxY() + 500);  // below the display: y clamps
        queue.advance(kTick);
        const auto points = recorder.stop().points;
        ASSERT_EQ(points.size(), 2u);
        EXPECT_EQ(std::tuple(points[0].cx, points[0].cy, points[1].cx, points[1].cy), std::tuple(0.5, 0.5, 0.25, 1.0));
    }
}

TEST_F(CursorTelemetryRecorderTest, ButtonEventsReachTheSamplesOnlyThroughAMonitor) {
    CursorTelemetryRecorder recorder(pointer, queue, kDisplay, 60);
    recorder.start();
    EXPECT_TRUE(recorder.clickMonitorActive());
    EXPECT_TRUE(pointer.monitorInstalled());
    queue.runPending();

    pointer.button(true);
    queue.advance(kTick);
    queue.advance(kTick);  // held across two ticks
    pointer.button(false);
    queue.advance(kTick);
    pointer.button(true);
    pointer.button(false);  // a tap between two ticks shows in the next sample only
    queue.advance(kTick);
    queue.advance(kTick);
    pointer.button(false);
    pointer.button(true);
    queue.advance(kTick);
    pointer.button(true);  // after the last tick: no sample
    const auto points = recorder.stop().points;

    EXPECT_EQ(pressedFlags(points), (std::vector<bool>{false, true, true, false, true, false, true}));
    EXPECT_EQ(pointer.stopCalls, 1);
    EXPECT_FALSE(pointer.monitorInstalled());

    // Without a monitor positions are still sampled, all released, and there is nothing to stop.
    pointer.monitorAvailable = false;
    CursorTelemetryRecorder unmonitored(pointer, queue, kDisplay, 60);
    unmonitored.start();
    EXPECT_FALSE(unmonitored.clickMonitorActive());
    pointer.moveTo(1920, 0);
    queue.advance(kTick * 3);
    const auto released = unmonitored.stop().points;
    EXPECT_EQ(pressedFlags(released), std::vector<bool>(4, false));
    EXPECT_EQ(released.back().cx, 1.0);
    EXPECT_EQ(pointer.stopCalls, 1);
}

TEST_F(CursorTelemetryRecorderTest, NothingIsSampledAfterStop) {
    auto recorder = std::make_unique<CursorTelemetryRecorder>(pointer, queue, kDisplay, 30);
    recorder->start();
    queue.advance(100ms);
    const auto telemetry = recorder->stop();
    EXPECT_EQ(telemetry.sampleHz, 30);
    EXPECT_EQ(telemetry.points.size(), 4u);  // 0, 33, 66, 100 ms

    const int calls = pointer.locationCalls;
    queue.advance(1s);
    EXPECT_EQ(pointer.locationCalls, calls);
    EXPECT_TRUE(recorder->stop().points.empty());

    // A recorder dropped while sampling, with a button event still queued, leaves nothing behind.
    auto running = std::make_unique<CursorTelemetryRecorder>(pointer, queue, kDisplay, 60);
    running->start();
    queue.runPending();
    pointer.button(true);
    running.reset();
    queue.advance(1s);
    EXPECT_EQ(pointer.locationCalls, calls + 1);
    EXPECT_FALSE(pointer.monitorInstalled());
}

TEST(CursorTelemetryRecorder, RunsOnARealSerialQueue) {
    SerialQueue queue("orvane.test.cursor");
    FakePointer pointer;
    pointer.moveTo(480, 540);
    CursorTelemetryRecorder recorder(pointer, queue, kDisplay, 60);
    recorder.start();
    pointer.button(true);
    // Wait for a few ticks; bounded so a broken timer fails instead of hanging.
    for (int i = 0; i < 500 && pointer.locationCalls < 4; ++i) std::this_thread::sleep_for(10ms);
    const auto points = recorder.stop().points;
    ASSERT_GE(points.size(), 4u);
    EXPECT_GE(points.front().t, 0);
    for (std::size_t i = 1; i < points.size(); ++i) EXPECT_LE(points[i - 1].t, points[i].t);
    EXPECT_EQ(points.back(), (CursorTelemetryPoint{points.back().t, 0.25, 0.5, true}));
}

}  // namespace
}  // namespace orvane

