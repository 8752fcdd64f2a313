#include <gtest/gtest.h>

#include <cairo.h>

#include <cmath>
#include <cstring>

#include "media/sample_video.h"
#include "media/video_frame.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

std::uint32_t pixelAt(const RgbaImage& image, int x, int y) {
    std::uint32_t pixel;
    std::memcpy(&pixel, image.pixels.data() + static_cast<std::size_t>(y) * image.stride + x * 4, 4);
    return pixel;
}

// Centre of the pattern's white box, found as the pixels bright in all three channels.
std::optional<std::pair<double, double>> whiteBoxCentre(const RgbaImage& image) {
    double sumX = 0, sumY = 0;
    int count = 0;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const auto p = pixelAt(image, x, y);
            if (((p >> 16) & 0xff) > 200 && ((p >> 8) & 0xff) > 200 && (p & 0xff) > 200) {
                sumX += x + 0.5;
                sumY += y + 0.5;
                ++count;
            }
        }
    }
    if (count == 0) return std::nullopt;
    return std::pair{sumX / count, sumY / count};
}

std::pair<double, double> expectedCentre(const SampleVideoLayout& options, std::int64_t frame, double scale) {
    const Rect box = sampleVideoBoxRect(options, frame);
    return {(box.x + box.width / 2) * scale, (box.y + box.height / 2) * scale};
}

class VideoFrameTest : public ::testing::Test {
protected:
    void SetUp() override { writeSampleVideo(movie_, spec_); }

    testing::TempDir dir_;
    fs::path movie_ = dir_ / "screen.mp4";
    SampleVideoLayout spec_;  // 640 x 360, 30 fps, 2 s, a key frame every second
};

TEST_F(VideoFrameTest, DecodesTheFrameShownAtTheRequestedTime) {
    const auto image = extractVideoFrame(movie_, 0.5, 320, 200);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, 320);
    EXPECT_EQ(image->height, 180);
    EXPECT_GE(image->stride, 320 * 4);
    EXPECT_EQ(image->pixels.size(), static_cast<std::size_t>(image->stride) * 180);
    // Not blank: the background ramps from dark on the left to lighter on the right.
    EXPECT_LT(pixelAt(*image, 2, 170) & 0xff00, pixelAt(*image, 317, 170) & 0xff00);
    EXPECT_EQ(pixelAt(*image, 5, 5) >> 24, 0xffu);

    // Each time shows its own frame, also between key frames (at 1.0 s) and before the first one.
    const std::pair<double, std::int64_t> times[] = {{0.5, 15}, {1.5, 45}, {1.99, 59}, {0.0, 0}, {-3.0, 0}, {0.52, 15}};
    for (const auto& [seconds, frame] : times) {
        const auto shown = extractVideoFrame(movie_, seconds, 320, 200);
        ASSERT_TRUE(shown) << seconds;
        const auto centre = whiteBoxCentre(*shown);
        ASSERT_TRUE(centre) << seconds;
        const auto expected = expectedCentre(spec_, frame, 0.5);
        EXPECT_NEAR(centre->first, expected.first, 2.0) << seconds;
        EXPECT_NEAR(centre->second, expected.second, 2.0) << seconds;
    }

    // Never enlarged beyond the stored size.
    const auto full = extractVideoFrame(movie_, 0.5, 4000, 4000);
    ASSERT_TRUE(full);
    EXPECT_EQ(full->width, 640);
    EXPECT_EQ(full->height, 360);
}

TEST_F(VideoFrameTest, AppliesTheStoredRotation) {
    for (int rotation : {90, 180, 270}) {
        SampleVideoLayout options = spec_;
        options.rotationDegrees = rotation;
        options.withAudio = false;
        options.seconds = 1;
        const auto movie = dir_ / "rotated.mp4";
        writeSampleVideo(movie, options);

        const auto image = extractVideoFrame(movie, 0.5, 320, 200);
        ASSERT_TRUE(image) << rotation;
        const bool quarter = rotation != 180;
        // 360 x 640 upright fits 200 high at a scale of 0.3125.
        const double scale = quarter ? 0.3125 : 0.5;
        EXPECT_EQ(image->width, quarter ? 113 : 320) << rotation;
        EXPECT_EQ(image->height, quarter ? 200 : 180) << rotation;

        const auto [sx, sy] = expectedCentre(options, 15, scale);
        const double w = 640 * scale, h = 360 * scale;
        std::pair<double, double> expected{w - sx, h - sy};  // 180
        if (rotation == 90) expected = {h - sy, sx};
        if (rotation == 270) expected = {sy, w - sx};
        const auto centre = whiteBoxCentre(*image);
        ASSERT_TRUE(centre) << rotation;
        EXPECT_NEAR(centre->first, expected.first, 2.0) << rotation;
        EXPECT_NEAR(centre->second, expected.second, 2.0) << rotation;
    }
}

TEST_F(VideoFrameTest, PngRoundTripsThroughCairo) {
    const auto image = extractVideoFrame(movie_, 0.5, 320, 200);
    ASSERT_TRUE(image);
    const auto png = dir_ / "thumb.png";
    ASSERT_TRUE(writePng(*image, png));

    cairo_surface_t* read = cairo_image_surface_create_from_png(png.c_str());
    ASSERT_EQ(cairo_surface_status(read), CAIRO_STATUS_SUCCESS);
    EXPECT_EQ(cairo_image_surface_get_width(read), image->width);
    EXPECT_EQ(cairo_image_surface_get_height(read), image->height);
    cairo_surface_flush(read);
    const int stride = cairo_image_surface_get_stride(read);
    const unsigned char* data = cairo_image_surface_get_data(read);
    int differing = 0;
    for (int y = 0; y < image->height; ++y) {
        differing += std::memcmp(data + y * stride, image->pixels.data() + y * image->stride, image->width * 4) != 0;
    }
    EXPECT_EQ(differing, 0);
    cairo_surface_destroy(read);

    // A failed write keeps the PNG that was there.
    const auto before = fs::file_size(png);
    EXPECT_FALSE(writePng(*image, dir_ / "missing" / "thumb.png"));
    RgbaImage malformed = *image;
    malformed.pixels.resize(10);
    EXPECT_FALSE(writePng(malformed, png));
    EXPECT_FALSE(writePng(RgbaImage{}, png));
    EXPECT_EQ(fs::file_size(png), before);
}

TEST_F(VideoFrameTest, UndecodableInputsAnswerNothing) {
    EXPECT_FALSE(extractVideoFrame(dir_ / "missing.mp4", 0.5, 320, 200));
    testing::writeTextFile(dir_ / "garbage.mp4", std::string(10000, '\x42'));
    EXPECT_FALSE(extractVideoFrame(dir_ / "garbage.mp4", 0.5, 320, 200));
    EXPECT_FALSE(extractVideoFrame(movie_, 0.5, 0, 200));
    EXPECT_FALSE(extractVideoFrame(movie_, std::nan(""), 320, 200));

    writeSampleVideo(dir_ / "zero.mp4", {.seconds = 0});
    EXPECT_FALSE(extractVideoFrame(dir_ / "zero.mp4", 0.5, 320, 200));
}

}  // namespace
}  // namespace orvane
