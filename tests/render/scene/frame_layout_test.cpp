#include <gtest/gtest.h>

#include <cmath>

#include "editor/editor_state.h"
#include "editor/scene_snapshot_builder.h"
#include "model/scene_render_snapshot.h"
#include "render/scene/frame_layout.h"
#include "render/scene/scene_shape.h"

namespace orvane {
namespace {

constexpr double kTolerance = 1e-9;
const Rect kCanvas{0, 0, 1920, 1080};

void expectRect(const Rect& actual, const Rect& expected, double tolerance = kTolerance) {
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.width, expected.width, tolerance);
    EXPECT_NEAR(actual.height, expected.height, tolerance);
}

SceneRenderSnapshot snapshotWith(double inset, bool chrome, Size video) {
    SceneRenderSnapshot s;
    s.edit.frame.inset = inset;
    s.edit.frame.showWindowChrome = chrome;
    s.edit.frame.videoSize = video;
    s.edit.frame.cornerRadius = 12;
    return s;
}

TEST(FrameLayout, WindowIsPaddedByWidthAndAspectFittedWithTheTitleBarTakenFromTheHeight) {
    // 5 % of the width pads every side: 96 px, leaving 1728 x 888; a 16:9 video is height-bound.
    const double a = 16.0 / 9.0;
    FrameLayout plain = frameLayout(snapshotWith(0.05, false, {1920, 1080}), kCanvas, {});
    expectRect(plain.window, {(1920 - a * 888) / 2, 96, a * 888, 888});
    EXPECT_FALSE(plain.titleBar);
    EXPECT_EQ(plain.content, plain.window);
    EXPECT_DOUBLE_EQ(plain.cornerRadius, 12);

    // Chrome: the bar (max(34, 3.5 % of 1080) = 37.8) comes out of the height before the fit.
    FrameLayout chrome = frameLayout(snapshotWith(0.05, true, {1920, 1080}), kCanvas, {});
    const double w = a * (888 - 37.8);
    expectRect(chrome.window, {(1920 - w) / 2, 96, w, 888});
    ASSERT_TRUE(chrome.titleBar);
    expectRect(*chrome.titleBar, {chrome.window.x, 96 + 888 - 37.8, w, 37.8});
    expectRect(chrome.content, {chrome.window.x, 96, w, 888 - 37.8});
    EXPECT_DOUBLE_EQ(titleBarHeight(720), 34);

    // No inset: a 4:3 recording touches top and bottom, a 3:1 one touches left and right.
    expectRect(frameLayout(snapshotWith(0, false, {1440, 1080}), kCanvas, {}).window, {240, 0, 1440, 1080});
    expectRect(frameLayout(snapshotWith(0, false, {3000, 1000}), kCanvas, {}).window, {0, 220, 1920, 640});
}

TEST(FrameLayout, FixedRecordingFrameIsFlippedAndKeptOnTheCanvas) {
    SceneRenderSnapshot s = snapshotWith(0.3, true, {1920, 1080});
    s.edit.frame.recordingFrame = Rect{0.1, 0.2, 0.5, 0.25};
    // Top-left 0.2..0.45 becomes 0.55..0.8 from the bottom; inset and chrome do not move it.
    expectRect(unzoomedWindowRect(s, kCanvas), {192, 0.55 * 1080, 960, 270});
    s.edit.frame.recordingFrame = Rect{0.8, -0.5, 1.5, 0.5};
    expectRect(unzoomedWindowRect(s, kCanvas), {0, 540, 1920, 540});
    // An empty frame is not set: the padded layout applies.
    SceneRenderSnapshot padded = snapshotWith(0, false, {1920, 1080});
    padded.edit.frame.recordingFrame = Rect{0.1, 0.1, 0, 0.5};
    expectRect(unzoomedWindowRect(padded, kCanvas), kCanvas);
}

TEST(FrameLayout, ZoomKeepsTheFocusPointFixedAndScalesTheRadiusAndTitleBar) {
    const SceneRenderSnapshot s = snapshotWith(0.05, true, {1920, 1080});
    const FrameLayout base = frameLayout(s, kCanvas, {});
    const FrameLayout zoomed = frameLayout(s, kCanvas, {2.5, 0.25, 0.8});
    // The focus is top-left normalised; on the y-up canvas it sits at 1 - 0.8 of the height.
    const auto pointAt = [](const Rect& r, double fx, double fy) {
        return std::pair{r.x + fx * r.width, r.y + (1 - fy) * r.height};
    };
    EXPECT_NEAR(pointAt(zoomed.window, 0.25, 0.8).first, pointAt(base.window, 0.25, 0.8).first, 1e-6);
    EXPECT_NEAR(pointAt(zoomed.window, 0.25, 0.8).second, pointAt(base.window, 0.25, 0.8).second, 1e-6);
    EXPECT_NEAR(zoomed.window.width, 2.5 * base.window.width, 1e-6);
    EXPECT_DOUBLE_EQ(zoomed.cornerRadius, 30);
    EXPECT_DOUBLE_EQ(zoomed.scale, 2.5);
    ASSERT_TRUE(zoomed.titleBar);
    EXPECT_NEAR(zoomed.titleBar->height, 2.5 * 37.8, 1e-9);
    EXPECT_NEAR(zoomed.titleBar->maxY(), zoomed.window.maxY(), 1e-9);

    // Scale 1 leaves the window alone, and a scale below 1 counts as 1.
    EXPECT_EQ(frameLayout(s, kCanvas, {1, 0.1, 0.9}).window, base.window);
    EXPECT_EQ(frameLayout(s, kCanvas, {0.5, 0.1, 0.9}).window, base.window);
    // A focus outside the frame is held at its edge.
    EXPECT_EQ(zoomedRect(base.window, {2, -1, 3}, std::nullopt), zoomedRect(base.window, {2, 0, 1}, std::nullopt));
    // Scales past the strongest zoom, or not numbers at all, still give a window to draw.
    const Rect strongest = zoomedRect(base.window, {kMaximumZoomScale, 0.5, 0.5}, std::nullopt);
    EXPECT_EQ(zoomedRect(base.window, {1e50, 0.5, 0.5}, std::nullopt), strongest);
    EXPECT_EQ(zoomedRect(base.window, {std::nan(""), 0.5, 0.5}, std::nullopt), base.window);
}

TEST(FrameLayout, CropMakesTheFocusRelativeToTheCroppedPicture) {
    const Rect r{100, 50, 800, 400};
    // (0.75, 0.75) is the middle of the bottom-right quarter crop: the window zooms about its centre.
    expectRect(zoomedRect(r, {2, 0.75, 0.75}, Rect{0.5, 0.5, 0.5, 0.5}), zoomedRect(r, {2, 0.5, 0.5}, std::nullopt));
    // A focus outside the crop clamps to the crop's edge; an empty crop is ignored.
    expectRect(zoomedRect(r, {2, 0.1, 0.1}, Rect{0.5, 0.5, 0.5, 0.5}), zoomedRect(r, {2, 0, 0}, std::nullopt));
    expectRect(zoomedRect(r, {2, 0.1, 0.1}, Rect{0.5, 0.5, 0, 0.5}), zoomedRect(r, {2, 0.1, 0.1}, std::nullopt));

    // With background none the whole canvas is the content, zoomed the same way, with no chrome.
    SceneRenderSnapshot s = snapshotWith(0.1, true, {1920, 1080});
    s.edit.frame.background = BackgroundStyle::none;
    s.edit.frame.cropRect = Rect{0.5, 0.5, 0.5, 0.5};
    const FrameLayout none = frameLayout(s, kCanvas, {2, 0.75, 0.75});
    expectRect(none.content, {-960, -540, 3840, 2160});
    EXPECT_FALSE(none.titleBar);
}

TEST(ZoomState, SamplesInterpolateOrTheFirstActiveRegionWinsWithEasedRamps) {
    SceneRenderSnapshot s;
    s.edit.timeline.zoomRegions.push_back({.start = 0, .end = 10, .scale = 3});  // ignored while samples exist
    s.cameraSamples = {{1.0, 1.0, 0.5, 0.5}, {2.0, 2.0, 0.7, 0.1}, {3.0, 2.0, 0.7, 0.1}};
    EXPECT_EQ(sceneZoomState(s, 0), (CameraState{1, 0.5, 0.5}));
    EXPECT_EQ(sceneZoomState(s, 9), (CameraState{2, 0.7, 0.1}));
    const CameraState mid = sceneZoomState(s, 1.25);
    EXPECT_NEAR(mid.scale, 1.25, 1e-12);
    EXPECT_NEAR(mid.focusX, 0.55, 1e-12);
    EXPECT_NEAR(mid.focusY, 0.4, 1e-12);

    // Without samples, easeSpeed 0: lead-in 0.3 s, lead-out 0.45 s.
    s.cameraSamples.clear();
    s.edit.timeline.zoomRegions.clear();
    s.edit.timeline.zoomRegions.push_back(
        {.start = 2, .end = 4, .scale = 2, .focusX = 0.2, .focusY = 0.3, .easeSpeed = 0});
    s.edit.timeline.zoomRegions.push_back(
        {.start = 3, .end = 6, .scale = 3, .focusX = 0.9, .focusY = 0.9, .easeSpeed = 0});
    EXPECT_EQ(sceneZoomState(s, 1), CameraState{});
    EXPECT_EQ(sceneZoomState(s, 3), (CameraState{2, 0.2, 0.3}));  // overlap: the first listed decides
    EXPECT_EQ(sceneZoomState(s, 5), (CameraState{3, 0.9, 0.9}));
    // Half-way up the lead-in the smootherstep is exactly one half.
    EXPECT_NEAR(sceneZoomState(s, 2 - 0.15).scale, 1.5, 1e-9);
    EXPECT_NEAR(sceneZoomPresence(s, 2 - 0.15), 0.5, 1e-9);
    EXPECT_DOUBLE_EQ(sceneZoomPresence(SceneRenderSnapshot{}, 2), 0);

    RenderFrameStateCache cache(1.5, 30);
    cache.fill(s, 0, 60);
    EXPECT_EQ(cache.size(), 61u);
    EXPECT_EQ(cache.state(s, 30), sceneZoomState(s, 2.5));
    EXPECT_EQ(cache.state(s, 500), sceneZoomState(s, 1.5 + 500.0 / 30));  // a miss computes directly
    EXPECT_DOUBLE_EQ(cache.strongestScale(), 2);  // 1.5...3.5 s: the 3x region never decides there
    EXPECT_DOUBLE_EQ(RenderFrameStateCache(0, 30).strongestScale(), 1);

    // A 2x ramp from 1.5 s to 3.5 s: output second 1 is composition 2.5 s, so frame 30 shows the
    // zoom at 2.5 s, not at 2.5 s plus the trim as if nothing were sped up.
    RenderFrameStateCache ramped(1.5, 30, {{.start = 1.5, .end = 3.5, .speed = 2}});
    EXPECT_DOUBLE_EQ(ramped.timeOfFrame(15), 2.5);
    ramped.fill(s, 0, 30);
    EXPECT_EQ(ramped.state(s, 15), sceneZoomState(s, 2.5));
    EXPECT_EQ(ramped.state(s, 30), sceneZoomState(s, 3.5));
    EXPECT_NE(ramped.state(s, 8), cache.state(s, 8));
}

TEST(RoundedShape, LargeRadiusGivesACircleNotACapsule) {
    const Rect r{0, 0, 200, 100};
    EXPECT_EQ(roundedShape(r, 10), (RoundedShape{RoundedShape::Kind::roundedRectangle, r, 10}));
    const RoundedShape circle{RoundedShape::Kind::circle, {50, 0, 100, 100}, 50};
    EXPECT_EQ(roundedShape(r, 999), circle);
    EXPECT_EQ(roundedShape(r, 49.5), circle);  // reaches min/2 - 0.5
    EXPECT_EQ(roundedShape(r, 49.4).kind, RoundedShape::Kind::roundedRectangle);
    EXPECT_EQ(roundedShape({0, 0, 4000, 3000}, 999).kind, RoundedShape::Kind::circle);
}

TEST(OverlayPlacement, CentredOnTheCanvasAndOnlyFaceCamerasShrinkWhileZoomed) {
    const Rect canvas{0, 0, 1000, 500};
    VideoOverlayClip camera;
    camera.normalizedFrame = {0.7, 0.7, 0.2, 0.2};
    // Top-left 0.7..0.9 of the height is 0.1..0.3 from the bottom.
    expectRect(overlayRect(camera, canvas, 1), {700, 50, 200, 100});
    expectRect(overlayRect(camera, canvas, 0.75), {725, 62.5, 150, 75});

    SceneRenderSnapshot s;
    s.edit.frame.zoomReactiveFaceCam = true;
    s.edit.frame.zoomReactiveFaceCamScale = 0.6;
    EXPECT_DOUBLE_EQ(overlayScale(s, camera, 0), 1);
    EXPECT_DOUBLE_EQ(overlayScale(s, camera, 0.5), 0.8);
    EXPECT_DOUBLE_EQ(overlayScale(s, camera, 1), 0.6);
    VideoOverlayClip logo = camera;
    logo.mediaKind = VideoOverlayClip::MediaKind::logo;
    EXPECT_DOUBLE_EQ(overlayScale(s, logo, 1), 1);
    s.edit.frame.zoomReactiveFaceCamScale = 1.4;
    EXPECT_DOUBLE_EQ(overlayScale(s, camera, 1), 1);
    s.edit.frame.zoomReactiveFaceCamScale = 0.6;
    s.edit.frame.zoomReactiveFaceCam = false;
    EXPECT_DOUBLE_EQ(overlayScale(s, camera, 1), 1);
}

TEST(SceneSnapshot, CopiesTheEditAndSamplesTheCameraOverTheTrim) {
    EditorState state(Uuid::random(), "/data/Recordings/A/screen.mp4");
    state.modify([](EditorValues& v) {
        v.edit.timeline.trimStart = 1;
        v.edit.timeline.trimEnd = 2;
        v.edit.timeline.clips.push_back({});
        v.edit.timeline.clips.back().sourceEnd = 5;
        v.edit.timeline.zoomRegions.push_back({.start = 1.2, .end = 1.8, .scale = 2, .followCursor = false});
        v.edit.cursor.cursorRingStyle = {0.9, 0.1, 0.1, 0.5, 44};
        v.edit.frame.cropRect = Rect{0.1, 0.1, 0.5, 0.5};
        v.edit.frame.inset = 0.07;
        v.edit.cursor.drawsSyntheticCursor = true;
    });

    const SceneRenderSnapshot s = makeSceneRenderSnapshot(state, std::filesystem::path("/tmp/voice.m4a"));
    EXPECT_EQ(s.videoPath, "/data/Recordings/A/screen.mp4");
    EXPECT_EQ(s.clipBaseDirectory, "/data/Recordings/A");
    EXPECT_EQ(s.edit, state.values().edit);
    EXPECT_EQ(s.aiVoiceoverPath, std::filesystem::path("/tmp/voice.m4a"));
    // 60 Hz over one second of trim, both ends included, with the zoom in the middle.
    ASSERT_EQ(s.cameraSamples.size(), 61u);
    EXPECT_DOUBLE_EQ(s.cameraSamples.front().t, 1);
    EXPECT_DOUBLE_EQ(s.cameraSamples[30].scale, 2);
    EXPECT_TRUE(s.cursorSamples.empty());  // no telemetry

    // Frozen: later edits do not reach the copy.
    state.modify([](EditorValues& v) { v.edit.frame.inset = 0.2; });
    EXPECT_DOUBLE_EQ(s.edit.frame.inset, 0.07);
    EXPECT_FALSE(isSet(Rect{0, 0, 0, 1}));
    EXPECT_TRUE(isSet(s.edit.frame.cropRect));
}

}  // namespace
}  // namespace orvane
