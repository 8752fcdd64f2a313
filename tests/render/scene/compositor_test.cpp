#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "export/output_frame.h"
#include "media/cairo_handles.h"
#include "media/sample_video.h"
#include "media/video_frame.h"
#include "render/scene/compositor.h"
#include "render/scene/scene_layers.h"
#include "scene_pixels.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

using testing::halvesSurface;
using testing::Pixel;
using testing::pixelAt;

bool isColour(Pixel p, int r, int g, int b, int tolerance = 6) {
    return std::abs(p.r - r) <= tolerance && std::abs(p.g - g) <= tolerance && std::abs(p.b - b) <= tolerance;
}

cairo::Surface solid(int w, int h, double r, double g, double b) { return testing::solidSurface(w, h, r, g, b); }

class CompositorTest : public ::testing::Test {
protected:
    static constexpr int W = 400;
    static constexpr int H = 300;

    CompositorTest() {
        snapshot.edit.frame.videoSize = {400, 300};
        snapshot.edit.frame.inset = 0.1;
        snapshot.edit.frame.cornerRadius = 20;
        snapshot.edit.frame.background = BackgroundStyle::bone;
    }

    cairo::Surface target{cairo_image_surface_create(CAIRO_FORMAT_ARGB32, W, H)};
    cairo::Surface background = solid(W, H, 0, 0, 1);
    cairo::Surface red = solid(400, 300, 1, 0, 0);
    SceneRenderSnapshot snapshot;
};

TEST_F(CompositorTest, WindowSitsOnTheBackgroundWithRoundedCornersAndATitleBar) {
    snapshot.edit.frame.showWindowChrome = true;
    SceneCompositor compositor(std::make_shared<SceneRenderSnapshot>(snapshot));
    ASSERT_EQ(compositor.compose(target.get(), {.source = red.get(), .background = background.get()}),
              ComposeStatus::ok);
    // Padding 40 on each side; bar max(34, 10.5) = 34 tall; 4:3 content 242.67 x 182 centred.
    EXPECT_TRUE(isColour(pixelAt(target.get(), 200, 170), 255, 0, 0));
    EXPECT_TRUE(isColour(pixelAt(target.get(), 200, 57), 237, 237, 237));  // grey 0.93 bar
    EXPECT_TRUE(isColour(pixelAt(target.get(), 10, 150), 0, 0, 255, 20));  // background, faint shadow
    // The window's corner pixel is cut off by the rounding.
    EXPECT_EQ(pixelAt(target.get(), 80, 42).r, 0);
    EXPECT_EQ(pixelAt(target.get(), 80, 42).g, 0);

    EXPECT_EQ(compositor.compose(target.get(), {.source = red.get()}), ComposeStatus::missingBackground);
    cairo::Surface wrongFormat(cairo_image_surface_create(CAIRO_FORMAT_A8, W, H));
    EXPECT_EQ(compositor.compose(wrongFormat.get(), {.background = background.get()}), ComposeStatus::invalidTarget);
}

TEST_F(CompositorTest, ZoomedFramesReuseTheShadowUntilTheWindowMoves) {
    SceneCompositor compositor(std::make_shared<SceneRenderSnapshot>(snapshot));
    SceneFrameInput input{.source = red.get(), .background = background.get()};
    ASSERT_EQ(compositor.compose(target.get(), input), ComposeStatus::ok);
    ASSERT_EQ(compositor.compose(target.get(), input), ComposeStatus::ok);
    EXPECT_EQ(compositor.shadowCache().renders(), 1u);
    input.zoom = CameraState{2, 0.5, 0.5};
    ASSERT_EQ(compositor.compose(target.get(), input), ComposeStatus::ok);
    EXPECT_EQ(compositor.shadowCache().renders(), 2u);
    // Doubled about the centre, the window (640 x 480 with its 40 px padding) covers the canvas.
    EXPECT_TRUE(isColour(pixelAt(target.get(), 2, 2), 255, 0, 0));
    EXPECT_TRUE(isColour(pixelAt(target.get(), W - 2, H - 2), 255, 0, 0));
}

