#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "clip_test_support.h"
#include "model/time_mapping.h"

namespace orvane {
namespace {

using testing::clip;
using Mapping = ClipComposition::Mapping;

SpeedRamp ramp(double start, double end, double speed) { return {Uuid::random(), start, end, speed}; }

// Clips A (source 0-5) and B (source 10-12 after a 1 s gap): A covers 0-5, B covers 6-8.
std::vector<Clip> twoClips() { return {clip(0, 5), clip(10, 12, 1, "other.mp4")}; }

TEST(ClipMapping, MapsThroughClipsGapsAndSharedBoundaries) {
    const auto clips = twoClips();
    ClipComposition composition{clips};

    EXPECT_EQ(composition.mapping(0), (Mapping{0, clips[0].id, "screen.mp4", 0, 0, 5}));
    EXPECT_EQ(composition.mapping(5.0), (Mapping{0, clips[0].id, "screen.mp4", 5, 0, 5}));
    EXPECT_FALSE(composition.mapping(5.5));  // head gap of B
    EXPECT_FALSE(composition.mapping(5.999));
    EXPECT_FALSE(composition.mapping(-0.001));
    EXPECT_FALSE(composition.mapping(8.001));

    for (double c : {6.0, 7.0, 8.0}) {
        EXPECT_EQ(composition.mapping(c), (Mapping{1, clips[1].id, "other.mp4", c + 4, 6, 8})) << c;
    }

    // Adjacent clips sharing an edge: the earlier one owns it.
    const std::vector<Clip> adjacent = {clip(0, 2), clip(20, 22)};
    EXPECT_EQ(clipMapping(2, adjacent)->clipIndex, 0u);
    EXPECT_EQ(clipMapping(2, adjacent)->sourceTime, 2);
    EXPECT_EQ(clipMapping(2.5, adjacent)->sourceTime, 20.5);

    EXPECT_FALSE(clipMapping(0, std::vector<Clip>{}));
}

TEST(ClipMapping, EmptyAndReversedClipsKeepTheirHeadOffsetAndMatchOnlyTheirInstant) {
    // A reversed clip has length 0 but its head offset still moves everything after it.
    const std::vector<Clip> clips = {clip(0, 2), clip(9, 4, 1), clip(3, 4, 0.5)};
    const auto layout = clipLayout(clips);
    ASSERT_EQ(layout.size(), 3u);
    EXPECT_EQ(layout[1], (ClipRange{3, 3}));
    EXPECT_EQ(layout[2], (ClipRange{3.5, 4.5}));

    EXPECT_EQ(clipMapping(3, clips), (Mapping{1, clips[1].id, "screen.mp4", 9, 3, 3}));
    EXPECT_FALSE(clipMapping(3.25, clips));
    EXPECT_EQ(clipMapping(4.5, clips)->sourceTime, 4);

    EXPECT_EQ(clipRange(clips[2].id, clips), (ClipRange{3.5, 4.5}));
    EXPECT_FALSE(clipRange(Uuid::random(), clips));

    // A duplicated id answers the first clip's range.
    auto duplicated = clips;
    duplicated[2].id = duplicated[0].id;
    EXPECT_EQ(clipRange(duplicated[0].id, duplicated), (ClipRange{0, 2}));
}

TEST(SourceEvents, LandInTheFirstClipThatShowsThemOrAreDropped) {
    const auto clips = twoClips();
    EXPECT_FALSE(compositionTimeOfSourceEvent(7, clips));
    EXPECT_EQ(compositionTimeOfSourceEvent(11, clips), 7);
    EXPECT_EQ(compositionTimeOfSourceEvent(5, clips), 5);    // inclusive end
    EXPECT_EQ(compositionTimeOfSourceEvent(10, clips), 6);   // inclusive start
    EXPECT_EQ(compositionTimeOfSourceEvent(11, std::vector<Clip>{}), 11);
    EXPECT_EQ(compositionTimeOfSourceEvent(-3, std::vector<Clip>{}), -3);

    // The same source range shown twice: the first showing wins; files are not compared.
    const std::vector<Clip> repeated = {clip(0, 3, 0, "a.mp4"), clip(0, 3, 2, "b.mp4")};
    EXPECT_EQ(compositionTimeOfSourceEvent(1, repeated), 1);
    // A reversed clip shows nothing.
    EXPECT_FALSE(compositionTimeOfSourceEvent(5, std::vector<Clip>{clip(6, 4)}));
}

TEST(SpeedRamps, OutputDurationAndFrameMapFollowTheWorkedExample) {
    const std::vector<SpeedRamp> ramps = {ramp(2, 6, 2)};
    EXPECT_EQ(outputDuration(0, 10, ramps), 8);
    EXPECT_EQ(frameCount(8, 30), 240);
    // The ramp starts at output 2 and is finished at output 4.
    const std::pair<double, double> outputToComposition[] = {{0, 0}, {1, 1}, {2, 2}, {3, 4}, {4, 6}, {5, 7}, {8, 10}};
    for (const auto& [output, composition] : outputToComposition) {
        EXPECT_EQ(compositionOffsetForOutputTime(output, ramps), composition) << output;
    }
    EXPECT_EQ(compositionOffsetForOutputTime(3.5, std::vector<SpeedRamp>{}), 3.5);
    EXPECT_EQ(outputDuration(0, 10, std::vector<SpeedRamp>{}), 10);
    EXPECT_EQ(compositionTimeForFrame(90, 30, 0, ramps), 4);
}

TEST(SpeedRamps, SpeedsBelowTheFloorPlayAtOneTenth) {
    for (double speed : {0.0, -2.0, 0.05}) {
        const std::vector<SpeedRamp> ramps = {ramp(0, 1, speed)};
        EXPECT_DOUBLE_EQ(outputDuration(0, 20, ramps), 29) << speed;  // the 1 s ramp lasts 10 s
        EXPECT_DOUBLE_EQ(compositionOffsetForOutputTime(5, ramps), 0.5) << speed;
        EXPECT_DOUBLE_EQ(compositionOffsetForOutputTime(10, ramps), 1) << speed;
        EXPECT_DOUBLE_EQ(compositionOffsetForOutputTime(12, ramps), 3) << speed;
        const auto ops = scaleOperations(ramps, 0);
        ASSERT_EQ(ops.size(), 1u);
        EXPECT_DOUBLE_EQ(ops[0].targetDuration, 10) << speed;
    }
}

TEST(SpeedRamps, OutOfOrderRampsApplyInStartOrderForFramesAndReverseForScaleOps) {
    // Given latest first: 6-8 at 2 (saves 1 s) and 1-3 at 4 (saves 1.5 s).
    const std::vector<SpeedRamp> ramps = {ramp(6, 8, 2), ramp(1, 3, 4)};
    EXPECT_EQ(outputDuration(0, 10, ramps), 7.5);
    // Before, inside 1-3, between the ramps, inside 6-8, after both.
    const std::pair<double, double> outputToComposition[] = {{0.5, 0.5}, {1.25, 2}, {3, 4.5}, {5, 7}, {6, 8.5}};
    for (const auto& [output, composition] : outputToComposition) {
        EXPECT_EQ(compositionOffsetForOutputTime(output, ramps), composition) << output;
    }

    const std::vector<SpeedRamp> sorted = {ramp(1, 3, 4), ramp(6, 8, 2)};
    const std::vector<ScaleOp> expected = {{5, 2, 1}, {0, 2, 0.5}};
    EXPECT_EQ(scaleOperations(sorted, 1), expected);
    EXPECT_EQ(scaleOperations(ramps, 1), expected);
    EXPECT_TRUE(scaleOperations(std::vector<SpeedRamp>{}, 0).empty());
}

TEST(SpeedRamps, NegativeLengthsAndRampsOutsideTheTrimNeverReverseTime) {
    // A ramp beyond the trim window still shortens the output.
    EXPECT_EQ(outputDuration(0, 10, std::vector<SpeedRamp>{ramp(20, 24, 2)}), 8);
    // A reversed ramp covers nothing.
    const std::vector<SpeedRamp> reversed = {ramp(5, 3, 2)};
    EXPECT_EQ(outputDuration(0, 10, reversed), 10);
    EXPECT_EQ(compositionOffsetForOutputTime(6, reversed), 6);
    EXPECT_EQ(scaleOperations(reversed, 0), (std::vector<ScaleOp>{{5, 0, 0}}));
    // Reversed trims and ramps that save more than the window hold never go below zero.
    EXPECT_EQ(outputDuration(10, 2, std::vector<SpeedRamp>{}), 0);
    EXPECT_EQ(outputDuration(0, 1, std::vector<SpeedRamp>{ramp(0, 10, 8)}), 0);

    EXPECT_EQ(frameCount(0, 30), 1);
    EXPECT_EQ(frameCount(-4, 30), 1);
    EXPECT_EQ(frameCount(1.01, 30), 31);
    EXPECT_EQ(frameCount(std::numeric_limits<double>::quiet_NaN(), 30), 1);
}

TEST(SpeedRamps, FramePathAndScaleOpsMeasureRampsFromTheTrimStart) {
    // Trim starts at 10; a ramp over composition 12-16 at speed 2 plays in 2 s of output.
    const std::vector<SpeedRamp> ramps = {ramp(12, 16, 2)};
    for (const auto& [output, composition] : {std::pair{1.0, 11.0}, {3.0, 14.0}, {5.0, 17.0}}) {
        EXPECT_EQ(compositionTimeForOutputTime(output, 10, ramps), composition) << output;
    }
    EXPECT_EQ(compositionTimeForFrame(150, 30, 10, ramps), 17);
    // The media path retimes the same stretch: 2 s after the media composition begins.
    EXPECT_EQ(scaleOperations(ramps, 10), (std::vector<ScaleOp>{{2, 4, 2}}));
    // With the trim at 0 both conventions coincide with the bare map.
    EXPECT_EQ(compositionTimeForOutputTime(3, 0, ramps), compositionOffsetForOutputTime(3, ramps));
}

TEST(Placement, ItemsAreActiveOnTheirInclusiveRange) {
    VideoOverlayClip overlay;
    overlay.startTime = 2;
    overlay.duration = 3;
    overlay.sourceStart = 1;
    const std::pair<double, std::optional<double>> overlayTimes[] = {
        {1.999, std::nullopt}, {2, 1}, {4, 3}, {5, 4}, {5.001, std::nullopt}};
    for (const auto& [time, media] : overlayTimes) EXPECT_EQ(mediaTimeAt(overlay, time), media) << time;

    AudioClip audio;
    audio.startTime = 0;
    audio.duration = 0;
    audio.sourceStart = 7;
    EXPECT_EQ(mediaTimeAt(audio, 0), 7);
    EXPECT_FALSE(mediaTimeAt(audio, 0.1));
    EXPECT_FALSE(placedMediaTime(std::numeric_limits<double>::quiet_NaN(), 0, 10, 0));

    EXPECT_EQ(toMediaTimescale(1.5), 900);
    EXPECT_EQ(toMediaTimescale(1.0 / 3.0), 200);
    EXPECT_EQ(toMediaTimescale(-0.5), -300);
}

TEST(SourceDurationCache, KeepsOnlyPositiveFiniteDurations) {
    std::map<std::string, int> reads;
    std::map<std::string, std::optional<double>> answers = {
        {"good.mp4", 12.5}, {"zero.mp4", 0.0}, {"negative.mp4", -1.0},
        {"infinite.mp4", std::numeric_limits<double>::infinity()},
        {"nan.mp4", std::numeric_limits<double>::quiet_NaN()}, {"missing.mp4", std::nullopt}};
    SourceDurationCache cache([&](const std::filesystem::path& file) {
        ++reads[file.string()];
        return answers[file.string()];
    });

    EXPECT_EQ(cache.duration("good.mp4"), 12.5);
    answers["good.mp4"] = 99.0;  // a later change on disk is not seen: the first answer is kept
    EXPECT_EQ(cache.duration("good.mp4"), 12.5);
    EXPECT_EQ(reads["good.mp4"], 1);

    for (const char* bad : {"zero.mp4", "negative.mp4", "infinite.mp4", "nan.mp4", "missing.mp4"}) {
        EXPECT_FALSE(cache.duration(bad)) << bad;
        EXPECT_FALSE(cache.duration(bad)) << bad;
        EXPECT_EQ(reads[bad], 2) << bad;
    }
    // A file that becomes readable is picked up on the next ask.
    answers["missing.mp4"] = 3.0;
    EXPECT_EQ(cache.duration("missing.mp4"), 3.0);
    EXPECT_EQ(cache.duration("missing.mp4"), 3.0);
    EXPECT_EQ(reads["missing.mp4"], 3);
}

TEST(SourceDurationCache, ConcurrentCallersReadEachFileOnce) {
    std::atomic<int> reads{0};
    SourceDurationCache cache([&](const std::filesystem::path&) -> std::optional<double> {
        ++reads;
        return 4.0;
    });
    std::vector<std::thread> threads;
    std::atomic<int> answered{0};
    for (int i = 0; i < 8; ++i)
        threads.emplace_back([&] {
            for (int k = 0; k < 200; ++k) answered += cache.duration("screen.mp4") == 4.0;
        });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(reads.load(), 1);
    EXPECT_EQ(answered.load(), 1600);
}

}  // namespace
}  // namespace orvane
