#include "editor/cursor_lookup.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "camera_test_support.h"

namespace orvane {
namespace {

TEST(CursorLookupTest, LinearLookupInterpolatesBetweenBracketingSamplesAndHoldsTheEnds) {
    const std::vector<CursorTelemetryPoint> track = {
        {100, 0.1, 0.2, false}, {200, 0.3, 0.6, false}, {200, 0.9, 0.9, false}, {400, 0.5, 0.1, false}};
    EXPECT_FALSE(cursorPosition({}, 1.0));
    EXPECT_EQ(cursorPosition(track, 0.0), (CursorPosition{0.1, 0.2}));
    EXPECT_EQ(cursorPosition(track, 0.1), (CursorPosition{0.1, 0.2}));
    EXPECT_EQ(cursorPosition(track, 5.0), (CursorPosition{0.5, 0.1}));

    const auto quarter = cursorPosition(track, 0.125);
    ASSERT_TRUE(quarter);
    EXPECT_NEAR(quarter->x, 0.15, 1e-12);
    EXPECT_NEAR(quarter->y, 0.3, 1e-12);

    // Equal timestamps: the later duplicate brackets the next interval.
    const auto afterDuplicate = cursorPosition(track, 0.3);
    ASSERT_TRUE(afterDuplicate);
    EXPECT_NEAR(afterDuplicate->x, 0.7, 1e-12);
    EXPECT_NEAR(afterDuplicate->y, 0.5, 1e-12);

    // Milliseconds are truncated, not rounded: 0.1259 s is 125 ms.
    const auto truncated = cursorPosition(track, 0.1259);
    ASSERT_TRUE(truncated);
    EXPECT_NEAR(truncated->x, 0.15, 1e-12);
}

TEST(CursorLookupTest, SmoothingWidthFollowsTheCameraSmoothing) {
    EXPECT_DOUBLE_EQ(cursorSmoothingSigmaMs(0), 80);
    EXPECT_EQ(cursorSmoothingHalfWindowMs(0), 280);
    EXPECT_NEAR(cursorSmoothingSigmaMs(0.6), 452, 1e-9);
    EXPECT_EQ(cursorSmoothingHalfWindowMs(1), 2450);
    EXPECT_DOUBLE_EQ(cursorSmoothingSigmaMs(1.7), 700);
    EXPECT_DOUBLE_EQ(cursorSmoothingSigmaMs(-0.5), 80);
}

TEST(CursorLookupTest, SmoothedLookupWeighsOnlyTheWindowAroundTheTime) {
    // Two samples symmetric about 1 s weigh the same; a far sample must not count.
    const std::vector<CursorTelemetryPoint> track = {
        {0, 0.9, 0.9, false}, {950, 0.2, 0.4, false}, {1050, 0.4, 0.8, false}, {5030, 0.0, 0.0, false}};
    const auto mean = smoothedCursor(track, 1.0, 0);
    ASSERT_TRUE(mean);
    EXPECT_NEAR(mean->x, 0.3, 1e-12);
    EXPECT_NEAR(mean->y, 0.6, 1e-12);

    // Off-centre: the nearer sample weighs exp(-0.5 (d/σ)²) more.
    const auto offCentre = smoothedCursor(track, 0.97, 0);
    ASSERT_TRUE(offCentre);
    const double wNear = std::exp(-0.5 * std::pow(20.0 / 80.0, 2));
    const double wFar = std::exp(-0.5 * std::pow(80.0 / 80.0, 2));
    EXPECT_NEAR(offCentre->x, (wNear * 0.2 + wFar * 0.4) / (wNear + wFar), 1e-12);

    // Window edges are inclusive: at smoothing 0 it reaches 280 ms either side.
    EXPECT_TRUE(smoothedCursor(track, 4.75, 0));
    EXPECT_FALSE(smoothedCursor(track, 4.749, 0));
    EXPECT_FALSE(smoothedCursor(track, 3.0, 0));
    // A wider smoothing finds samples the narrow one misses.
    EXPECT_TRUE(smoothedCursor(track, 3.0, 1.0));
    EXPECT_FALSE(smoothedCursor({}, 1.0, 0.6));
}

TEST(CursorLookupTest, TabulatedSmootherAnswersExactlyLikeTheDirectLookup) {
    // Irregular spacing, as the sampler's truncated timestamps give.
    std::vector<CursorTelemetryPoint> track;
    for (std::int64_t t = 0, i = 0; t < 8000; t += 13 + (i * 7) % 11, ++i)
        track.push_back({t, 0.5 + 0.4 * std::sin(t * 0.001), 0.5 + 0.3 * std::cos(t * 0.0017), false});
    for (double smoothing : {0.0, 0.35, 0.6, 1.0}) {
        const CursorSmoother smoother(smoothing);
        for (double t = -3.0; t < 12.0; t += 0.0371) EXPECT_EQ(smoother.at(track, t), smoothedCursor(track, t, smoothing));
    }
}

TEST(CursorLookupTest, CompositionTimeMapsThroughClips) {
    EXPECT_EQ(sourceTimeForComposition(3.25, {}), 3.25);
    Clip clip;
    clip.sourceStart = 2;
    clip.sourceEnd = 5;
    clip.headOffset = 1;
    const std::vector<Clip> clips = {clip};
    EXPECT_FALSE(sourceTimeForComposition(0.5, clips));
    EXPECT_NEAR(*sourceTimeForComposition(1.5, clips), 2.5, 1e-12);
    EXPECT_FALSE(sourceTimeForComposition(4.5, clips));
}

}  // namespace
}  // namespace orvane
