#include <algorithm>
#include <cmath>

#include <gtest/gtest.h>

#include "render/backdrop/caption_layout.h"
#include "render/backdrop/caption_render_cache.h"
#include "surface_pixels.h"

namespace orvane {
namespace {

using testing::pixelAt;

CaptionSegment segment(double start, double end, std::string text) {
    CaptionSegment s;
    s.start = start;
    s.end = end;
    s.text = std::move(text);
    return s;
}

const std::string kLongText =
    "This caption keeps going well past the point where anyone could read it in one go, with enough words "
    "to fill four or five lines on a small canvas and then some more words so that it certainly overflows";

TEST(CaptionLayoutTest, BoxFollowsTheCanvasLongTextIsCutAndNarrowCanvasesLimitThePlate) {
    // 1920 x 1080: font 52 (0.03 x 1920 capped), padding 33.8 x 19.76, bottom margin 81.
    const Rect hd{0, 0, 1920, 1080};
    const auto hello = captionLayout("Hello there", hd);
    EXPECT_DOUBLE_EQ(hello.attributes.fontSize, 52);
    EXPECT_EQ(hello.attributes.weight, 600);
    const Rect& box = hello.backgroundRect;
    EXPECT_DOUBLE_EQ(box.y, 81);
    EXPECT_DOUBLE_EQ(box.x + box.width / 2, 960);
    EXPECT_NEAR(hello.textRect.x - box.x, 33.8, 1e-9);
    EXPECT_NEAR(hello.textRect.y - box.y, 19.76, 1e-9);
    // One line: the text is whole pixels, at least a font size tall, at most two line heights.
    EXPECT_NEAR(hello.textRect.width, std::round(hello.textRect.width), 1e-9);
    EXPECT_GE(hello.textRect.height, 52 - 1e-9);
    EXPECT_LT(hello.textRect.height, 2 * 52);

    // A single letter still gets the minimum plate width; a small canvas the minimum font and margin.
    const Rect small{0, 0, 640, 360};
    const auto letter = captionLayout("a", small);
    EXPECT_DOUBLE_EQ(letter.attributes.fontSize, 24);
    EXPECT_DOUBLE_EQ(letter.backgroundRect.width, 160);
    EXPECT_DOUBLE_EQ(letter.backgroundRect.y, 36);
    EXPECT_DOUBLE_EQ(letter.backgroundRect.x, 320 - 80);
    // A canvas with its own origin moves the plate with it.
    EXPECT_DOUBLE_EQ(captionLayout("a", Rect{100, 50, 640, 360}).backgroundRect.y, 36 + 50);

    const auto longer = captionLayout(kLongText, small);
    const double f = 24;
    EXPECT_LE(longer.textRect.height, std::ceil(3.6 * f));
    EXPECT_GT(longer.textRect.height, 2.5 * f);  // it did wrap to three lines
    EXPECT_LE(longer.textRect.width, 474);  // 0.74 x 640, rounded out

    const Rect narrow{0, 0, 300, 200};
    const auto cramped = captionLayout(kLongText, narrow);
    EXPECT_DOUBLE_EQ(cramped.backgroundRect.width, 300 - 48);
    EXPECT_DOUBLE_EQ(cramped.backgroundRect.x, 24);
}

TEST(CaptionLayoutTest, DrawsADarkPlateWithWhiteTextInsideTheTextRect) {
    auto canvas = testing::makeCanvas(640, 360);
    const auto layout = captionLayout("Ship it today", canvas.rect());
    drawCaption(canvas.context.get(), layout);
    cairo_surface_t* s = canvas.surface.get();
    const Rect plate = testing::toTopLeft(layout.backgroundRect, 360);
    const Rect text = testing::toTopLeft(layout.textRect, 360);

    // Plate colour just inside its left edge, half-way up; nothing outside it or in the rounded corner.
    const auto inside = pixelAt(s, static_cast<int>(plate.x) + 4, static_cast<int>(plate.y + plate.height / 2));
    EXPECT_NEAR(inside.a, 173, 2);
    EXPECT_EQ(inside.r, 0);
    EXPECT_EQ(pixelAt(s, static_cast<int>(plate.x) - 2, static_cast<int>(plate.y + plate.height / 2)).a, 0);
    EXPECT_EQ(pixelAt(s, static_cast<int>(plate.x) + 1, static_cast<int>(plate.y) + 1).a, 0);
    EXPECT_EQ(pixelAt(s, 320, static_cast<int>(plate.maxY()) + 2).a, 0);

    // White ink lies within the text rectangle and is centred in it.
    const Rect ink = testing::boundsWhere(s, [s](int x, int y) { return pixelAt(s, x, y).r >= 128; });
    ASSERT_GT(ink.width, 0);
    EXPECT_GE(ink.minX(), text.minX());
    EXPECT_LE(ink.maxX(), text.maxX());
    EXPECT_GE(ink.minY(), text.minY());
    EXPECT_LE(ink.maxY(), text.maxY());
    EXPECT_NEAR((ink.minX() + ink.maxX()) / 2, 320, 3);
}

TEST(CaptionSelectionTest, WithoutACacheTheFirstNonBlankCaptionCoveringTheTimeShows) {
    const std::vector<CaptionSegment> captions = {segment(0, 1, "one"), segment(1, 2, "two"),
                                                  segment(2.5, 3, " \n "), segment(3, 4, "four")};
    EXPECT_EQ(captionIndexShowing(captions, 0), 0u);
    EXPECT_EQ(captionIndexShowing(captions, 1), 0u);  // both ends are inclusive; the first wins
    EXPECT_EQ(captionIndexShowing(captions, 1.5), 1u);
    EXPECT_EQ(captionIndexShowing(captions, 2.2), std::nullopt);
    EXPECT_EQ(captionIndexShowing(captions, 2.7), std::nullopt);  // whitespace shows nothing
    EXPECT_EQ(captionIndexShowing(captions, 3), 3u);
    EXPECT_EQ(captionIndexShowing({}, 0), std::nullopt);
}

TEST(CaptionSelectionTest, TheCacheMovesForwardOnlyAndMeasuresEachTextOnce) {
    // Given out of order; the cache sorts by start.
    CaptionRenderCache cache({segment(3, 4, " again "), segment(0, 1, "again"), segment(1, 2, "two"),
                              segment(2.5, 3, "   ")},
                             Rect{0, 0, 1280, 720});
    const CaptionLayout* first = cache.layout(0.5);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->text, "again");
    ASSERT_NE(cache.layout(1.0), nullptr);
    EXPECT_EQ(cache.layout(1.0)->text, "again");  // its end is inclusive
    ASSERT_NE(cache.layout(1.0001), nullptr);
    EXPECT_EQ(cache.layout(1.0001)->text, "two");
    EXPECT_EQ(cache.layout(2.2), nullptr);   // a gap
    EXPECT_EQ(cache.layout(2.7), nullptr);   // blank text
    EXPECT_EQ(cache.activeIndex(), 2u);
    const CaptionLayout* later = cache.layout(3.5);
    ASSERT_NE(later, nullptr);
    EXPECT_EQ(later, first);  // same trimmed text, same measured layout
    EXPECT_EQ(cache.measuredTextCount(), 2u);
    // Frames come in increasing time; an earlier one does not bring back a passed caption.
    EXPECT_EQ(cache.layout(0.5), nullptr);
    EXPECT_EQ(cache.layout(9), nullptr);
    EXPECT_EQ(cache.activeIndex(), 4u);
}

}  // namespace
}  // namespace orvane
