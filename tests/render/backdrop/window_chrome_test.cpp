#include <gtest/gtest.h>

#include "render/backdrop/window_chrome.h"
#include "surface_pixels.h"

namespace orvane {
namespace {

using testing::pixelAt;

constexpr int kWidth = 400, kHeight = 200;
constexpr Rect kBar{20, 120, 360, 40};  // y-up: the bar's top edge is 40 pixels below the canvas top

testing::Canvas drawn(WindowChromeStyle style, std::string_view title, const Rect& bar = kBar, double s = 1) {
    auto canvas = testing::makeCanvas(kWidth, kHeight);
    drawWindowChrome(canvas.context.get(), style, title, bar, s);
    return canvas;
}

TEST(WindowChromeTest, GeometryGrowsWithTheZoomAndKeepsHalfPixelMinimums) {
    EXPECT_DOUBLE_EQ(windowChromeTitleBarHeight(720), 34);
    EXPECT_DOUBLE_EQ(windowChromeTitleBarHeight(2000), 70);

    const auto g = windowChromeGeometry(kBar, 1);
    EXPECT_EQ(g.separator, (Rect{20, 120, 360, 0.5}));
    EXPECT_DOUBLE_EQ(g.buttonDiameter, 12);
    EXPECT_DOUBLE_EQ(g.buttons[2].centerX, 80);
    EXPECT_DOUBLE_EQ(g.buttons[2].centerY, 140);
    // Horizontal inset max(0.16 x 360, 72); vertical max((40 - 1.3 x 13) / 2, 8).
    EXPECT_DOUBLE_EQ(g.titleRect.x, 20 + 72);
    EXPECT_DOUBLE_EQ(g.titleRect.width, 360 - 144);
    EXPECT_NEAR(g.titleRect.y, 120 + 11.55, 1e-9);

    const Rect wide{0, 0, 1000, 80};
    const auto zoomed = windowChromeGeometry(wide, 2);
    EXPECT_DOUBLE_EQ(zoomed.separator.height, 1);
    EXPECT_DOUBLE_EQ(zoomed.buttons[2].centerX, 120);
    EXPECT_DOUBLE_EQ(zoomed.titleRect.x, 160);  // 0.16 x 1000 beats 72 x 2

    const auto small = windowChromeGeometry(kBar, 0.5);
    EXPECT_DOUBLE_EQ(small.fontSize, 9);
    EXPECT_DOUBLE_EQ(small.separator.height, 0.5);
}

TEST(WindowChromeTest, LightBarHasItsGradientSeparatorAndButtonsWhereTheGeometrySays) {
    const auto light = drawn(WindowChromeStyle::light, "");
    cairo_surface_t* s = light.surface.get();
    // Top and bottom of the bar (canvas rows 40 to 80), away from the buttons.
    const auto top = pixelAt(s, 300, 40);
    const auto bottom = pixelAt(s, 300, 78);
    EXPECT_EQ(top.a, 255);
    EXPECT_NEAR(top.r, 247, 3);
    EXPECT_NEAR(bottom.r, 231, 3);
    EXPECT_LT(pixelAt(s, 300, 79).r, bottom.r);  // the separator darkens the last row
    EXPECT_EQ(pixelAt(s, 300, 39).a, 0);
    EXPECT_EQ(pixelAt(s, 10, 60).a, 0);

    // Just below each centre the gloss has faded out: the plain button colours.
    const auto red = pixelAt(s, 40, 62);
    const auto yellow = pixelAt(s, 60, 62);
    const auto green = pixelAt(s, 80, 62);
    EXPECT_NEAR(red.g, 94, 8);
    EXPECT_NEAR(yellow.g, 189, 8);
    EXPECT_NEAR(green.r, 41, 8);
    // Above the centre the gloss lightens it.
    EXPECT_GT(pixelAt(s, 40, 56).g, red.g + 10);
    // Between the buttons is bar.
    EXPECT_NEAR(pixelAt(s, 50, 60).r, 239, 6);
}

TEST(WindowChromeTest, StylesAutoMatchesLightAndBlankTitlesDrawNoText) {
    const auto light = drawn(WindowChromeStyle::light, "Notes");
    EXPECT_TRUE(testing::sameBytes(drawn(WindowChromeStyle::automatic, "Notes").surface.get(), light.surface.get()));

    const auto dark = drawn(WindowChromeStyle::dark, "");
    EXPECT_NEAR(pixelAt(dark.surface.get(), 300, 40).b, 56, 3);
    const auto translucent = drawn(WindowChromeStyle::translucent, "");
    EXPECT_NEAR(pixelAt(translucent.surface.get(), 300, 40).a, 209, 3);
    EXPECT_NEAR(pixelAt(translucent.surface.get(), 300, 78).a, 185, 4);

    const auto untitled = drawn(WindowChromeStyle::light, "");
    EXPECT_TRUE(testing::sameBytes(drawn(WindowChromeStyle::light, " \t\n ").surface.get(), untitled.surface.get()));

    const Rect titleArea = testing::toTopLeft(windowChromeGeometry(kBar, 1).titleRect, kHeight);
    for (const char* title : {"Notes", "A very long window title that cannot possibly fit in the space of this bar"}) {
        SCOPED_TRACE(title);
        const Rect ink = testing::differingBounds(drawn(WindowChromeStyle::light, title).surface.get(),
                                                  untitled.surface.get());
        ASSERT_GT(ink.width, 0);
        EXPECT_GE(ink.minX(), titleArea.minX());
        EXPECT_LE(ink.maxX(), titleArea.maxX());
        EXPECT_GE(ink.minY(), titleArea.minY() - 1);
        EXPECT_LE(ink.maxY(), titleArea.maxY() + 1);
        // Centred on the bar.
        EXPECT_NEAR((ink.minX() + ink.maxX()) / 2, 200, 4);
    }
}

}  // namespace
}  // namespace orvane
