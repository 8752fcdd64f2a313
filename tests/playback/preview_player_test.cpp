#include "playback/preview_player.h"

#include <gtest/gtest.h>

#include <cmath>
#include <mutex>
#include <string>
#include <vector>

#include "base/event_loop.h"
#include "editor/editor_state.h"
#include "media/sample_video.h"
#include "platform/pulse/pulse_audio_output.h"
#include "platform/pulse/pulse_audio_system.h"
#include "playback/preview_scene.h"
#include "support/pulse_test_server.h"
#include "support/required_service.h"
#include "support/sink_listener.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

using namespace std::chrono_literals;
using testing::PulseTestServer;
using testing::SinkListener;
using testing::TempDir;

std::shared_ptr<const SceneRenderSnapshot> clipListScene(const EditorState& state) {
    return makePreviewScene(state, ScreenTrackSource::clipList);
}

class PreviewPlayerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        server_ = std::make_unique<PulseTestServer>();
        folder_ = std::make_unique<TempDir>();
        SampleVideoLayout layout;
        layout.seconds = 3;
        writeSampleVideo(*folder_ / "screen.mp4", layout);
    }
    static void TearDownTestSuite() {
        server_.reset();
        folder_.reset();
    }

    void SetUp() override {
        ORVANE_REQUIRE_SERVICE(server_->unavailableReason().empty(), "no PulseAudio: " << server_->unavailableReason());
        output_ = makePulseAudioOutput("orvane-tests");
        audio_ = makePulseAudioSystem("orvane-tests");
        state_ = std::make_unique<EditorState>(Uuid::random(), *folder_ / "screen.mp4");
        state_->modify([](EditorValues& v) {
            v.edit.frame.videoSize = {640, 360};
            v.edit.timeline.clips = {Clip{Uuid::random(), "screen.mp4", 0, 3, 0}};
            v.edit.timeline.duration = 3;
            v.edit.timeline.trimEnd = 3;
        });
    }

    void start() {
        player_ = std::make_unique<PreviewPlayer>(loop_, output_.get(), 320, 180);
        player_->setFrameSink(
            [this](std::shared_ptr<const PreviewFrame> frame) { frames_.push_back(std::move(frame)); });
        coordinator_ = std::make_unique<PreviewCoordinator>(
            *state_, *player_, loop_, [](const auto&) { return true; }, clipListScene);
    }

    void runFor(Duration time) {
        loop_.postAfter(time, [this] { loop_.stop(); });
        loop_.run();
    }

    static std::unique_ptr<PulseTestServer> server_;
    static std::unique_ptr<TempDir> folder_;
    std::unique_ptr<AudioOutput> output_;
    std::unique_ptr<AudioSystem> audio_;
    EventLoop loop_;
    std::unique_ptr<EditorState> state_;
    std::unique_ptr<PreviewPlayer> player_;
    std::unique_ptr<PreviewCoordinator> coordinator_;
    std::vector<std::shared_ptr<const PreviewFrame>> frames_;
};

std::unique_ptr<PulseTestServer> PreviewPlayerTest::server_;
std::unique_ptr<TempDir> PreviewPlayerTest::folder_;

TEST_F(PreviewPlayerTest, PlayingSendsTheSoundToTheSpeakersAndMovesThePlayheadUntilPaused) {
    SinkListener speakers(*audio_);
    start();
    runFor(300ms);  // the first still frame
    ASSERT_FALSE(frames_.empty());
    EXPECT_EQ(frames_.back()->image.width, 320);
    EXPECT_EQ(frames_.back()->image.height, 180);
    const auto silentUntil = std::chrono::steady_clock::now();
    EXPECT_LT(speakers.loudness(silentUntil - 300ms, silentUntil), 0.001) << "nothing plays before play";

    const auto started = std::chrono::steady_clock::now();
    const auto shownBefore = frames_.size();
    state_->modify([](EditorValues& v) { v.isPlaying = true; });
    runFor(2s);
    const double reached = state_->values().currentTime;
    // About 2 s. The sound is the clock, so a machine too busy to run the sound server on time
    // plays less; it never plays more.
    EXPECT_GT(reached, 1.0);
    EXPECT_LT(reached, 2.2);
    EXPECT_TRUE(state_->values().isPlaying);
    // The recording's tone reached the sink.
    EXPECT_GT(speakers.loudness(started + 500ms, started + 1800ms), 0.02);
    const auto shown = frames_.size() - shownBefore;
    EXPECT_GT(static_cast<double>(shown), 10 * reached) << "at least a third of 30 frames a second";
    for (std::size_t i = shownBefore + 1; i < frames_.size(); ++i) {
        EXPECT_GT(frames_[i]->time, frames_[i - 1]->time) << "frames go forward";
    }
    EXPECT_NEAR(frames_.back()->time, reached, 0.1);

    state_->modify([](EditorValues& v) { v.isPlaying = false; });
    runFor(400ms);
    const double paused = state_->values().currentTime;
    const auto quietFrom = std::chrono::steady_clock::now();
    runFor(500ms);
    EXPECT_EQ(state_->values().currentTime, paused);
    EXPECT_LT(speakers.loudness(quietFrom, std::chrono::steady_clock::now()), 0.001) << "a pause silences the sink";
    EXPECT_TRUE(player_->lastError().empty()) << player_->lastError();
}