TEST_F(CompositorTest, NoBackgroundFillsTheCanvasAndCropChoosesThePicture) {
    snapshot.edit.frame.background = BackgroundStyle::none;
    snapshot.edit.frame.showWindowChrome = true;  // ignored without a background
    snapshot.edit.frame.cropRect = Rect{0.5, 0, 0.5, 1};
    cairo::Surface redGreen = halvesSurface(400, 300, {1, 0, 0}, {0, 1, 0});
    SceneCompositor compositor(std::make_shared<SceneRenderSnapshot>(snapshot));
    ASSERT_EQ(compositor.compose(target.get(), {.source = redGreen.get()}), ComposeStatus::ok);
    for (const auto& [x, y] : {std::pair{0, 0}, {W - 1, H - 1}, {W / 2, H / 2}, {3, H - 3}})
        EXPECT_TRUE(isColour(pixelAt(target.get(), x, y), 0, 255, 0)) << x << "," << y;
    EXPECT_EQ(compositor.shadowCache().renders(), 0u);
}

TEST_F(CompositorTest, OverlaysAreFilledOrFittedMirroredAndBordered) {
    snapshot.edit.frame.background = BackgroundStyle::none;
    VideoOverlayClip camera;
    camera.normalizedFrame = {0.0, 0.0, 0.5, 0.5};  // top-left quarter: 200 x 150
    camera.mirrored = true;
    camera.borderStyle = BorderStyle::thickWhite();
    VideoOverlayClip logo;
    logo.mediaKind = VideoOverlayClip::MediaKind::logo;
    logo.normalizedFrame = {0.5, 0.5, 0.5, 0.5};  // bottom-right quarter
    cairo::Surface redGreen = halvesSurface(100, 100, {1, 0, 0}, {0, 1, 0});
    cairo::Surface wide = solid(200, 50, 1, 1, 0);  // 4:1 in a 4:3 box: fit leaves bands
    cairo::Surface black = solid(W, H, 0, 0, 0);
    std::vector<OverlayFrame> overlays{{camera, redGreen.get()}, {logo, wide.get()}};
    SceneCompositor compositor(std::make_shared<SceneRenderSnapshot>(snapshot));
    ASSERT_EQ(compositor.compose(target.get(), {.source = black.get(), .overlays = overlays}), ComposeStatus::ok);
    // Mirrored: green on the left, red on the right; a square picture fills the 4:3 box (no bands).
    EXPECT_TRUE(isColour(pixelAt(target.get(), 40, 75), 0, 255, 0));
    EXPECT_TRUE(isColour(pixelAt(target.get(), 160, 75), 255, 0, 0));
    EXPECT_TRUE(isColour(pixelAt(target.get(), 100, 1), 255, 255, 255, 40));  // thick white border
    // The logo is fitted: yellow across the middle, plate-dark above and below it.
    EXPECT_TRUE(isColour(pixelAt(target.get(), 300, 225), 255, 255, 0));
    EXPECT_LT(pixelAt(target.get(), 300, 160).g, 60);

    // Later overlays cover earlier ones.
    camera.normalizedFrame = logo.normalizedFrame;
    camera.borderStyle = BorderStyle::none();
    std::vector<OverlayFrame> stacked{{camera, redGreen.get()}, {logo, wide.get()}};
    ASSERT_EQ(compositor.compose(target.get(), {.source = black.get(), .overlays = stacked}), ComposeStatus::ok);
    EXPECT_TRUE(isColour(pixelAt(target.get(), 300, 225), 255, 255, 0));
}

