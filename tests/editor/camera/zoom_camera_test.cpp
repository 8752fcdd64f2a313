#include "editor/zoom_camera.h"

#include <gtest/gtest.h>

#include <vector>

#include "camera_test_support.h"

namespace orvane {
namespace {

constexpr double kTolerance = 1e-9;

ZoomRegion region(double start, double end, double scale, double fx, double fy, double easeSpeed = 0.5,
                  bool follow = false) {
    ZoomRegion r;
    r.start = start;
    r.end = end;
    r.scale = scale;
    r.focusX = fx;
    r.focusY = fy;
    r.easeSpeed = easeSpeed;
    r.followCursor = follow;
    return r;
}

void expectState(const CameraState& actual, double scale, double fx, double fy) {
    EXPECT_NEAR(actual.scale, scale, kTolerance);
    EXPECT_NEAR(actual.focusX, fx, kTolerance);
    EXPECT_NEAR(actual.focusY, fy, kTolerance);
}

TEST(ZoomCameraTest, OneRegionRampsInHoldsAndRampsOut) {
    const std::vector<ZoomRegion> zooms = {region(2.0, 4.0, 2.0, 0.25, 0.25)};
    const ZoomEase ease = zoomEase(zooms[0]);
    EXPECT_NEAR(ease.leadIn, 0.625, kTolerance);
    EXPECT_NEAR(ease.leadOut, 0.925, kTolerance);

    const CameraInputs inputs{.zoomRegions = zooms};
    expectState(cameraState(inputs, 1.375), 1, 0.5, 0.5);
    expectState(cameraState(inputs, 1.6875), 1.5, 0.375, 0.375);
    for (double t : {2.0, 3.0, 4.0}) expectState(cameraState(inputs, t), 2, 0.25, 0.25);
    expectState(cameraState(inputs, 4.925), 1, 0.5, 0.5);
    expectState(cameraState(inputs, 9.0), 1, 0.5, 0.5);
    expectState(cameraState({}, 3.0), 1, 0.5, 0.5);

    // The ramp eases: slower than linear near its ends, faster in the middle.
    EXPECT_LT(zoomWeight(zooms[0], 1.375 + 0.0625), 0.1 / 2);
    EXPECT_NEAR(zoomPresence(zooms, 1.6875), 0.5, kTolerance);
    EXPECT_NEAR(zoomPresence(zooms, 3.0), 1, kTolerance);
    EXPECT_EQ(zoomPresence({}, 3.0), 0);
}

TEST(ZoomCameraTest, EaseSpeedSetsRampLengthsAndShortRegionsShrinkThem) {
    EXPECT_NEAR(zoomEase(region(0, 10, 2, 0.5, 0.5, 0)).leadIn, 0.3, kTolerance);
    EXPECT_NEAR(zoomEase(region(0, 10, 2, 0.5, 0.5, 1)).leadIn, 0.95, kTolerance);
    EXPECT_NEAR(zoomEase(region(0, 10, 2, 0.5, 0.5, 7)).leadOut, 1.4, kTolerance);
    EXPECT_NEAR(zoomEase(region(0, 10, 2, 0.5, 0.5, -3)).leadOut, 0.45, kTolerance);

    const ZoomEase shortEase = zoomEase(region(5.0, 5.5, 2, 0.5, 0.5, 1));
    EXPECT_NEAR(shortEase.leadIn, 0.95 * 0.5 / 2.35, kTolerance);
    EXPECT_NEAR(shortEase.leadOut, 1.4 * 0.5 / 2.35, kTolerance);
    EXPECT_NEAR(shortEase.leadIn, 0.202, 0.001);
    EXPECT_NEAR(shortEase.leadOut, 0.298, 0.001);

    // A reversed region collapses its ramps and never contributes.
    const ZoomRegion reversed = region(4.0, 3.0, 2, 0.1, 0.1);
    EXPECT_EQ(zoomEase(reversed).leadIn, 0);
    for (double t : {2.9, 3.0, 3.5, 4.0, 4.1}) EXPECT_EQ(zoomWeight(reversed, t), 0) << t;
}

TEST(ZoomCameraTest, OverlappingRegionsBlendByWeight) {
    const std::vector<ZoomRegion> zooms = {region(1, 5, 1.6, 0.2, 0.5), region(2, 6, 2.0, 0.8, 0.5)};
    expectState(cameraState({.zoomRegions = zooms}, 3.0), 1.8, 0.5, 0.5);
    // Before the second ramps in, the first alone decides.
    expectState(cameraState({.zoomRegions = zooms}, 1.2), 1.6, 0.2, 0.5);
}

TEST(ZoomCameraTest, FollowingRegionTracksTheSmoothedCursorOrHoldsItsFocus) {
    // The cursor rests at (0.7, 0.3) from 2 s to 4 s of the recording; nothing elsewhere.
    const auto track = testing::restingTrack(2000, 4000, 16, 0.7, 0.3);
    const std::vector<ZoomRegion> zooms = {region(1, 9, 2.0, 0.4, 0.6, 0.5, true)};
    CameraInputs inputs{.zoomRegions = zooms, .cursorTrack = track};
    expectState(cameraState(inputs, 3.0), 2.0, 0.7, 0.3);
    // Far from any sample the region holds its own focus.
    expectState(cameraState(inputs, 8.0), 2.0, 0.4, 0.6);

    // Through a clip placed 1 s later on the timeline: composition 4 s shows recording 3 s; past
    // the clip there is no recording time, so the region holds.
    Clip clip;
    clip.sourceStart = 0;
    clip.sourceEnd = 5;
    clip.headOffset = 1;
    const std::vector<Clip> clips = {clip};
    inputs.clips = clips;
    expectState(cameraState(inputs, 4.0), 2.0, 0.7, 0.3);
    expectState(cameraState(inputs, 7.0), 2.0, 0.4, 0.6);
}

TEST(ZoomCameraTest, FaceCameraShrinksWithTheZoomButNeverGrows) {
    EXPECT_NEAR(faceCamScale(1.0, true, 0.75), 0.75, kTolerance);
    EXPECT_NEAR(faceCamScale(0.5, true, 0.75), 0.875, kTolerance);
    EXPECT_EQ(faceCamScale(0.0, true, 0.75), 1);
    EXPECT_EQ(faceCamScale(1.0, false, 0.75), 1);
    EXPECT_EQ(faceCamScale(1.0, true, 1.3), 1);
    EXPECT_NEAR(faceCamScale(1.0, true, 0.02), 0.1, kTolerance);
}

TEST(ZoomCameraTest, PreviewTransformCentresTheFocusWithinTheCrop) {
    const PreviewTransform plain = previewTransform({2.0, 0.25, 0.75}, std::nullopt, {1000, 500});
    EXPECT_NEAR(plain.scale, 2.0, kTolerance);
    EXPECT_NEAR(plain.offsetX, 250, kTolerance);
    EXPECT_NEAR(plain.offsetY, -125, kTolerance);

    const PreviewTransform cropped = previewTransform({1.5, 0.4, 0.5}, Rect{0.5, 0.0, 0.5, 1.0}, {100, 100});
    EXPECT_NEAR(cropped.offsetX, 0.5 * 0.5 * 100, kTolerance);  // focus clamped to the crop's left edge
    // An empty crop is ignored; a scale below 1 is lifted to 1.
    EXPECT_NEAR(previewTransform({1.5, 0.4, 0.5}, Rect{0.5, 0.0, 0.0, 1.0}, {100, 100}).offsetX, 5.0, kTolerance);
    EXPECT_EQ(previewTransform({0.5, 0.1, 0.1}, std::nullopt, {100, 100}), (PreviewTransform{1, 0, 0}));
}

TEST(ZoomCameraTest, SmoothingBandsAndControlTexts) {
    EXPECT_EQ(cameraSmoothingBandName(0.0), "Snappy");
    EXPECT_EQ(cameraSmoothingBandName(0.2), "Light");
    EXPECT_EQ(cameraSmoothingBandName(0.6), "Smooth");
    EXPECT_EQ(cameraSmoothingBandName(0.7), "Glassy");
    EXPECT_EQ(cameraSmoothingBandName(0.9), "Cinematic");
    EXPECT_EQ(faceCamScalePercentText(0.75), "75%");
    EXPECT_EQ(faceCamScalePercentText(0.999), "99%");
}

}  // namespace
}  // namespace orvane