TEST_F(PreviewPlayerTest, SeekAndScrubShowTheTargetAndPlayingStopsAtTheEnd) {
    // A one-second gap between two pieces of the recording.
    state_->modify([](EditorValues& v) {
        v.edit.timeline.clips = {Clip{Uuid::random(), "screen.mp4", 0, 1, 0},
                                 Clip{Uuid::random(), "screen.mp4", 1, 2, 1}};
    });
    start();
    runFor(200ms);

    state_->seek(2.5);
    runFor(300ms);
    ASSERT_FALSE(frames_.empty());
    EXPECT_DOUBLE_EQ(frames_.back()->time, 2.5);
    EXPECT_FALSE(frames_.back()->videoHidden);
    EXPECT_DOUBLE_EQ(state_->values().currentTime, 2.5);

    coordinator_->beginScrub(false);
    coordinator_->scrub(1.2);
    coordinator_->scrub(1.5);  // throttled: lands shortly after
    runFor(200ms);
    EXPECT_DOUBLE_EQ(frames_.back()->time, 1.5);
    EXPECT_TRUE(frames_.back()->videoHidden) << "inside the gap";
    coordinator_->endScrub();
    runFor(100ms);
    EXPECT_FALSE(coordinator_->isUserScrubbing());
    EXPECT_DOUBLE_EQ(state_->values().currentTime, 1.5);

    state_->seek(2.7);
    state_->modify([](EditorValues& v) { v.isPlaying = true; });
    runFor(1s);
    EXPECT_FALSE(state_->values().isPlaying) << "the end of the last clip stops playing";
    EXPECT_NEAR(state_->values().currentTime, 3.0, 0.02);
    EXPECT_TRUE(player_->lastError().empty()) << player_->lastError();
}

TEST_F(PreviewPlayerTest, AMissingClipFileStopsPlayingWithAReasonAndChangesNoEdit) {
    state_->modify([](EditorValues& v) { v.edit.timeline.clips.push_back(Clip{Uuid::random(), "gone.mp4", 0, 2, 0}); });
    const Edit before = state_->values().edit;
    start();
    std::vector<std::string> problems;
    player_->setProblemSink([&](const std::string& problem) { problems.push_back(problem); });
    state_->seek(3.5);  // inside the missing clip
    runFor(300ms);
    EXPECT_NE(player_->lastError().find("gone.mp4"), std::string::npos) << player_->lastError();
    ASSERT_FALSE(problems.empty()) << "the view is told, not left to ask";
    EXPECT_EQ(problems.back(), player_->lastError());
    state_->modify([](EditorValues& v) { v.isPlaying = true; });
    runFor(300ms);
    EXPECT_FALSE(state_->values().isPlaying);
    EXPECT_EQ(state_->values().edit, before);

    // The first clip still plays.
    state_->seek(0.5);
    runFor(300ms);
    ASSERT_FALSE(frames_.empty());
    EXPECT_DOUBLE_EQ(frames_.back()->time, 0.5);
    EXPECT_TRUE(player_->lastError().empty()) << "a good frame clears the reason";
    EXPECT_EQ(problems.back(), "");
}

// Frames are drawn alike however the playhead got there: a step back onto an earlier caption draws
// that caption, as a player that never moved would.
TEST(PreviewPlayerFrames, ASeekBackDrawsWhatAFreshPlayerDraws) {
    TempDir folder;
    SampleVideoLayout layout;
    layout.seconds = 3;
    layout.withAudio = false;
    writeSampleVideo(folder / "screen.mp4", layout);
    EditorState state(Uuid::random(), folder / "screen.mp4");
    state.modify([](EditorValues& v) {
        v.edit.frame.videoSize = {640, 360};
        v.edit.timeline.clips = {Clip{Uuid::random(), "screen.mp4", 0, 3, 0}};
        v.edit.timeline.duration = 3;
        v.edit.timeline.trimEnd = 3;
        CaptionSegment first;
        first.start = 0;
        first.end = 1.2;
        first.text = "First words";
        CaptionSegment second;
        second.start = 1.5;
        second.end = 3;
        second.text = "Later words";
        v.edit.captions.captions = {first, second};
    });
    const auto frameAfter = [&](const std::vector<double>& seeks) {
        EventLoop loop;
        PreviewPlayer player(loop, nullptr, 320, 180);
        PreviewCoordinator coordinator(
            state, player, loop, [](const auto&) { return false; }, clipListScene);
        std::shared_ptr<const PreviewFrame> last;
        std::size_t next = 0;
        // Each seek waits for the frame of the one before, so every position is really drawn.
        player.setFrameSink([&](std::shared_ptr<const PreviewFrame> frame) {
            last = std::move(frame);
            if (next > 0 && last->time != seeks[next - 1]) return;
            if (next == seeks.size()) {
                loop.stop();
                return;
            }
            const double t = seeks[next++];
            loop.post([&state, t] { state.seek(t); });
        });
        loop.postAfter(10s, [&] { loop.stop(); });
        loop.run();
        return last;
    };
    const auto fresh = frameAfter({1.0});
    const auto back = frameAfter({2.0, 1.0});
    const auto later = frameAfter({2.0});
    ASSERT_TRUE(fresh && back && later);
    EXPECT_EQ(back->time, 1.0);
    EXPECT_EQ(back->image.pixels, fresh->image.pixels);
    EXPECT_NE(later->image.pixels, fresh->image.pixels);
}

}  // namespace
}  // namespace orvane
