#include "recording/mic_level.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace orvane {
namespace {

float levelOf(const std::vector<std::int16_t>& samples) {
    return micRawLevel(samples.data(), samples.size() * sizeof(std::int16_t));
}

TEST(MicLevel, RawLevelIsFourTimesTheRmsCappedAtFullScale) {
    EXPECT_EQ(levelOf(std::vector<std::int16_t>(480, 0)), 0.0f);

    std::vector<std::int16_t> square(480);
    for (std::size_t i = 0; i < square.size(); ++i) square[i] = (i / 24) % 2 ? 32767 : -32767;
    EXPECT_EQ(levelOf(square), 1.0f);

    // A sine at a tenth of full scale: RMS 0.1/sqrt(2), times 4.
    std::vector<std::int16_t> sine(4800);
    for (std::size_t i = 0; i < sine.size(); ++i) sine[i] = std::int16_t(3276.7 * std::sin(2 * M_PI * i / 48.0));
    EXPECT_NEAR(levelOf(sine), 0.4 / std::sqrt(2.0), 1e-3);

    // Buffers too short for one sample read as silence instead of dividing by zero.
    const std::int16_t loud = 32767;
    EXPECT_EQ(micRawLevel(&loud, 0), 0.0f);
    EXPECT_EQ(micRawLevel(&loud, 1), 0.0f);
    EXPECT_EQ(micRawLevel(&loud, 2), 1.0f);
}

TEST(MicLevel, SmoothsTowardsTheRawLevelAtMostEveryFortyMilliseconds) {
    MicLevelPublisher publisher;
    EXPECT_FALSE(publisher.offer(0.0f, 10.0)) << "silence on a silent meter is no change";

    auto first = publisher.offer(1.0f, 10.0);
    ASSERT_TRUE(first);
    EXPECT_FLOAT_EQ(*first, 0.4f);
    EXPECT_FALSE(publisher.offer(1.0f, 10.039)) << "too soon after the last publication";
    EXPECT_FLOAT_EQ(publisher.level(), 0.4f) << "an unpublished reading leaves the level alone";

    auto second = publisher.offer(1.0f, 10.041);
    ASSERT_TRUE(second);
    EXPECT_FLOAT_EQ(*second, 0.64f);

    // A change under 0.02 that stays on one side of the line is not worth a redraw.
    const float steady = (0.65f - 0.6f * 0.64f) / 0.4f;
    EXPECT_FALSE(publisher.offer(steady, 11.0));
    EXPECT_FLOAT_EQ(publisher.level(), 0.64f);

    publisher.reset();
    EXPECT_EQ(publisher.level(), 0.0f);
    EXPECT_TRUE(publisher.offer(1.0f, 0.0)) << "after a reset the first reading publishes at once";
}

TEST(MicLevel, EveryCrossingOfTheSilenceLineIsPublishedAtMostOncePerInterval) {
    MicLevelPublisher publisher;
    ASSERT_TRUE(publisher.offer(0.039f / 0.4f, 0.0));
    ASSERT_NEAR(publisher.level(), 0.039f, 1e-6);

    // Readings that nudge the smoothed level to 0.041 and back to 0.039, every 11 ms.
    double lastPublishedAt = 0;
    int publications = 0;
    for (int tick = 1; tick <= 40; ++tick) {
        const double now = tick * 0.011;
        const float target = publisher.level() < 0.04f ? 0.041f : 0.039f;
        const float raw = (target - 0.6f * publisher.level()) / 0.4f;
        const float before = publisher.level();
        if (const auto published = publisher.offer(raw, now)) {
            ++publications;
            EXPECT_GE(now - lastPublishedAt, 0.04 - 1e-9);
            EXPECT_NE(before < 0.04f, *published < 0.04f) << "only crossings move a level this small";
            lastPublishedAt = now;
        }
    }
    EXPECT_EQ(publications, 10);
}

}  // namespace
}  // namespace orvane
