#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "render/scene/compositor.h"
#include "render/scene/scene_face_camera.h"
#include "scene_pixels.h"

namespace orvane {
namespace {

int greenAt(cairo_surface_t* surface, int x, int y) { return testing::pixelAt(surface, x, y).g; }

void expectRectNear(const std::optional<Rect>& actual, const Rect& expected) {
    ASSERT_TRUE(actual);
    EXPECT_NEAR(actual->x, expected.x, 1e-12);
    EXPECT_NEAR(actual->y, expected.y, 1e-12);
    EXPECT_NEAR(actual->width, expected.width, 1e-12);
    EXPECT_NEAR(actual->height, expected.height, 1e-12);
}

TEST(FaceCamera, FramingCropSurroundsTheFaceGlidesToEachNewOneAndHoldsWithout) {
    expectRectNear(faceFramingCrop({0.4, 0.3, 0.1, 0.12}), {0.45 - 0.156, 0.36 - 0.012 - 0.156, 0.312, 0.312});
    expectRectNear(faceFramingCrop({0.9, 0.9, 0.1, 0.1}), {0.74, 0.74, 0.26, 0.26});
    expectRectNear(faceFramingCrop({0.2, 0.1, 0.6, 0.7}), {0, 0, 1, 1});
    EXPECT_FALSE(faceFramingCrop({0.5, 0.5, 0.01, 0.015}));

    FaceCamCropMemory memory;
    const Uuid camera = Uuid::random();
    const Rect own{0.1, 0.1, 0.5, 0.5};
    expectRectNear(memory.update(camera, std::nullopt, own), own);
    EXPECT_FALSE(memory.update(Uuid::random(), std::nullopt, std::nullopt));
    expectRectNear(memory.update(camera, Rect{0, 0, 0.5, 0.5}, own), {0, 0, 0.5, 0.5});
    expectRectNear(memory.update(camera, Rect{1, 0.5, 0, 0.5}, own), {0.18, 0.09, 0.41, 0.5});
    expectRectNear(memory.update(camera, std::nullopt, own), {0.18, 0.09, 0.41, 0.5});
}

cairo::Surface checkerboard(int size) {
    cairo::Surface s(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size, size));
    cairo::Context cr(cairo_create(s.get()));
    cairo_set_source_rgb(cr.get(), 0, 0, 0);
    cairo_paint(cr.get());
    cairo_set_source_rgb(cr.get(), 0, 1, 0);
    for (int y = 0; y < size; y += 2)
        for (int x = (y / 2) % 2 * 2; x < size; x += 4) cairo_rectangle(cr.get(), x, y, 2, 2);
    cairo_fill(cr.get());
    return s;
}

TEST(FaceCamera, BackgroundBlurKeepsThePersonSharp) {
    const cairo::Surface frame = checkerboard(96);
    cairo::Surface mask(cairo_image_surface_create(CAIRO_FORMAT_A8, 96, 96));
    {
        cairo::Context cr(cairo_create(mask.get()));
        cairo_rectangle(cr.get(), 0, 0, 40, 96);  // the person on the left
        cairo_fill(cr.get());
    }
    const cairo::Surface result = blurBackgroundBehindPerson(frame.get(), mask.get(), 0.5);
    ASSERT_TRUE(result);
    EXPECT_GT(std::abs(greenAt(result.get(), 10, 48) - greenAt(result.get(), 12, 48)), 200);
    EXPECT_LT(std::abs(greenAt(result.get(), 70, 48) - greenAt(result.get(), 72, 48)), 30);

    cairo::Surface wrongSize(cairo_image_surface_create(CAIRO_FORMAT_A8, 10, 10));
    EXPECT_FALSE(blurBackgroundBehindPerson(frame.get(), wrongSize.get(), 0.5));
    EXPECT_FALSE(blurBackgroundBehindPerson(frame.get(), nullptr, 0.5));
}

struct FixedFaces : FaceDetector {
    std::vector<Rect> faces;
    int calls = 0;
    std::vector<Rect> detectFaces(cairo_surface_t*) override {
        ++calls;
        return faces;
    }
};

TEST(FaceCamera, CompositorFramesTheLargestFaceOfAVideoOverlay) {
    SceneRenderSnapshot snapshot;
    snapshot.edit.frame.background = BackgroundStyle::none;
    VideoOverlayClip camera;
    camera.normalizedFrame = {0.25, 0.25, 0.5, 0.5};
    camera.autoFrameFaceCam = true;
    // Red on the left, green on the right: the framed face is on the right.
    const cairo::Surface picture = testing::halvesSurface(200, 200, {1, 0, 0}, {0, 1, 0});
    cairo::Surface target(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 200, 200));
    const std::vector<OverlayFrame> overlays{{camera, picture.get()}};
    FixedFaces detector;
    detector.faces = {{0.05, 0.4, 0.05, 0.05}, {0.7, 0.45, 0.1, 0.1}};
    SceneCompositor compositor(std::make_shared<SceneRenderSnapshot>(snapshot));

    ASSERT_EQ(compositor.compose(target.get(), {.overlays = overlays}), ComposeStatus::ok);
    EXPECT_LT(greenAt(target.get(), 60, 100), 10);  // no detector: the whole picture, red on the left
    compositor.setFaceCameraServices({.detector = &detector, .segmenter = nullptr});
    ASSERT_EQ(compositor.compose(target.get(), {.overlays = overlays}), ComposeStatus::ok);
    EXPECT_GT(greenAt(target.get(), 60, 100), 240);
    EXPECT_GT(greenAt(target.get(), 140, 100), 240);
    EXPECT_EQ(detector.calls, 1);
}

}  // namespace
}  // namespace orvane
