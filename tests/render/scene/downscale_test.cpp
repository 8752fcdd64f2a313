#include <gtest/gtest.h>

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <numeric>

#include "media/cairo_handles.h"
#include "render/paint/blur.h"
#include "render/scene/compositor.h"
#include "render/scene/scene_downscale.h"
#include "render/scene/scene_layers.h"
#include "render/scene/shadow.h"
#include "scene_pixels.h"

namespace orvane {
namespace {

using testing::difference;
using testing::Pixel;
using testing::pixelAt;

// Thin dark bars on a light gradient with a coloured disc: detail that a filter which skips
// pixels would lose or alias.
cairo::Surface detailedPicture(int w, int h) {
    cairo::Surface s(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h));
    cairo::Context cr(cairo_create(s.get()));
    cairo_pattern_t* gradient = cairo_pattern_create_linear(0, 0, w, h);
    cairo_pattern_add_color_stop_rgb(gradient, 0, 0.95, 0.9, 0.8);
    cairo_pattern_add_color_stop_rgb(gradient, 1, 0.6, 0.7, 0.9);
    cairo_set_source(cr.get(), gradient);
    cairo_paint(cr.get());
    cairo_pattern_destroy(gradient);
    cairo_set_source_rgb(cr.get(), 0.1, 0.1, 0.15);
    for (int x = 3; x < w; x += 5) cairo_rectangle(cr.get(), x, 0, 1, h * 0.6);
    cairo_fill(cr.get());
    cairo_set_source_rgb(cr.get(), 0.9, 0.1, 0.2);
    cairo_arc(cr.get(), w * 0.7, h * 0.75, h * 0.2, 0, 2 * M_PI);
    cairo_fill(cr.get());
    return s;
}

// The same picture drawn by Cairo's own area filter, as the compositor used to.
cairo::Surface drawnByCairo(cairo_surface_t* source, const Rect& region, const Rect& destination, int w, int h) {
    cairo::Surface target(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h));
    cairo::Context cr(cairo_create(target.get()));
    cairo_rectangle(cr.get(), destination.x, destination.y, destination.width, destination.height);
    cairo_clip(cr.get());
    cairo_translate(cr.get(), destination.x, destination.y);
    cairo_scale(cr.get(), destination.width / region.width, destination.height / region.height);
    cairo::Surface shown(
        cairo_surface_create_for_rectangle(source, region.x, region.y, region.width, region.height));
    cairo_set_source_surface(cr.get(), shown.get(), 0, 0);
    cairo_pattern_set_extend(cairo_get_source(cr.get()), CAIRO_EXTEND_PAD);
    cairo_pattern_set_filter(cairo_get_source(cr.get()), CAIRO_FILTER_GOOD);
    cairo_paint(cr.get());
    return target;
}

// The same through a transform alone: Cairo samples a scaled subsurface about a pixel off, so an
// enlarged crop is compared with the whole picture moved and scaled into place.
cairo::Surface enlargedByCairo(cairo_surface_t* source, const Rect& region, const Rect& destination, int w, int h) {
    cairo::Surface target(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h));
    cairo::Context cr(cairo_create(target.get()));
    cairo_rectangle(cr.get(), destination.x, destination.y, destination.width, destination.height);
    cairo_clip(cr.get());
    cairo_translate(cr.get(), destination.x, destination.y);
    cairo_scale(cr.get(), destination.width / region.width, destination.height / region.height);
    cairo_set_source_surface(cr.get(), source, -region.x, -region.y);
    cairo_pattern_set_extend(cairo_get_source(cr.get()), CAIRO_EXTEND_PAD);
    cairo_pattern_set_filter(cairo_get_source(cr.get()), CAIRO_FILTER_BILINEAR);
    cairo_paint(cr.get());
    return target;
}

