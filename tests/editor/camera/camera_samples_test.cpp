#include "editor/camera_samples.h"

#include <gtest/gtest.h>

#include <vector>

#include "camera_test_support.h"

namespace orvane {
namespace {

TEST(CameraSamplesTest, GridCoversTheTrimWithBothEnds) {
    EXPECT_EQ(cameraSamples({}, 3.0, 3.0).size(), 2u);  // an empty trim still gives one interval
    EXPECT_EQ(cameraSamples({}, 5.0, 2.0).size(), 2u);
    const auto second = cameraSamples({}, 2.0, 3.0);
    ASSERT_EQ(second.size(), 61u);
    EXPECT_DOUBLE_EQ(second.front().t, 2.0);
    EXPECT_NEAR(second[1].t, 2.0 + 1.0 / 60, 1e-12);
    EXPECT_NEAR(second.back().t, 3.0, 1e-12);
    EXPECT_EQ(cameraSampleIntervals(0, 1.001), 61);

    ZoomRegion zoom;
    zoom.start = 2.5;
    zoom.end = 2.9;
    zoom.scale = 2;
    zoom.followCursor = false;
    const std::vector<ZoomRegion> zooms = {zoom};
    const auto zoomed = cameraSamples({.zoomRegions = zooms}, 2.0, 3.0);
    EXPECT_EQ(zoomed.front().scale, 1);
    EXPECT_NEAR(zoomed[42].scale, 2, 1e-12);  // t = 2.7 holds
    EXPECT_EQ(zoomed[42].focusX, 0.5);
}

TEST(CameraSamplesTest, CursorSamplesUseTheLinearLookupThroughTheClips) {
    const std::vector<CursorTelemetryPoint> track = {{0, 0.0, 0.0, false}, {1000, 1.0, 0.5, false}};
    const auto unmapped = cursorSamples({.cursorTrack = track}, 0.0, 1.0);
    ASSERT_EQ(unmapped.size(), 61u);
    EXPECT_NEAR(unmapped[30].x, 0.5, 1e-12);
    EXPECT_NEAR(unmapped[30].y, 0.25, 1e-12);

    // A clip from 0.5 s of composition showing the recording from 0.2 s: earlier points show no
    // recording and are skipped.
    Clip clip;
    clip.sourceStart = 0.2;
    clip.sourceEnd = 1.0;
    clip.headOffset = 0.5;
    const std::vector<Clip> clips = {clip};
    const auto mapped = cursorSamples({.cursorTrack = track, .clips = clips}, 0.0, 1.0);
    ASSERT_EQ(mapped.size(), 31u);
    EXPECT_DOUBLE_EQ(mapped.front().t, 0.5);
    EXPECT_NEAR(mapped.front().x, 0.2, 1e-12);

    EXPECT_TRUE(cursorSamples({}, 0.0, 1.0).empty());
}

}  // namespace
}  // namespace orvane
