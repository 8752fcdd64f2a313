#include <gtest/gtest.h>

#include <signal.h>

#include <nlohmann/json.hpp>
#include <thread>

#include "base/event_loop.h"
#include "base/manual_executor.h"
#include "cli/cli_runner.h"
#include "media/media_probe.h"
#include "platform/x11/test_display.h"
#include "platform/x11/x11_pointer_source.h"
#include "platform/x11/x11_screen_capture.h"
#include "recording/recording_library.h"
#include "recording/screen_recorder.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Phase = ScreenRecorder::Phase;
using testing::TestWindow;
using Steady = std::chrono::steady_clock;

class X11RecordingTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing::testDisplayName();
        testing::clearWorkArea();
        loopThread_ = std::thread([this] { loop_.run(); });
    }
    void TearDown() override {
        loop_.stop();
        if (loopThread_.joinable()) loopThread_.join();
    }

    Phase phaseOf(ScreenRecorder& recorder) {
        Phase phase{};
        loop_.runSync([&] { phase = recorder.state().phase; });
        return phase;
    }

    // The real `orvane` on the test display with its folders under the test's own.
    testing::OrvaneProcess startOrvane(const std::vector<std::string>& arguments) {
        return testing::OrvaneProcess(dir_.path(), arguments, {"DISPLAY=" + testing::testDisplayName()});
    }
    testing::CliResult runOrvane(const std::vector<std::string>& arguments) { return startOrvane(arguments).wait(); }

    testing::TempDir dir_;
    EventLoop loop_;
    std::thread loopThread_;
};

TEST_F(X11RecordingTest, RecordsTheDisplayWithPointerMotionAndClicks) {
    TestWindow background(TestWindow::Look::at(0, 0, 1280, 720, 0x202020));
    TestWindow target(TestWindow::Look::at(280, 140, 120, 90, 0xCC3333));
    testing::movePointer(10, 10);

    X11ScreenCapture capture;
    X11PointerSource pointer;
    SerialQueue cursorQueue("test.cursor");
    ToastCenter toasts(loop_);
    VolumeFreeSpace disk(dir_.path());
    ScreenRecorderServices services(loop_, toasts, capture, disk);
    services.pointer = &pointer;
    services.cursorQueue = &cursorQueue;
    std::unique_ptr<RecordingLibrary> library;
    std::unique_ptr<ScreenRecorder> recorder;
    std::optional<RecordingSession> finished;
    Subscription subscription;
    Steady::time_point recordingSeen{};

    const auto snapshot = buildSourceCatalog(capture.shareableContent(), false);
    ASSERT_FALSE(snapshot.displays.empty());
    const auto display = snapshot.displays.front();
    ASSERT_EQ(display.width, 1280);
    loop_.runSync([&] {
        library = std::make_unique<RecordingLibrary>(LibraryLocation::explicitRoot(dir_ / "Recordings"), loop_, toasts);
        recorder = std::make_unique<ScreenRecorder>(services);
        subscription = recorder->observeState([&](const ScreenRecorder::State& state) {
            if (state.phase == Phase::recording) recordingSeen = Steady::now();
            if (state.session) finished = state.session;
        });
        recorder->start(display, RecordingOptions{}, *library);
    });
    while (phaseOf(*recorder) == Phase::starting) std::this_thread::sleep_for(5ms);
    ASSERT_EQ(phaseOf(*recorder), Phase::recording);

    // A user's hand: onto the red window, a click, then away to the lower right.
    std::this_thread::sleep_for(500ms);
    testing::movePointer(320, 180);
    std::this_thread::sleep_for(400ms);
    const auto pressAt = Steady::now();
    testing::pressLeftButton();
    std::this_thread::sleep_for(300ms);
    testing::releaseLeftButton();
    std::this_thread::sleep_for(300ms);
    testing::movePointer(960, 540);
    std::this_thread::sleep_for(900ms);
    const auto stopAt = Steady::now();
    loop_.runSync([&] { recorder->stop(); });
    ASSERT_TRUE(finished);
    loop_.runSync([&] { recorder.reset(); });

    const auto info = probeMedia(finished->videoFile);
    ASSERT_TRUE(info && info->hasVideo);
    EXPECT_EQ(info->videoSize, (Size{1280, 720}));
    const double expected = std::chrono::duration<double>(stopAt - recordingSeen).count();
    EXPECT_NEAR(*info->durationSeconds, expected, 0.5);

    const auto meta = readRecordingMeta(finished->folder);
    ASSERT_TRUE(meta);
    EXPECT_EQ(meta->displayWidth, 1280);
    EXPECT_EQ(meta->displayHeight, 720);
    EXPECT_EQ(meta->sourceKind, RecordingSourceKind::display);
    EXPECT_EQ(meta->sourceTitle, "Main Display");
    EXPECT_TRUE(meta->hasCursor);
    EXPECT_EQ(meta->clickCaptureActive, true);
    EXPECT_EQ(meta->capturedSystemCursor, true);
    EXPECT_FALSE(meta->hasSystemAudio || meta->hasMicrophone || meta->hasWebcam);
    EXPECT_EQ(meta->durationMs, std::int64_t(*info->durationSeconds * 1000));

    const auto telemetry = readCursorTelemetry(finished->folder, *meta);
    ASSERT_TRUE(telemetry);
    EXPECT_EQ(telemetry->sampleHz, 60);
    const auto& points = telemetry->points;
    ASSERT_GT(points.size(), 60u);
    const auto firstPressed = std::find_if(points.begin(), points.end(), [](const auto& p) { return p.pressed; });
    ASSERT_NE(firstPressed, points.end());
    // The click lands where the pointer was, and when it happened on the recording's clock.
    EXPECT_DOUBLE_EQ(firstPressed->cx, 0.25);
    EXPECT_DOUBLE_EQ(firstPressed->cy, 0.25);
    // Loose: the button event crosses the X server, the monitor thread and the sampler's queue, on
    // a machine that may be busy with other tests.
    const double pressSeconds = std::chrono::duration<double>(pressAt - recordingSeen).count();
    EXPECT_NEAR(firstPressed->t / 1000.0, pressSeconds, 0.35);
    const auto released = std::find_if(firstPressed, points.end(), [](const auto& p) { return !p.pressed; });
    ASSERT_NE(released, points.end());
    EXPECT_NEAR((released->t - firstPressed->t) / 1000.0, 0.3, 0.2);
    EXPECT_DOUBLE_EQ(released->cx, 0.25);  // released before the pointer moved on
    EXPECT_DOUBLE_EQ(points.back().cx, 0.75);
    EXPECT_DOUBLE_EQ(points.back().cy, 0.75);
    EXPECT_FALSE(points.back().pressed);
    EXPECT_EQ(points.front().cx, 10.0 / 1280);
}