TEST(AreaDownscaler, ShrinksLikeCairosAreaFilterAtFractionalPlacesAndCrops) {
    const cairo::Surface source = detailedPicture(611, 400);
    struct Case {
        Rect crop;  // normalised, top-left
        Rect destination;
    };
    // Odd sizes and fractional edges, a shrink under 2x, one over 3x, and a crop of whole pixels
    // (Cairo rounds a fractional one inwards, so it would not be the same picture).
    for (const Case& c : {Case{{0, 0, 1, 1}, {10.25, 7.5, 351.3, 227.9}},
                          Case{{0, 0, 1, 1}, {0, 0, 173, 111}},
                          Case{{94.0 / 611, 0.1, 300.0 / 611, 0.6}, {3.7, 2.2, 120.6, 101.1}}}) {
        const int w = static_cast<int>(std::ceil(c.destination.maxX())) + 4;
        const int h = static_cast<int>(std::ceil(c.destination.maxY())) + 4;
        cairo::Surface target(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h));
        cairo::Context cr(cairo_create(target.get()));
        AreaDownscaler downscaler;
        drawRecording(cr.get(), source.get(), c.crop, c.destination, &downscaler);
        const Rect region{c.crop.x * 611, c.crop.y * 400, c.crop.width * 611, c.crop.height * 400};
        const cairo::Surface reference = drawnByCairo(source.get(), region, c.destination, w, h);
        const auto [largest, mean] = difference(target.get(), reference.get());
        // Both average the covered area; only rounding and Cairo's kernel sampling differ.
        EXPECT_LT(mean, 1.5) << c.destination.width;
        EXPECT_LT(largest, 40) << c.destination.width;
        // Nothing is drawn outside the destination.
        EXPECT_EQ(pixelAt(target.get(), w - 1, h - 1).a, 0);
    }
}

// A zoom enlarges the shown part of the recording; that must look as Cairo's bilinear filter
// would draw it, edges included, and land where Cairo puts it (a shift would make a zoom wobble).
TEST(AreaDownscaler, EnlargesLikeCairosBilinearFilterIncludingOneAxisOnly) {
    const cairo::Surface source = detailedPicture(611, 400);
    struct Case {
        Rect crop;  // normalised, top-left
        Rect destination;
    };
    // A 2.6x zoom on a whole-pixel part, a slight enlargement at fractional edges, and a picture
    // stretched in x but shrunk in y.
    for (const Case& c : {Case{{100.0 / 611, 0.25, 120.0 / 611, 0.2}, {2.3, 4.6, 312.5, 208.1}},
                          Case{{0, 0, 1, 1}, {1.5, 0.25, 640.7, 421.3}}, Case{{0, 0, 1, 1}, {3, 2, 700.2, 150.4}}}) {
        const int w = static_cast<int>(std::ceil(c.destination.maxX())) + 4;
        const int h = static_cast<int>(std::ceil(c.destination.maxY())) + 4;
        cairo::Surface target(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h));
        cairo::Context cr(cairo_create(target.get()));
        AreaDownscaler downscaler;
        drawRecording(cr.get(), source.get(), c.crop, c.destination, &downscaler);
        const Rect region{c.crop.x * 611, c.crop.y * 400, c.crop.width * 611, c.crop.height * 400};
        const cairo::Surface reference = enlargedByCairo(source.get(), region, c.destination, w, h);
        const auto [largest, mean] = difference(target.get(), reference.get());
        EXPECT_LT(mean, 1.5) << c.destination.width;
        // Inside a crop Cairo also blends in the pixels just outside it at the very edge, and the
        // shrunk axis of the last case is averaged rather than interpolated.
        EXPECT_LT(largest, c.crop.width < 1 ? 160 : 64) << c.destination.width;
        EXPECT_EQ(pixelAt(target.get(), w - 1, h - 1).a, 0);
    }

    // Each target pixel between its two nearest source pixels, weights summing to one; at the
    // edges the edge pixel repeats rather than reading outside the region.
    const auto taps = AreaDownscaler::axisTaps(2, 6, 10, 0, 16, 0, 16, 4);
    ASSERT_EQ(taps.taps, 4);
    for (std::size_t i = 0; i < 16; ++i) {
        const std::uint16_t* w = taps.weights.data() + i * 4;
        EXPECT_EQ(w[0] + w[1], 128);
        EXPECT_EQ(w[2] + w[3], 0);
        EXPECT_GE(taps.first[i], 2);
        EXPECT_LE(taps.first[i] + (w[1] ? 1 : 0), 5);
    }
    EXPECT_EQ(taps.first[0], 2);
    EXPECT_EQ(taps.weights[0], 128);
    // Target pixel 5's centre, 5.5 / 4 + 2 = 3.375, lies 0.875 of the way from pixel 2 to pixel 3.
    EXPECT_EQ(taps.first[5], 2);
    EXPECT_EQ(taps.weights[5 * 4 + 1], 112);
}

