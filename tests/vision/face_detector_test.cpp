#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/log.h"
#include "drawn_face.h"
#include "model/scene_render_snapshot.h"
#include "support/required_service.h"
#include "support/temp_dir.h"
#include "vision/face_detector.h"
#include "vision/face_services.h"

namespace orvane {
namespace {

// The face's middle (in pixels) must lie in the rectangle, whose size must be near the face's.
void expectFaceAt(const std::vector<Rect>& faces, int frameWidth, int frameHeight, testing::DrawnFace drawn) {
    ASSERT_EQ(faces.size(), 1u);
    const Rect& f = faces[0];
    EXPECT_NEAR((f.x + f.width / 2) * frameWidth, drawn.centreX, drawn.width * 0.2);
    EXPECT_NEAR((f.y + f.height / 2) * frameHeight, drawn.centreY, drawn.width * 0.3);
    EXPECT_NEAR(f.width * frameWidth, drawn.width, drawn.width * 0.35);
    EXPECT_NEAR(f.height * frameHeight, drawn.width, drawn.width * 0.35);  // the cascade's boxes are square
}

TEST(OpenCvFaceDetector, FindsTheFaceInFrameCoordinatesAndNoneInRoomsOrUnusableFrames) {
    OpenCvFaceDetector detector;
    ORVANE_REQUIRE_SERVICE(detector.available(), "the frontal-face cascade is not installed");

    const testing::DrawnFace middle{320, 220, 150};
    expectFaceAt(detector.detectFaces(testing::drawnFace(640, 480, middle).get()), 640, 480, middle);
    // A wide frame, downscaled before detection, with the face off to the left and low.
    const testing::DrawnFace left{300, 420, 300};
    expectFaceAt(detector.detectFaces(testing::drawnFace(1280, 720, left).get()), 1280, 720, left);

    cairo::Surface room(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 320, 240));
    cairo::Context cr(cairo_create(room.get()));
    cairo_set_source_rgb(cr.get(), 0.4, 0.45, 0.5);
    cairo_paint(cr.get());
    cairo_surface_flush(room.get());
    EXPECT_TRUE(detector.detectFaces(room.get()).empty());
    cairo::Surface mask(cairo_image_surface_create(CAIRO_FORMAT_A8, 320, 240));
    EXPECT_TRUE(detector.detectFaces(mask.get()).empty());
    EXPECT_TRUE(detector.detectFaces(nullptr).empty());
}

TEST(OpenCvFaceDetector, MissingCascadeIsNotAvailableAndSaysSo) {
    std::vector<std::string> lines;
    log::ScopedSink sink([&](log::Level, const std::string& line) { lines.push_back(line); });

    OpenCvFaceDetector missing("/nonexistent/haarcascade_frontalface_default.xml");
    EXPECT_FALSE(missing.available());
    EXPECT_TRUE(missing.detectFaces(testing::drawnFace(640, 480, {320, 220, 150}).get()).empty());
    OpenCvFaceDetector notInstalled("");
    EXPECT_FALSE(notInstalled.available());
    const testing::TempDir dir;
    testing::writeTextFile(dir.path() / "cascade.xml", "<opencv_storage><cascade>truncated");
    OpenCvFaceDetector unreadable((dir.path() / "cascade.xml").string());
    EXPECT_FALSE(unreadable.available());

    ASSERT_EQ(lines.size(), 3u);
    for (const std::string& line : lines) {
        EXPECT_NE(line.find("[Orvane.FaceCamera]"), std::string::npos) << line;
        EXPECT_NE(line.find("not available"), std::string::npos) << line;
    }
    EXPECT_NE(lines[0].find("/nonexistent/haarcascade_frontalface_default.xml"), std::string::npos);
    EXPECT_NE(lines[0].find("missing"), std::string::npos);
    EXPECT_NE(lines[1].find("opencv-data"), std::string::npos);
    EXPECT_NE(lines[2].find("cannot be read"), std::string::npos);

    // The compositor then gets neither service and leaves face cameras as they are.
    const FaceCameraKit kit = makeFaceCameraServices("/nonexistent/cascade.xml");
    EXPECT_EQ(kit.services().detector, nullptr);
    EXPECT_EQ(kit.services().segmenter, nullptr);
}

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
    snapshot.edit.frame.background = BackgroundStyle::none;
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
