#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>

#include "media/cairo_handles.h"
#include "render/blur.h"
#include "render/shadow.h"
#include "scene_pixels.h"

namespace orvane {
namespace {

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