TEST(AreaDownscaler, KeepsFlatColoursExactAndTellsWhetherTheResultIsOpaque) {
    AreaDownscaler downscaler;
    const cairo::Surface flat = testing::solidSurface(301, 203, 0.2, 0.6, 1.0);
    cairo_surface_t* out = downscaler.resample(flat.get(), {0, 0, 301, 203}, {0.4, 0.3, 97.7, 66.1}, {0, 0, 99, 67});
    ASSERT_NE(out, nullptr);
    EXPECT_TRUE(downscaler.opaque());
    const Pixel expected = pixelAt(flat.get(), 5, 5);
    for (const auto& [x, y] : {std::pair{0, 0}, {50, 33}, {98, 66}, {97, 1}}) {
        const Pixel p = pixelAt(out, x, y);
        EXPECT_EQ(p.r, expected.r);
        EXPECT_EQ(p.g, expected.g);
        EXPECT_EQ(p.b, expected.b);
        EXPECT_EQ(p.a, 255);
    }

    // A half-transparent picture is not opaque, whatever its colours.
    cairo::Surface faded(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 64, 64));
    cairo::Context cr(cairo_create(faded.get()));
    cairo_set_source_rgba(cr.get(), 1, 1, 1, 0.5);
    cairo_paint(cr.get());
    ASSERT_NE(downscaler.resample(faded.get(), {0, 0, 64, 64}, {0, 0, 20, 20}, {0, 0, 20, 20}), nullptr);
    EXPECT_FALSE(downscaler.opaque());
    EXPECT_NEAR(pixelAt(downscaler.resample(faded.get(), {0, 0, 64, 64}, {0, 0, 20, 20}, {0, 0, 20, 20}), 9, 9).a,
                128, 1);

    // Formats it cannot read are left to Cairo.
    cairo::Surface mask(cairo_image_surface_create(CAIRO_FORMAT_A8, 64, 64));
    EXPECT_EQ(downscaler.resample(mask.get(), {0, 0, 64, 64}, {0, 0, 20, 20}, {0, 0, 20, 20}), nullptr);
}

TEST(AreaDownscaler, AveragesEverySourcePixelWithItsShareOfTheArea) {
    // 7 source pixels onto 4 target pixels: each target pixel covers 1.75 of them.
    const auto taps = AreaDownscaler::axisTaps(0, 7, 7, 0, 4, 0, 4, 4);
    ASSERT_EQ(taps.first.size(), 4u);
    std::vector<double> share(7, 0);
    for (std::size_t i = 0; i < 4; ++i) {
        int sum = 0;
        for (int t = 0; t < taps.taps; ++t) {
            const int w = taps.weights[i * static_cast<std::size_t>(taps.taps) + static_cast<std::size_t>(t)];
            sum += w;
            if (w) share[static_cast<std::size_t>(taps.first[i] + t)] += w;
        }
        EXPECT_EQ(sum, 128);
    }
    // Every source pixel counts as much as any other, give or take rounding: none is skipped.
    for (double s : share) EXPECT_NEAR(s / 128, 4.0 / 7, 0.02);
}

