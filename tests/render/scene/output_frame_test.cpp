#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "render/output_frame.h"
#include "scene_pixels.h"

namespace orvane {
namespace {

using testing::pixelAt;

TEST(OutputFrameRenderer, OneRendererComposesTheJobsFramesFromDecodedPictures) {
    SceneRenderSnapshot snapshot;
    snapshot.videoSize = {640, 360};
    snapshot.trimStart = 2;
    snapshot.trimEnd = 10;
    snapshot.inset = 0.1;
    snapshot.background = BackgroundStyle::bone;
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

}  // namespace
}  // namespace orvane
