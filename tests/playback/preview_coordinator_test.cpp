#include "playback/preview_coordinator.h"

#include <gtest/gtest.h>

#include <vector>

#include "base/manual_executor.h"
#include "editor/editor_state.h"

namespace orvane {
namespace {

using namespace std::chrono_literals;

struct SeekCall {
    double time = 0;
    double tolerance = 0;
    bool operator==(const SeekCall&) const = default;
};

// Records what the coordinator asks; its time is where the last seek went, or what a test sets.
class FakePlayer final : public PreviewPlayerControl {
public:
    void load(std::shared_ptr<const PlaybackBundle> bundle, std::shared_ptr<const SceneRenderSnapshot>) override {
        bundles.push_back(std::move(bundle));
    }
    bool isReady() const override { return ready; }
    double currentTime() const override { return time; }
    void seek(double t, double tolerance) override {
        seeks.push_back({t, tolerance});
        time = t;
    }
    void play(double rate) override {
        playing = true;
        rates.push_back(rate);
    }
    void pause() override {
        playing = false;
        ++pauses;
    }
    void setVideoHidden(bool hidden) override { videoHidden = hidden; }
    void setTimeObserver(TimeObserver o) override { observer = std::move(o); }

    std::vector<std::shared_ptr<const PlaybackBundle>> bundles;
    std::vector<SeekCall> seeks;
    std::vector<double> rates;
    int pauses = 0;
    bool ready = true;
    double time = 0;
    bool playing = false;
    bool videoHidden = false;
    TimeObserver observer;
};

class PreviewCoordinatorTest : public ::testing::Test {
protected:
    PreviewCoordinatorTest() {
        // Clip A plays 0-5; clip B follows a 1 s head gap and plays 6-8.
        state.modify([](EditorValues& v) {
            v.edit.timeline.clips = {Clip{Uuid::random(), "", 0, 5, 0}, Clip{Uuid::random(), "", 10, 12, 1}};
            v.edit.timeline.duration = 8;
            v.edit.timeline.trimEnd = 8;
        });
        coordinator = std::make_unique<PreviewCoordinator>(state, player, loop, [](const auto&) { return true; });
    }