TEST(ShadowCache, AStillShapeIsCopiedAtFullSizeAndSkipsCoveredPixels) {
    ShadowCache cache;
    ShadowSpec params{roundedShape({60.5, 50.25, 180, 120}, 12), 0, -10, 20, 0, 300, 240};
    const auto paint = [&](std::span<const Rect> covered) {
        cairo::Surface canvas = testing::solidSurface(300, 240, 1, 1, 1);
        cairo::Context cr(cairo_create(canvas.get()));
        cache.paint(cr.get(), params, {0, 0, 0, 0.5}, covered);
        return canvas;
    };
    const cairo::Surface first = paint({});   // from the reduced mask
    const cairo::Surface second = paint({});  // from the full-size copy made now
    EXPECT_EQ(cache.renders(), 1u);
    const auto [largest, mean] = difference(first.get(), second.get());
    EXPECT_LE(largest, 2);
    EXPECT_LT(mean, 0.1);
    EXPECT_LT(pixelAt(second.get(), 150, 45).r, 200);  // the shadow is there

    const Rect window{70.5, 60.5, 160, 100};
    const cairo::Surface ring = paint(std::span(&window, 1));
    EXPECT_EQ(pixelAt(ring.get(), 150, 110).r, 255);  // untouched inside
    EXPECT_EQ(pixelAt(ring.get(), 71, 61).r, 255);
    EXPECT_EQ(pixelAt(ring.get(), 70, 110).r, pixelAt(second.get(), 70, 110).r);  // half-covered pixel still shaded
    EXPECT_EQ(pixelAt(ring.get(), 150, 45).r, pixelAt(second.get(), 150, 45).r);
}

TEST(SceneCompositor, StillFramesFromCachedLayersMatchTheFirstFrame) {
    constexpr int W = 480;
    constexpr int H = 270;
    SceneRenderSnapshot snapshot;
    snapshot.edit.frame.videoSize = {1024, 640};
    snapshot.edit.frame.inset = 0.06;
    snapshot.edit.frame.cornerRadius = 12;
    snapshot.edit.frame.background = BackgroundStyle::bone;
    snapshot.edit.frame.showWindowChrome = true;
    snapshot.edit.frame.windowTitle = "Notes";
    const cairo::Surface source = detailedPicture(1024, 640);
    const cairo::Surface background = testing::halvesSurface(W, H, {0.2, 0.3, 0.8}, {0.8, 0.5, 0.2});
    SceneCompositor compositor(std::make_shared<SceneRenderSnapshot>(snapshot), sceneLayerPainters(nullptr));
    const SceneFrameInput input{.source = source.get(), .background = background.get()};
    const auto frame = [&] {
        cairo::Surface target(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, W, H));
        // Leftovers of an earlier frame must not show through anywhere.
        cairo::Context cr(cairo_create(target.get()));
        cairo_set_source_rgb(cr.get(), 0, 1, 0);
        cairo_paint(cr.get());
        EXPECT_EQ(compositor.compose(target.get(), input), ComposeStatus::ok);
        return target;
    };
    const cairo::Surface drawn = frame();   // everything drawn
    const cairo::Surface cached = frame();  // backdrop and chrome kept now
    const cairo::Surface copied = frame();  // and copied
    for (cairo_surface_t* later : {cached.get(), copied.get()}) {
        const auto [largest, mean] = difference(drawn.get(), later);
        EXPECT_LE(largest, 3);
        EXPECT_LT(mean, 0.05);
    }
    EXPECT_EQ(compositor.shadowCache().renders(), 1u);
    // No green anywhere: every pixel was drawn over.
    int green = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const Pixel p = pixelAt(copied.get(), x, y);
            green += p.g == 255 && p.r == 0 && p.b == 0;
        }
    EXPECT_EQ(green, 0);

    // A transparent recording lets the shadow and background show through it, as before caching.
    cairo::Surface clear(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1024, 640));
    cairo::Surface target(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, W, H));
    ASSERT_EQ(compositor.compose(target.get(), {.source = clear.get(), .background = background.get()}),
              ComposeStatus::ok);
    const Pixel inside = pixelAt(target.get(), W / 4, H / 2);
    EXPECT_LT(inside.b, 255);
    EXPECT_GT(inside.b, 100);  // the blue half of the background, darkened by the shadow
}

