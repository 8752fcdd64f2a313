#include <gtest/gtest.h>

#include "recording/alpha_probe_memo.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

struct CountingProbe {
    AlphaProbeResult answer;
    int runs = 0;
    std::function<AlphaProbeResult()> function() {
        return [this] {
            ++runs;
            return answer;
        };
    }
};

TEST(AlphaProbeMemoTest, AClearAnswerIsKeptPerFrameRateAndABrokenMemoMeansProbingAgain) {
    testing::TempDir dir;
    const auto memo = dir / "cache" / "alpha-probe.json";
    CountingProbe probe{{true, 75, ""}};

    EXPECT_TRUE(alphaWriterUsable(memo, 60, probe.function()));
    EXPECT_TRUE(alphaWriterUsable(memo, 60, probe.function()));
    EXPECT_EQ(probe.runs, 1);

    // Another frame rate is another question: it is probed and its answer replaces the old one.
    probe.answer = {false, 3, "too slow"};
    EXPECT_FALSE(alphaWriterUsable(memo, 30, probe.function()));
    EXPECT_FALSE(alphaWriterUsable(memo, 30, probe.function()));
    EXPECT_EQ(probe.runs, 2);

    testing::writeTextFile(memo, "{\"machine\": ");
    probe.answer = {true, 70, ""};
    EXPECT_TRUE(alphaWriterUsable(memo, 30, probe.function()));
    EXPECT_EQ(probe.runs, 3);
    EXPECT_TRUE(alphaWriterUsable(memo, 30, probe.function()));
    EXPECT_EQ(probe.runs, 3);
}

TEST(AlphaProbeMemoTest, ANearMissIsProbedAgainEachTime) {
    testing::TempDir dir;
    const auto memo = dir / "alpha-probe.json";
    CountingProbe probe{{false, 40, "40 of 60 frames a second"}};
    EXPECT_FALSE(alphaWriterUsable(memo, 60, probe.function()));
    EXPECT_FALSE(alphaWriterUsable(memo, 60, probe.function()));
    EXPECT_EQ(probe.runs, 2);
    EXPECT_FALSE(std::filesystem::exists(memo));
}

}  // namespace
}  // namespace orvane