    ManualExecutor loop;
    EditorState state{Uuid::random(), "/rec/screen.mp4"};
    FakePlayer player;
    std::unique_ptr<PreviewCoordinator> coordinator;
};

TEST_F(PreviewCoordinatorTest, ScrubbingAcrossAHeadGapHidesThePictureOnlyInsideIt) {
    coordinator->beginScrub(false);
    coordinator->scrub(4.9);
    EXPECT_FALSE(player.videoHidden);
    EXPECT_EQ(state.values().currentTime, 4.9);
    loop.advance(40ms);
    coordinator->scrub(5.5);
    EXPECT_TRUE(player.videoHidden);
    EXPECT_EQ(state.values().currentTime, 5.5);
    loop.advance(40ms);
    coordinator->scrub(6.0);
    EXPECT_FALSE(player.videoHidden);
    // A paused scrub lands on the exact frame.
    EXPECT_EQ(player.seeks.back(), (SeekCall{6.0, 0}));
}

TEST_F(PreviewCoordinatorTest, ScrubSeeksAreThrottledToTheLatestTarget) {
    coordinator->beginScrub(false);
    coordinator->scrub(1.0);
    ASSERT_EQ(player.seeks.size(), 1u);  // the first goes out at once
    loop.advance(10ms);
    coordinator->scrub(2.0);
    EXPECT_EQ(player.seeks.size(), 1u);
    loop.advance(10ms);
    coordinator->scrub(3.0);  // replaces the delayed target
    EXPECT_EQ(player.seeks.size(), 1u);
    EXPECT_EQ(coordinator->interactiveSeekTargetTime(), 3.0);
    loop.advance(12ms);  // the interval ends 1/30 s after the first seek
    ASSERT_EQ(player.seeks.size(), 1u);
    loop.advance(2ms);
    ASSERT_EQ(player.seeks.size(), 2u);
    EXPECT_EQ(player.seeks[1].time, 3.0);
    loop.advance(1s);
    EXPECT_EQ(player.seeks.size(), 2u);  // nothing left over
    // The playhead follows every scrub call even when the player does not.
    EXPECT_EQ(state.values().currentTime, 3.0);
}

TEST_F(PreviewCoordinatorTest, EndingAScrubFinishesOnceAndNotAfterANewerScrubBegan) {
    state.modify([](EditorValues& v) { v.isPlaying = true; });
    ASSERT_TRUE(player.playing);
    coordinator->beginScrub(true);
    EXPECT_TRUE(state.values().isPlaying);  // stays published while the user drags
    coordinator->scrub(2.0);
    loop.advance(5ms);
    coordinator->scrub(2.5);  // held back by the throttle
    EXPECT_EQ(player.seeks.back().tolerance, PreviewCoordinator::kInteractiveSeekInterval);
    coordinator->endScrub();
    coordinator->beginScrub(false);  // newer scrub: the old end must not resume playback
    const auto rates = player.rates.size();
    loop.runPending();
    EXPECT_TRUE(coordinator->isUserScrubbing());
    EXPECT_EQ(player.rates.size(), rates);
    EXPECT_FALSE(state.values().isPlaying);

    // A scrub that does end resumes playback and lands the last target even if it was throttled.
    coordinator->beginScrub(true);
    coordinator->scrub(1.0);
    loop.advance(5ms);
    coordinator->scrub(1.5);
    coordinator->endScrub();
    loop.runPending();
    EXPECT_FALSE(coordinator->isUserScrubbing());
    EXPECT_EQ(player.seeks.back().time, 1.5);
    EXPECT_EQ(state.values().currentTime, 1.5);
    EXPECT_EQ(player.rates.back(), 1.0);
    EXPECT_TRUE(player.playing);

    // When the player is not ready the target is what the playhead shows.
    coordinator->beginScrub(false);
    coordinator->scrub(7.0);
    player.ready = false;
    player.time = 0;
    coordinator->endScrub();
    loop.runPending();
    EXPECT_EQ(state.values().currentTime, 7.0);
}

TEST_F(PreviewCoordinatorTest, EachSeekRequestIsHonouredOnceAndStaleTicksAreIgnored) {
    state.seek(3.0);
    ASSERT_EQ(player.seeks.size(), 1u);
    EXPECT_EQ(player.seeks[0], (SeekCall{3.0, 0}));
    state.modify([](EditorValues& v) { v.currentTime = 3.5; });  // same request id still set
    state.modify([](EditorValues& v) { v.edit.timeline.zoomRegions.push_back({}); });
    EXPECT_EQ(player.seeks.size(), 1u);

    // A tick from before the seek landed would pull the playhead back to 0.
    player.observer(0.0, false);
    EXPECT_EQ(state.values().currentTime, 3.5);
    loop.advance(PreviewCoordinator::kSeekSettleTime);
    player.observer(3.0, false);
    EXPECT_EQ(state.values().currentTime, 3.0);

    state.seek(5.5);
    EXPECT_EQ(player.seeks.size(), 2u);
    EXPECT_TRUE(player.videoHidden);
}

TEST_F(PreviewCoordinatorTest, PlayerTicksDriveThePlayheadUntilTheEnd) {
    state.modify([](EditorValues& v) { v.isPlaying = true; });
    ASSERT_EQ(player.rates, (std::vector<double>{1.0}));
    player.observer(0.5, true);
    EXPECT_EQ(state.values().currentTime, 0.5);
    coordinator->beginScrub(false);
    player.observer(0.6, true);  // ignored while the user holds the playhead
    EXPECT_EQ(state.values().currentTime, 0.5);
    coordinator->endScrub();
    loop.runPending();

    state.modify([](EditorValues& v) { v.isPlaying = true; });
    player.observer(8.0, false);  // the player reached the end
    EXPECT_EQ(state.values().currentTime, 8.0);
    EXPECT_FALSE(state.values().isPlaying);
    EXPECT_EQ(player.pauses, 1);  // only the scrub paused; reaching the end needs no pause

    // Playing again from the end starts over.
    player.time = 8.0;
    state.modify([](EditorValues& v) { v.isPlaying = true; });
    EXPECT_EQ(player.seeks.back(), (SeekCall{0, 0}));
    EXPECT_TRUE(player.playing);
    state.modify([](EditorValues& v) { v.isPlaying = false; });
    EXPECT_FALSE(player.playing);
}

TEST_F(PreviewCoordinatorTest, TheBundleIsRebuiltOnlyWhenThePlayableMediaChange) {
    ASSERT_EQ(player.bundles.size(), 1u);
    state.modify([](EditorValues& v) { v.edit.timeline.zoomRegions.push_back({}); });
    // The scene is handed again for the new zoom, with the same bundle.
    ASSERT_EQ(player.bundles.size(), 2u);
    EXPECT_EQ(player.bundles[1], player.bundles[0]);
    state.modify([](EditorValues& v) { v.currentTime = 2; });
    EXPECT_EQ(player.bundles.size(), 2u);
    state.modify([](EditorValues& v) { v.edit.audio.originalAudioVolume = 0.25f; });
    ASSERT_EQ(player.bundles.size(), 3u);
    EXPECT_NE(player.bundles[2], player.bundles[1]);
    EXPECT_EQ(player.bundles[2]->audioMix.at(0).volume, 0.25f);
}

}  // namespace
}  // namespace orvane