TEST_F(CompositorTest, CircleBubbleAndReactiveShrinkAndRotation) {
    snapshot.edit.frame.background = BackgroundStyle::none;
    snapshot.edit.timeline.zoomRegions.push_back({.start = 0, .end = 10, .scale = 2, .easeSpeed = 0});
    snapshot.edit.frame.zoomReactiveFaceCamScale = 0.5;
    VideoOverlayClip camera;
    camera.normalizedFrame = {0.25, 1.0 / 6, 0.5, 2.0 / 3};  // 200 x 200 centred
    camera.cornerRadius = 999;
    cairo::Surface green = solid(100, 100, 0, 1, 0);
    cairo::Surface black = solid(W, H, 0, 0, 0);
    std::vector<OverlayFrame> overlays{{camera, green.get()}};
    SceneCompositor compositor(std::make_shared<SceneRenderSnapshot>(snapshot));
    // Before the zoom: a 200 px circle, so its bounding box corners stay dark.
    ASSERT_EQ(compositor.compose(target.get(), {.compositionTime = -5, .source = black.get(), .overlays = overlays}),
              ComposeStatus::ok);
    EXPECT_TRUE(isColour(pixelAt(target.get(), 200, 60), 0, 255, 0));
    EXPECT_TRUE(isColour(pixelAt(target.get(), 290, 150), 0, 255, 0));
    EXPECT_LT(pixelAt(target.get(), 110, 60).g, 40);
    // Fully zoomed: half the size about the same centre.
    ASSERT_EQ(compositor.compose(target.get(), {.compositionTime = 5, .source = black.get(), .overlays = overlays}),
              ComposeStatus::ok);
    EXPECT_TRUE(isColour(pixelAt(target.get(), 200, 150), 0, 255, 0));
    EXPECT_TRUE(isColour(pixelAt(target.get(), 245, 150), 0, 255, 0));
    EXPECT_LT(pixelAt(target.get(), 260, 150).g, 40);

    // A quarter turn counter-clockwise brings the picture's right half to the top.
    camera.cornerRadius = 0;
    camera.mediaKind = VideoOverlayClip::MediaKind::image;
    camera.rotationRadians = std::numbers::pi / 2;
    cairo::Surface redGreen = halvesSurface(100, 100, {1, 0, 0}, {0, 1, 0});
    std::vector<OverlayFrame> turned{{camera, redGreen.get()}};
    ASSERT_EQ(compositor.compose(target.get(), {.source = black.get(), .overlays = turned}), ComposeStatus::ok);
    EXPECT_TRUE(isColour(pixelAt(target.get(), 200, 110), 0, 255, 0));
    EXPECT_TRUE(isColour(pixelAt(target.get(), 200, 190), 255, 0, 0));
}

TEST_F(CompositorTest, VectorLayersRunInOrderClippedToTheWindow) {
    snapshot.edit.frame.showWindowChrome = true;
    std::vector<std::string> calls;
    const auto record = [&calls](std::string name) {
        return [&calls, name](const SceneLayerContext& layer) {
            calls.push_back(name);
            if (name == "cursor") {
                // Floods everything: only the window may show it.
                cairo_set_source_rgb(layer.context, 1, 0, 1);
                cairo_paint(layer.context);
            }
        };
    };
    SceneLayerPainters painters{record("chrome"), record("synthetic"), record("cursor"),
                                record("annotations"), record("gestures"), record("captions")};
    SceneCompositor compositor(std::make_shared<SceneRenderSnapshot>(snapshot), painters);
    ASSERT_EQ(compositor.compose(target.get(), {.source = red.get(), .background = background.get()}),
              ComposeStatus::ok);
    EXPECT_EQ(calls, (std::vector<std::string>{"chrome", "cursor", "annotations", "gestures", "captions"}));
    EXPECT_TRUE(isColour(pixelAt(target.get(), 200, 170), 255, 0, 255));
    EXPECT_TRUE(isColour(pixelAt(target.get(), 10, 150), 0, 0, 255, 20));

    snapshot.edit.frame.showWindowChrome = false;
    snapshot.edit.cursor.drawsSyntheticCursor = true;
    SceneCompositor second(std::make_shared<SceneRenderSnapshot>(snapshot), painters);
    calls.clear();
    ASSERT_EQ(second.compose(target.get(), {.source = red.get(), .background = background.get()}), ComposeStatus::ok);
    EXPECT_EQ(calls, (std::vector<std::string>{"synthetic", "cursor", "annotations", "gestures", "captions"}));
}

