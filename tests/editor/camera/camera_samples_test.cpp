#include "editor/camera_samples.h"

#include <gtest/gtest.h>

#include <vector>

namespace orvane {
namespace {

TEST(CameraSamplesTest, GridCoversTheTrimWithBothEnds) {
    EXPECT_EQ(cameraSamples({}, 3.0, 3.0).size(), 2u);
    const std::vector<ZoomRegion> zooms = {ZoomRegion{Uuid::random(), 2.5, 2.9, 2.0, 0.25, 0.5, false, 0.5}};
    const auto samples = cameraSamples({.zoomRegions = zooms}, 2.0, 3.0);
    ASSERT_EQ(samples.size(), 61u);
    EXPECT_NEAR(samples.back().t, 3.0, 1e-12);
    EXPECT_EQ(samples.front().scale, 1);
    EXPECT_EQ(samples[42], (CameraSample{2.0 + 42.0 / 60, 2.0, 0.25, 0.5}));  // t = 2.7 holds
}

TEST(CameraSamplesTest, CursorSamplesUseTheLinearLookupThroughTheClips) {
    const std::vector<CursorTelemetryPoint> track = {{0, 0.0, 0.0, false}, {1000, 1.0, 0.5, false}};
    const auto unmapped = cursorSamples({.cursorTrack = track}, 0.0, 1.0);
    ASSERT_EQ(unmapped.size(), 61u);
    EXPECT_NEAR(unmapped[30].x, 0.5, 1e-12);

    // From 0.5 s of composition the clip shows the recording from 0.2 s; earlier points are skipped.
    const std::vector<Clip> clips = {Clip{Uuid::random(), "screen.mp4", 0.2, 1.0, 0.5}};
    const auto mapped = cursorSamples({.cursorTrack = track, .clips = clips}, 0.0, 1.0);
    ASSERT_EQ(mapped.size(), 31u);
    EXPECT_EQ(mapped.front().t, 0.5);
    EXPECT_NEAR(mapped.front().x, 0.2, 1e-12);
}

}  // namespace
}  // namespace orvane