// The real command, killed with SIGKILL mid-recording: the fragmented movie it leaves plays, and the
// library keeps it with its real length instead of setting it aside.
TEST_F(X11RecordingTest, AKilledRecordingProcessLeavesAPlayableListedMovie) {
    TestWindow background(TestWindow::Look::at(0, 0, 1280, 720, 0x303030));
    const auto home = dir_.path();
    auto orvane = startOrvane({"record", "--duration", "60"});

    // Move the pointer about while it records, so frames keep coming, until the movie holds a couple
    // of seconds; then kill it without warning.
    const auto recordings = home / "data" / "Orvane" / "Recordings";
    std::optional<double> played;
    for (int i = 0; i < 400 && !(played && *played >= 2.0); ++i) {
        testing::movePointer(100 + (i * 37) % 1000, 100 + (i * 23) % 500);
        std::this_thread::sleep_for(25ms);
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(recordings, error)) played = playableDuration(entry.path() / "screen.mp4");
    }
    orvane.signal(SIGKILL);
    const auto killed = orvane.wait();
    ASSERT_EQ(killed.exitCode, 128 + SIGKILL) << killed.err;
    ASSERT_TRUE(played) << killed.err;

    ManualExecutor clock;
    ToastCenter toasts(clock);
    RecordingLibrary library(LibraryLocation::explicitRoot(recordings), clock, toasts);
    ASSERT_EQ(library.recordings().size(), 1u);
    const auto& meta = library.recordings()[0];
    const auto movie = library.folderOf(meta.id).screenVideoFile(meta);
    const auto duration = playableDuration(movie);
    ASSERT_TRUE(duration);
    EXPECT_GE(*duration, 2.0);
    EXPECT_EQ(meta.durationMs, std::int64_t(*duration * 1000));
    EXPECT_EQ(meta.displayWidth, 1280);
    EXPECT_EQ(meta.sourceKind, RecordingSourceKind::display);
    EXPECT_TRUE(toasts.toasts().empty());
    EXPECT_FALSE(fs::exists(home / "data" / "Orvane" / "Recovered" / meta.id.string()));
}

TEST_F(X11RecordingTest, CommandLineListsSourcesAndRecordsTheChosenWindow) {
    auto look = TestWindow::Look::at(200, 150, 320, 240, 0x22AA22);
    look.title = "Editor";
    look.wmInstance = "gedit";
    look.wmClass = "Gedit";
    TestWindow editor(look);
    TestWindow tiny(TestWindow::Look::at(600, 150, 70, 500, 0x2222AA));  // too narrow to offer

    const auto listed = runOrvane({"sources", "--json"});
    ASSERT_EQ(listed.exitCode, 0) << listed.err;
    const auto sources = nlohmann::json::parse(listed.out);
    const std::string windowID = "window:" + std::to_string(editor.id());
    std::vector<std::string> ids;
    for (const auto& source : sources) ids.push_back(source.at("id"));
    EXPECT_NE(std::find(ids.begin(), ids.end(), windowID), ids.end());
    EXPECT_EQ(std::find(ids.begin(), ids.end(), "window:" + std::to_string(tiny.id())), ids.end());
    EXPECT_NE(std::find(ids.begin(), ids.end(), "app:gedit"), ids.end());
    EXPECT_EQ(sources[0].at("kind"), "display");

    const auto recorded = runOrvane({"record", "--source", windowID, "--duration", "1", "--json"});
    ASSERT_EQ(recorded.exitCode, 0) << recorded.err;
    const auto recording = nlohmann::json::parse(recorded.out);
    EXPECT_EQ(recording.at("source"), windowID);
    EXPECT_EQ(recording.at("sourceKind"), "window");
    EXPECT_EQ(recording.at("sourceTitle"), "Editor");
    EXPECT_EQ(recording.at("displayWidth"), 320);
    EXPECT_EQ(recording.at("displayHeight"), 240);
    const auto info = probeMedia(recording.at("screenVideo").get<std::string>());
    ASSERT_TRUE(info && info->videoSize);
    EXPECT_EQ(*info->videoSize, (Size{320, 240}));

    // The choice is remembered; a source that is gone is refused with its own exit code.
    EXPECT_NE(testing::readTextFile(dir_ / "config" / "Orvane" / "preferences.json").find(windowID), std::string::npos);
    const auto refused = runOrvane({"record", "--source", "window:1", "--duration", "1"});
    EXPECT_EQ(refused.exitCode, 3);
    EXPECT_NE(refused.err.find("No recording source matches \"window:1\""), std::string::npos);
    EXPECT_EQ(runOrvane({"record", "--cursor-mode", "sparkle"}).exitCode, 2);
}

}  // namespace
}  // namespace orvane
