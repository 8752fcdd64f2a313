#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "render/scene_layers.h"
#include "scene_pixels.h"

namespace orvane {
namespace {

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
    snapshot.videoSize = {1600, 900};
    snapshot.inset = 0.05;
    snapshot.showWindowChrome = true;
    snapshot.windowTitle = "Demo";
    snapshot.cursorVisualStyle = CursorVisualStyle::ring;
    snapshot.cursorSamples = {{0, 0.25, 0.75}, {2, 0.25, 0.75}};
    snapshot.captions.push_back({.start = 0, .end = 2, .text = "Hello there", .words = {}});
    const auto shared = std::make_shared<const SceneRenderSnapshot>(snapshot);

    const cairo::Surface background = testing::solidSurface(W, H, 0.3, 0.5, 0.7);
    const cairo::Surface source = testing::solidSurface(160, 90, 0.3, 0.5, 0.7);
    const SceneFrameInput input{.compositionTime = 1, .sourceTime = 1, .source = source.get(),
                                .background = background.get()};
    cairo::Surface plain(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, W, H));
    cairo::Surface layered(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, W, H));
    SceneCompositor bare(shared);
    SceneCompositor full(shared, sceneLayerPainters(std::make_shared<CaptionRenderCache>(
                                     snapshot.captions, Rect{0, 0, W, H})));
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
