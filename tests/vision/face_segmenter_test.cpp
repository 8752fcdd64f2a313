#include <gtest/gtest.h>

#include <vector>

#include "drawn_face.h"
#include "support/required_service.h"
#include "vision/face_detector.h"
#include "vision/face_segmenter.h"

namespace orvane {
namespace {

// An orange blob on a blue-grey wall, the seed a loose box around it that takes in wall too.
cairo::Surface blobOnWall(int width, int height) {
    cairo::Surface s(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    cairo::Context cr(cairo_create(s.get()));
    cairo_set_source_rgb(cr.get(), 0.35, 0.45, 0.6);
    cairo_paint(cr.get());
    cairo_set_source_rgb(cr.get(), 0.95, 0.55, 0.15);
    cairo_arc(cr.get(), width * 0.5, height * 0.55, height * 0.25, 0, 2 * M_PI);
    cairo_fill(cr.get());
    return s;
}

TEST(GrabCutMask, CoversTheBlobButNotTheWallAndNeedsRoomToLearnAndUsableInput) {
    const int w = 400, h = 300;  // larger than the working copy, so the mask is scaled back up
    const cairo::Surface frame = blobOnWall(w, h);
    const cairo::Surface mask = grabCutMask(frame.get(), {0.25, 0.15, 0.5, 0.8});
    ASSERT_TRUE(mask);
    ASSERT_EQ(cairo_image_surface_get_format(mask.get()), CAIRO_FORMAT_A8);
    ASSERT_EQ(cairo_image_surface_get_width(mask.get()), w);
    ASSERT_EQ(cairo_image_surface_get_height(mask.get()), h);
    using testing::alphaAt;
    // Blob: centre and near its rim (radius 75 around (200, 165)).
    EXPECT_EQ(alphaAt(mask.get(), 200, 165), 255);
    EXPECT_GT(alphaAt(mask.get(), 200 - 62, 165), 200);
    EXPECT_GT(alphaAt(mask.get(), 200, 165 + 62), 200);
    // Wall inside the seed's corners, and the frame's corners.
    EXPECT_LT(alphaAt(mask.get(), 110, 55), 30);
    EXPECT_LT(alphaAt(mask.get(), 290, 280), 30);
    for (auto [x, y] : std::vector<std::pair<int, int>>{{0, 0}, {w - 1, 0}, {0, h - 1}, {w - 1, h - 1}})
        EXPECT_EQ(alphaAt(mask.get(), x, y), 0) << x << "," << y;

    // Nothing to learn from when everything is seeded as the person, or the seed or input is unusable.
    EXPECT_FALSE(grabCutMask(frame.get(), {0, 0, 1, 1}));        // everything seeded as the person
    EXPECT_FALSE(grabCutMask(frame.get(), {0.4, 0.4, 0, 0.2}));  // empty seed
    cairo::Surface a8(cairo_image_surface_create(CAIRO_FORMAT_A8, 200, 150));
    EXPECT_FALSE(grabCutMask(a8.get(), {0.25, 0.25, 0.5, 0.5}));
    EXPECT_FALSE(grabCutMask(nullptr, {0.25, 0.25, 0.5, 0.5}));
}

TEST(OpenCvPersonSegmenter, MasksHeadAndShouldersOfTheDetectedFace) {
    OpenCvFaceDetector detector;
    ORVANE_REQUIRE_SERVICE(detector.available(), "the frontal-face cascade is not installed");
    OpenCvPersonSegmenter segmenter(detector);

    const cairo::Surface frame = testing::drawnFace(640, 480, {320, 200, 150});
    const cairo::Surface mask = segmenter.personMask(frame.get());
    ASSERT_TRUE(mask);
    using testing::alphaAt;
    EXPECT_GT(alphaAt(mask.get(), 320, 200), 200);  // face
    EXPECT_GT(alphaAt(mask.get(), 320, 110), 200);  // hair
    EXPECT_GT(alphaAt(mask.get(), 260, 430), 200);  // shirt
    EXPECT_LT(alphaAt(mask.get(), 60, 60), 30);     // room either side
    EXPECT_LT(alphaAt(mask.get(), 580, 200), 30);
    EXPECT_LT(alphaAt(mask.get(), 190, 120), 30);  // room beside the head, inside the seed

    // Without a face there is nothing to seed from: the frame stays unblurred.
    const cairo::Surface room = blobOnWall(640, 480);
    EXPECT_FALSE(segmenter.personMask(room.get()));
}

}  // namespace
}  // namespace orvane