TEST(CompositorSampleVideo, ZoomOnADecodedFrameKeepsTheFocusPixel) {
    testing::TempDir dir;
    const auto video = dir / "screen.mp4";
    writeSampleVideo(video, {.width = 1280, .height = 720, .fps = 30, .seconds = 1, .withAudio = false});
    const auto frame = extractVideoFrame(video, 0.5, 1920, 1080);
    ASSERT_TRUE(frame);
    const auto source = surfaceForImage(*frame);

    SceneRenderSnapshot snapshot;
    snapshot.edit.frame.videoSize = {1280, 720};
    snapshot.edit.frame.background = BackgroundStyle::none;
    // Focus on the middle of the left third and the upper quarter.
    const double fx = 1.0 / 6;
    const double fy = 0.25;
    snapshot.cameraSamples = {{0, 2, fx, fy}};
    SceneCompositor compositor(std::make_shared<SceneRenderSnapshot>(snapshot));
    const auto out = compositor.renderFrame(1920, 1080, {.compositionTime = 0.5, .sourceTime = 0.5, .source = source.get()});
    ASSERT_TRUE(out);
    // The focus stays put: the output pixel there is the frame's pixel there.
    const int px = static_cast<int>(fx * 1920);
    const int py = static_cast<int>(fy * 1080);
    const Pixel inFrame = pixelAt(*frame, px * frame->width / 1920, py * frame->height / 1080);
    const Pixel shown = pixelAt(*out, px, py);
    EXPECT_LE(std::abs(inFrame.r - shown.r) + std::abs(inFrame.g - shown.g) + std::abs(inFrame.b - shown.b), 30);
}

TEST(OutputFrameRenderer, OneRendererComposesTheJobsFramesFromDecodedPictures) {
    SceneRenderSnapshot snapshot;
    snapshot.edit.frame.videoSize = {640, 360};
    snapshot.edit.timeline.trimStart = 2;
    snapshot.edit.timeline.trimEnd = 10;
    snapshot.edit.frame.inset = 0.1;
    snapshot.edit.frame.background = BackgroundStyle::bone;
    OutputFrameRenderer renderer(std::make_shared<SceneRenderSnapshot>(snapshot), 320, 180);
    EXPECT_DOUBLE_EQ(renderer.compositionTime(0.5), 2.5);  // trimmed head

    const cairo::Surface red = testing::solidSurface(640, 360, 1, 0, 0);
    const cairo::Surface blue = testing::solidSurface(640, 360, 0, 0, 1);
    const auto first = renderer.render(0, red.get(), 2, {});
    const auto second = renderer.render(1.0 / 30, blue.get(), 2.03, {});
    const auto gap = renderer.render(2.0 / 30, nullptr, 0, {});
    ASSERT_TRUE(first && second && gap);
    // Each frame shows its own picture in the window, on the same background.
    EXPECT_EQ(pixelAt(*first, 160, 100).r, 255);
    EXPECT_EQ(pixelAt(*second, 160, 100).b, 255);
    EXPECT_EQ(pixelAt(*second, 160, 100).r, 0);
    // In a gap the window is empty: the background shows through, neither picture does.
    const testing::Pixel empty = pixelAt(*gap, 160, 100);
    EXPECT_GT(empty.g, 100);
    EXPECT_LT(std::abs(empty.r - pixelAt(*gap, 2, 2).r), 60);
    EXPECT_EQ(pixelAt(*first, 2, 2).r, pixelAt(*second, 2, 2).r);
    EXPECT_EQ(pixelAt(*first, 2, 2).g, pixelAt(*gap, 2, 2).g);

    // A target of the wrong kind is refused, not drawn into.
    cairo::Surface mask(cairo_image_surface_create(CAIRO_FORMAT_A8, 320, 180));
    EXPECT_EQ(renderer.render(mask.get(), 0, red.get(), 2, {}), ComposeStatus::invalidTarget);
}