std::uint8_t alphaAt(cairo_surface_t* surface, int x, int y) {
    cairo_surface_flush(surface);
    const unsigned char* row = cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
    if (cairo_image_surface_get_format(surface) == CAIRO_FORMAT_A8) return row[x];
    std::uint32_t pixel;
    std::memcpy(&pixel, row + 4 * x, 4);
    return static_cast<std::uint8_t>(pixel >> 24);
}

TEST(Blur, SpreadsABlockBySigmaKeepingItsMassAndFadesArgbEdges) {
    cairo::Surface mask(cairo_image_surface_create(CAIRO_FORMAT_A8, 201, 201));
    cairo::Context cr(cairo_create(mask.get()));
    cairo_rectangle(cr.get(), 90, 90, 21, 21);
    cairo_fill(cr.get());
    cr.reset();
    gaussianBlur(mask.get(), 5);

    double mass = 0;
    double moment = 0;
    double second = 0;
    for (int y = 0; y < 201; ++y) {
        for (int x = 0; x < 201; ++x) {
            const double a = alphaAt(mask.get(), x, y);
            mass += a;
            moment += a * (x - 100);
            second += a * (x - 100) * (x - 100);
        }
    }
    EXPECT_NEAR(mass, 21.0 * 21 * 255, 0.03 * 21 * 21 * 255);
    EXPECT_NEAR(moment / mass, 0, 0.2);  // stays centred
    // A 21-pixel block has variance (21^2 - 1) / 12; the blur adds sigma^2.
    EXPECT_NEAR(second / mass, (21.0 * 21 - 1) / 12 + 25, 0.1 * 61.7);
    EXPECT_LT(alphaAt(mask.get(), 100, 100), 255);
    EXPECT_GT(alphaAt(mask.get(), 100, 120), 0);

    // A box blur keeps an image's interior and fades its edges to transparent.
    const cairo::Surface image = testing::solidSurface(60, 40, 1, 0, 0);
    boxBlur(image.get(), 3);
    EXPECT_EQ(alphaAt(image.get(), 30, 20), 255);
    EXPECT_LT(alphaAt(image.get(), 0, 20), 200);
    EXPECT_LT(alphaAt(image.get(), 0, 0), alphaAt(image.get(), 0, 20));
}

TEST(ShadowCache, ReusesTheMaskWhileTheShapeHoldsStillAndLiftsTheShadow) {
    cairo::Surface canvas(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 300, 320));
    cairo::Context cr(cairo_create(canvas.get()));
    ShadowCache cache(2);
    ShadowSpec params{roundedShape({100, 100, 100, 100}, 10), 0, -16, 4, 0, 300, 320};
    cache.paint(cr.get(), params, {0, 0, 0, 1});
    EXPECT_EQ(cache.renders(), 1u);
    // Lifted by 16: just above the shape is dark, the same distance below it is not.
    EXPECT_GT(alphaAt(canvas.get(), 150, 92), 200);
    EXPECT_LT(alphaAt(canvas.get(), 150, 208), 30);

    cache.paint(cr.get(), params, {0, 0, 0, 0.5});
    EXPECT_EQ(cache.renders(), 1u);  // a new colour needs no new mask

    ShadowSpec moved = params;
    moved.shape.rect.x += 1;
    cache.paint(cr.get(), moved, {0, 0, 0, 1});
    cache.paint(cr.get(), params, {0, 0, 0, 1});
    EXPECT_EQ(cache.renders(), 2u);  // both still cached
}

}  // namespace
}  // namespace orvane
