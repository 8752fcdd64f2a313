#include "model/camera/zoom_camera.h"

#include <gtest/gtest.h>

#include <vector>

#include "camera_test_support.h"
#include "model/camera/camera_samples.h"

namespace orvane {
namespace {

constexpr double kTolerance = 1e-9;

ZoomRegion region(double start, double end, double scale, double fx, double fy, double easeSpeed = 0.5,
                  bool follow = false) {
    return ZoomRegion{Uuid::random(), start, end, scale, fx, fy, follow, easeSpeed};
}

void expectState(const CameraState& actual, double scale, double fx, double fy) {
    EXPECT_NEAR(actual.scale, scale, kTolerance);
    EXPECT_NEAR(actual.focusX, fx, kTolerance);
    EXPECT_NEAR(actual.focusY, fy, kTolerance);
}

TEST(ZoomCameraTest, RegionsRampInHoldRampOutAndOverlapsBlendByWeight) {
    const std::vector<ZoomRegion> zooms = {region(2.0, 4.0, 2.0, 0.25, 0.25)};
    const CameraInputs inputs{.zoomRegions = zooms};
    expectState(cameraState(inputs, 1.375), 1, 0.5, 0.5);
    expectState(cameraState(inputs, 1.6875), 1.5, 0.375, 0.375);
    for (double t : {2.0, 3.0, 4.0}) expectState(cameraState(inputs, t), 2, 0.25, 0.25);
    expectState(cameraState(inputs, 4.925), 1, 0.5, 0.5);
    expectState(cameraState({}, 3.0), 1, 0.5, 0.5);
    // Smootherstep, not linear: slow at the ends of a ramp.
    EXPECT_LT(zoomWeight(zooms[0], 1.4375), 0.05);
    EXPECT_NEAR(zoomPresence(zooms, 1.6875), 0.5, kTolerance);

    // Overlapping regions blend by weight.
    const std::vector<ZoomRegion> overlapping = {region(1, 5, 1.6, 0.2, 0.5), region(2, 6, 2.0, 0.8, 0.5)};
    expectState(cameraState({.zoomRegions = overlapping}, 3.0), 1.8, 0.5, 0.5);
    expectState(cameraState({.zoomRegions = overlapping}, 1.2), 1.6, 0.2, 0.5);
}

TEST(ZoomCameraTest, EaseSpeedSetsRampLengthsAndShortRegionsShrinkThem) {
    EXPECT_NEAR(zoomEase(region(0, 10, 2, 0.5, 0.5, 0)).leadIn, 0.3, kTolerance);
    EXPECT_NEAR(zoomEase(region(0, 10, 2, 0.5, 0.5, 7)).leadOut, 1.4, kTolerance);
    const ZoomEase shortEase = zoomEase(region(5.0, 5.5, 2, 0.5, 0.5, 1));
    EXPECT_NEAR(shortEase.leadIn, 0.95 * 0.5 / 2.35, kTolerance);
    EXPECT_NEAR(shortEase.leadOut, 1.4 * 0.5 / 2.35, kTolerance);
    // A reversed region never contributes.
    for (double t : {2.9, 3.0, 3.5, 4.0}) EXPECT_EQ(zoomWeight(region(4.0, 3.0, 2, 0.1, 0.1), t), 0) << t;
}

TEST(ZoomCameraTest, FollowingRegionTracksTheSmoothedCursorOrHoldsItsFocus) {
    const auto track = testing::restingTrack(2000, 4000, 16, 0.7, 0.3);
    const std::vector<ZoomRegion> zooms = {region(1, 9, 2.0, 0.4, 0.6, 0.5, true)};
    CameraInputs inputs{.zoomRegions = zooms, .cursorTrack = track};
    expectState(cameraState(inputs, 3.0), 2.0, 0.7, 0.3);
    expectState(cameraState(inputs, 8.0), 2.0, 0.4, 0.6);  // no samples within the window

    // Through a clip placed 1 s into the timeline: composition 4 s shows recording 3 s.
    const std::vector<Clip> clips = {Clip{Uuid::random(), "screen.mp4", 0, 5, 1}};
    inputs.clips = clips;
    expectState(cameraState(inputs, 4.0), 2.0, 0.7, 0.3);
    const double w = zoomWeight(zooms[0], 0.5);  // ramping in before the clip starts: own focus
    expectState(cameraState(inputs, 0.5), 1.0 + w, 0.5 - 0.1 * w, 0.5 + 0.1 * w);
}

TEST(ZoomCameraTest, FaceCameraAndPreviewFollowTheZoom) {
    EXPECT_NEAR(faceCamScale(1.0, true, 0.75), 0.75, kTolerance);
    EXPECT_NEAR(faceCamScale(0.5, true, 0.75), 0.875, kTolerance);
    EXPECT_EQ(faceCamScale(1.0, false, 0.75), 1);
    EXPECT_EQ(faceCamScale(1.0, true, 1.3), 1);
    EXPECT_NEAR(faceCamScale(1.0, true, 0.02), 0.1, kTolerance);

    EXPECT_EQ(previewTransform({2.0, 0.25, 0.75}, std::nullopt, {1000, 500}), (PreviewTransform{2.0, 250, -125}));
    // Crop from x = 0.5: a focus at 0.4 clamps to the crop's left edge.
    EXPECT_NEAR(previewTransform({1.5, 0.4, 0.5}, Rect{0.5, 0.0, 0.5, 1.0}, {100, 100}).offsetX, 25, kTolerance);
    EXPECT_EQ(previewTransform({0.5, 0.1, 0.1}, std::nullopt, {100, 100}), (PreviewTransform{1, 0, 0}));

    EXPECT_EQ(cameraSmoothingBandName(0.19), "Snappy");
    EXPECT_EQ(cameraSmoothingBandName(0.2), "Light");
    EXPECT_EQ(cameraSmoothingBandName(0.6), "Smooth");
    EXPECT_EQ(cameraSmoothingBandName(0.7), "Glassy");
    EXPECT_EQ(cameraSmoothingBandName(0.9), "Cinematic");
    EXPECT_EQ(faceCamScalePercentText(0.999), "99%");
}

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
