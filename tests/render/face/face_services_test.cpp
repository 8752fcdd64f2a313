#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "drawn_face.h"
#include "render/face_services.h"
#include "render/scene_snapshot.h"
#include "support/required_service.h"

namespace orvane {
namespace {

// Red minus blue: the room is blue-grey (below 0), the face and hair warm (well above).
int warmthAt(cairo_surface_t* surface, int x, int y) {
    cairo_surface_flush(surface);
    const unsigned char* row = cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
    return row[4 * x + 2] - row[4 * x];  // B, G, R, A in memory
}

TEST(FaceCameraServices, CompositorFramesTheDrawnFaceWithTheRealServices) {
    ORVANE_REQUIRE_SERVICE(!defaultFaceCascadePath().empty(), "the frontal-face cascade is not installed");
    const FaceCameraKit kit = makeFaceCameraServices();
    ASSERT_NE(kit.services().detector, nullptr);
    ASSERT_NE(kit.services().segmenter, nullptr);

    SceneRenderSnapshot snapshot;
    snapshot.background = BackgroundStyle::none;
    VideoOverlayClip camera;
    camera.normalizedFrame = {0.25, 0.25, 0.5, 0.5};
    camera.autoFrameFaceCam = true;
    camera.backgroundBlur = 0.5;
    // The person sits left of the middle; the picture's middle is the room.
    const cairo::Surface picture = testing::drawnFace(640, 480, {220, 200, 120});
    const std::vector<OverlayFrame> overlays{{camera, picture.get()}};
    cairo::Surface target(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 200, 200));
    SceneCompositor compositor(std::make_shared<SceneRenderSnapshot>(snapshot));

    ASSERT_EQ(compositor.compose(target.get(), {.overlays = overlays}), ComposeStatus::ok);
    EXPECT_LT(warmthAt(target.get(), 100, 100), 0);  // the whole picture: the room in the middle
    compositor.setFaceCameraServices(kit.services());
    ASSERT_EQ(compositor.compose(target.get(), {.overlays = overlays}), ComposeStatus::ok);
    EXPECT_GT(warmthAt(target.get(), 100, 100), 40);  // framed on the face
}

}  // namespace
}  // namespace orvane
