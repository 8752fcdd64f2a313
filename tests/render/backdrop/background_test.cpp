#include <cmath>
#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

#include "render/backdrop/background_palette.h"
#include "render/backdrop/background_renderer.h"
#include "render/backdrop/background_swatches.h"
#include "render/backdrop/grain_vignette.h"
#include "support/required_service.h"
#include "support/temp_dir.h"
#include "surface_pixels.h"

namespace orvane {
namespace {

using testing::pixelAt;
using testing::Pixel;

int to255(double component) { return static_cast<int>(std::lround(component * 255)); }

void expectNear(const Pixel& p, const RgbaColor& c, int tolerance) {
    EXPECT_NEAR(p.r, to255(c.red), tolerance);
    EXPECT_NEAR(p.g, to255(c.green), tolerance);
    EXPECT_NEAR(p.b, to255(c.blue), tolerance);
}

double distance(const Pixel& p, const RgbaColor& c) {
    return std::hypot(p.r - to255(c.red), p.g - to255(c.green), p.b - to255(c.blue));
}

// A PNG whose top row is red | green and bottom row blue | blue, 4 x 2 pixels wide.
std::filesystem::path writeQuadrantPng(const std::filesystem::path& file) {
    cairo::Surface image(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 4, 2));
    cairo::Context cr(cairo_create(image.get()));
    cairo_set_source_rgb(cr.get(), 0, 0, 1);
    cairo_paint(cr.get());
    cairo_set_source_rgb(cr.get(), 1, 0, 0);
    cairo_rectangle(cr.get(), 0, 0, 2, 1);
    cairo_fill(cr.get());
    cairo_set_source_rgb(cr.get(), 0, 1, 0);
    cairo_rectangle(cr.get(), 2, 0, 2, 1);
    cairo_fill(cr.get());
    cairo_surface_write_to_png(image.get(), file.c_str());
    return file;
}

TEST(BackgroundTest, EveryStyleRendersOpaqueWithItsGradientRunningTopLeftToBottomRight) {
    constexpr int kWidth = 320, kHeight = 180;
    for (const BackgroundStyle style : kAllBackgroundStyles) {
        SCOPED_TRACE(std::string(rawValue(style)));
        const auto surface = renderBackground(style, std::nullopt, kWidth, kHeight);
        ASSERT_TRUE(surface);
        ASSERT_EQ(cairo_image_surface_get_width(surface.get()), kWidth);
        ASSERT_EQ(cairo_image_surface_get_height(surface.get()), kHeight);
        const Pixel topLeft = pixelAt(surface.get(), 1, 1);
        const Pixel bottomRight = pixelAt(surface.get(), kWidth - 2, kHeight - 2);
        if (style == BackgroundStyle::none) {
            EXPECT_EQ(topLeft.a, 0);
            EXPECT_EQ(pixelAt(surface.get(), kWidth / 2, kHeight / 2).a, 0);
            continue;
        }
        EXPECT_EQ(topLeft.a, 255);
        EXPECT_EQ(pixelAt(surface.get(), kWidth / 2, kHeight / 2).a, 255);
        EXPECT_EQ(bottomRight.a, 255);
        // Glows, ribbons and the vignette shift the corners, but where the base's ends are far apart
        // each corner must stay nearer its own end of the gradient.
        const auto palette = backgroundPalette(style);
        ASSERT_TRUE(palette);
        const RgbaColor& first = palette->base.front();
        const RgbaColor& last = palette->base.back();
        if (std::hypot(first.red - last.red, first.green - last.green, first.blue - last.blue) > 0.4) {
            EXPECT_LT(distance(topLeft, first), distance(topLeft, last));
            EXPECT_LT(distance(bottomRight, last), distance(bottomRight, first));
        }
    }
}

TEST(BackgroundTest, CustomImageFillsTheCanvasUprightAndFallsBackWhenUnreadable) {
    testing::TempDir dir;
    const auto png = writeQuadrantPng(dir / "wall.png");

    // 4 x 2 scaled by 50 to cover 100 x 100: the middle two columns show, upright.
    const auto filled = renderBackground(BackgroundStyle::customImage, png, 100, 100);
    ASSERT_TRUE(filled);
    expectNear(pixelAt(filled.get(), 25, 20), {1, 0, 0, 1}, 2);
    expectNear(pixelAt(filled.get(), 75, 20), {0, 1, 0, 1}, 2);
    expectNear(pixelAt(filled.get(), 50, 80), {0, 0, 1, 1}, 2);

    testing::writeTextFile(dir / "notes.png", "not a picture");
    const auto fallbackColours = backgroundPalette(BackgroundStyle::customImage)->base;
    ASSERT_EQ(fallbackColours.size(), 2u);
    for (const auto& source : {std::optional<std::filesystem::path>{}, std::optional(dir / "missing.jpg"),
                               std::optional(dir / "notes.png"), std::optional(dir.path())}) {
        const auto fallback = renderBackground(BackgroundStyle::customImage, source, 200, 100);
        ASSERT_TRUE(fallback);
        // No grain or vignette here: the corners are the gradient's exact ends.
        expectNear(pixelAt(fallback.get(), 0, 0), fallbackColours.front(), 2);
        expectNear(pixelAt(fallback.get(), 199, 99), fallbackColours.back(), 2);
    }
}

TEST(BackgroundTest, CustomJpegDecodesThroughFfmpeg) {
    testing::TempDir dir;
    const auto png = writeQuadrantPng(dir / "wall.png");
    const auto jpeg = dir / "wall.jpg";
    // The test makes its JPEG with the ffmpeg program when it is installed; decoding is in-process.
    const std::string command = "ffmpeg -loglevel error -y -i '" + png.string() + "' -vf scale=40:20:flags=neighbor '" +
                                jpeg.string() + "' 2>/dev/null";
    ORVANE_REQUIRE_SERVICE(std::system(command.c_str()) == 0 && std::filesystem::exists(jpeg), "no ffmpeg program");
    const auto image = loadStillImage(jpeg);
    ASSERT_TRUE(image);
    EXPECT_EQ(cairo_image_surface_get_width(image.get()), 40);
    const auto filled = renderBackground(BackgroundStyle::customImage, jpeg, 100, 100);
    expectNear(pixelAt(filled.get(), 25, 20), {1, 0, 0, 1}, 30);
    expectNear(pixelAt(filled.get(), 50, 80), {0, 0, 1, 1}, 30);
}

TEST(BackgroundTest, GrainIsFixedForASeedAndTouchesOnlyCellCornersFromTheBottomRow) {
    const auto first = renderBackground(BackgroundStyle::sonomaPurple, std::nullopt, 640, 360);
    const auto second = renderBackground(BackgroundStyle::sonomaPurple, std::nullopt, 640, 360);
    EXPECT_TRUE(testing::sameBytes(first.get(), second.get()));

    constexpr int kWidth = 700, kHeight = 150;  // step 8; 150 is not a multiple of it
    auto plain = testing::makeCanvas(kWidth, kHeight, 0.5);
    auto seeded = testing::makeCanvas(kWidth, kHeight, 0.5);
    auto again = testing::makeCanvas(kWidth, kHeight, 0.5);
    auto other = testing::makeCanvas(kWidth, kHeight, 0.5);
    drawGrain(seeded.context.get(), seeded.rect(), 0.5);
    drawGrain(again.context.get(), again.rect(), 0.5);
    drawGrain(other.context.get(), other.rect(), 0.5, kGrainSeed + 1);
    EXPECT_TRUE(testing::sameBytes(seeded.surface.get(), again.surface.get()));
    EXPECT_FALSE(testing::sameBytes(seeded.surface.get(), other.surface.get()));

    int darker = 0, lighter = 0;
    for (int row = 0; row < kHeight; ++row) {
        for (int x = 0; x < kWidth; ++x) {
            const int value = pixelAt(seeded.surface.get(), x, row).r;
            const int fromBottom = kHeight - 1 - row;
            const bool corner = x % 8 == 0 && fromBottom % 8 == 0;
            if (!corner) {
                ASSERT_EQ(value, pixelAt(plain.surface.get(), x, row).r) << x << "," << row;
                continue;
            }
            darker += value < 127;
            lighter += value > 128;
        }
    }
    EXPECT_GT(darker, 100);
    EXPECT_GT(lighter, 100);
}

TEST(BackgroundTest, VignetteDarkensTheCornersAndLeavesTheCentre) {
    auto canvas = testing::makeCanvas(400, 200, 0.8);
    const int before = pixelAt(canvas.surface.get(), 200, 100).r;
    drawVignette(canvas.context.get(), canvas.rect(), 0.5);
    EXPECT_EQ(pixelAt(canvas.surface.get(), 200, 100).r, before);
    const int corner = pixelAt(canvas.surface.get(), 0, 0).r;
    const int edge = pixelAt(canvas.surface.get(), 200, 0).r;
    EXPECT_LT(corner, edge);
    EXPECT_LT(edge, before);
    EXPECT_GT(corner, before * 0.4);  // at most `strength` of the light is taken away
}

TEST(BackgroundTest, SwatchesWriteOnePngPerStyleAndReportBadInput) {
    testing::TempDir dir;
    std::string error;
    const auto written = writeBackgroundSwatches(dir / "swatches", 96, 54, &error);
    ASSERT_EQ(written.size(), kAllBackgroundStyles.size()) << error;
    EXPECT_EQ(written.back().filename(), "custom.png");
    for (const auto& file : written) {
        cairo::Surface png(cairo_image_surface_create_from_png(file.c_str()));
        ASSERT_EQ(cairo_surface_status(png.get()), CAIRO_STATUS_SUCCESS) << file;
        EXPECT_EQ(cairo_image_surface_get_width(png.get()), 96);
        EXPECT_EQ(cairo_image_surface_get_height(png.get()), 54);
    }

    EXPECT_TRUE(writeBackgroundSwatches(dir / "empty", 0, 54, &error).empty());
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(std::filesystem::exists(dir / "empty"));

    testing::writeTextFile(dir / "occupied", "a file, not a folder");
    error.clear();
    EXPECT_TRUE(writeBackgroundSwatches(dir / "occupied", 96, 54, &error).empty());
    EXPECT_NE(error.find("occupied"), std::string::npos);
    EXPECT_EQ(testing::readTextFile(dir / "occupied"), "a file, not a folder");
}

}  // namespace
}  // namespace orvane