// Pixels that differ between two frames inside a top-left rectangle.
int changedPixels(cairo_surface_t* a, cairo_surface_t* b, const Rect& area) {
    cairo_surface_flush(a);
    cairo_surface_flush(b);
    const int stride = cairo_image_surface_get_stride(a);
    int changed = 0;
    for (int y = static_cast<int>(area.y); y < static_cast<int>(area.maxY()); ++y) {
        for (int x = static_cast<int>(area.x); x < static_cast<int>(area.maxX()); ++x) {
            const auto offset = static_cast<std::size_t>(y * stride + 4 * x);
            if (std::memcmp(cairo_image_surface_get_data(a) + offset, cairo_image_surface_get_data(b) + offset, 4))
                ++changed;
        }
    }
    return changed;
}

TEST(SceneLayers, ChromeCursorAndCaptionsLandWhereTheLayoutSays) {
    constexpr int W = 800;
    constexpr int H = 450;
    SceneRenderSnapshot snapshot;
    snapshot.edit.frame.videoSize = {1600, 900};
    snapshot.edit.frame.inset = 0.05;
    snapshot.edit.frame.showWindowChrome = true;
    snapshot.edit.frame.windowTitle = "Demo";
    snapshot.edit.cursor.cursorVisualStyle = CursorVisualStyle::ring;
    snapshot.cursorSamples = {{0, 0.25, 0.75}, {2, 0.25, 0.75}};
    snapshot.edit.captions.captions.push_back({.start = 0, .end = 2, .text = "Hello there", .words = {}});
    const auto shared = std::make_shared<const SceneRenderSnapshot>(snapshot);

    const cairo::Surface background = testing::solidSurface(W, H, 0.3, 0.5, 0.7);
    const cairo::Surface source = testing::solidSurface(160, 90, 0.3, 0.5, 0.7);
    const SceneFrameInput input{.compositionTime = 1, .sourceTime = 1, .source = source.get(),
                                .background = background.get()};
    cairo::Surface plain(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, W, H));
    cairo::Surface layered(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, W, H));
    SceneCompositor bare(shared);
    SceneCompositor full(shared, sceneLayerPainters(std::make_shared<CaptionRenderCache>(
                                     snapshot.edit.captions.captions, Rect{0, 0, W, H})));
    ASSERT_EQ(bare.compose(plain.get(), input), ComposeStatus::ok);
    ASSERT_EQ(full.compose(layered.get(), input), ComposeStatus::ok);

    const FrameLayout layout = frameLayout(snapshot, {0, 0, W, H}, {});
    const Rect bar = topLeftRect(*layout.titleBar, H);
    const Rect content = topLeftRect(layout.content, H);
    // The chrome fills the bar: buttons and title sit in it.
    EXPECT_GT(changedPixels(plain.get(), layered.get(), bar), 200);
    // The cursor ring is drawn about its point in the content, a quarter across and three down.
    const double cx = content.x + 0.25 * content.width;
    const double cy = content.y + 0.75 * content.height;
    EXPECT_GT(changedPixels(plain.get(), layered.get(), {cx - 20, cy - 20, 40, 40}), 50);
    EXPECT_EQ(changedPixels(plain.get(), layered.get(), {content.maxX() - 60, content.y + 20, 40, 40}), 0);
    // The caption plate sits low and centred on the canvas.
    EXPECT_GT(changedPixels(plain.get(), layered.get(), {W / 2.0 - 40, H - 80, 80, 75}), 500);
}

}  // namespace
}  // namespace orvane
