#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <thread>

#include "base/event_loop.h"
#include "base/manual_executor.h"
#include "cli/cli_runner.h"
#include "media/media_probe.h"
#include "media/video_frame.h"
#include "recording/cursor_telemetry_recorder.h"
#include "platform/x11/test_display.h"
#include "platform/x11/x11_pointer_source.h"
#include "platform/x11/x11_screen_capture.h"
#include "recording/recording_library.h"
#include "recording/screen_recorder.h"
#include "support/pulse_test_server.h"
#include "support/required_service.h"
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

    // Made when a test first asks, after it has put its windows up.
    X11ScreenCapture& capture() {
        if (!capture_) capture_ = std::make_unique<X11ScreenCapture>();
        return *capture_;
    }
    ScreenRecorderServices services() { return ScreenRecorderServices(loop_, toasts_, capture(), disk_); }

    // The real recorder on the fixture's main loop, driven from the test thread as the application does.
    void startRecording(ScreenRecorderServices services, const RecordingSource& source, const RecordingOptions& options,
                        int fps = 60) {
        loop_.runSync([&] {
            library_ = std::make_unique<RecordingLibrary>(LibraryLocation::explicitRoot(dir_ / "Recordings"), loop_, toasts_);
            recorder_ = std::make_unique<ScreenRecorder>(services);
            subscription_ = recorder_->observeState([this](const ScreenRecorder::State& state) {
                if (state.phase == Phase::recording) recordingSeen_ = Steady::now();
                if (state.session) finished_ = state.session;
            });
            recorder_->start(source, options, *library_, fps);
        });
        Phase phase = Phase::starting;
        while (phase == Phase::starting) {
            std::this_thread::sleep_for(5ms);
            loop_.runSync([&] { phase = recorder_->state().phase; });
        }
        ASSERT_EQ(phase, Phase::recording);
    }
    void stopRecording() {
        loop_.runSync([&] { recorder_->stop(); });
        loop_.runSync([&] {
            subscription_ = {};
            recorder_.reset();
            library_.reset();
        });
    }

    // The real `orvane` on the test display with its folders under the test's own.
    testing::OrvaneProcess startOrvane(const std::vector<std::string>& arguments) {
        return testing::OrvaneProcess(dir_.path(), arguments, {"DISPLAY=" + testing::testDisplayName()});
    }
    testing::CliResult runOrvane(const std::vector<std::string>& arguments) { return startOrvane(arguments).wait(); }

    testing::TempDir dir_;
    EventLoop loop_;
    std::thread loopThread_;
    ToastCenter toasts_{loop_};
    VolumeFreeSpace disk_{dir_.path()};
    std::unique_ptr<X11ScreenCapture> capture_;
    std::unique_ptr<RecordingLibrary> library_;
    std::unique_ptr<ScreenRecorder> recorder_;
    Subscription subscription_;
    std::optional<RecordingSession> finished_;
    Steady::time_point recordingSeen_{};
};

TEST_F(X11RecordingTest, RecordsTheDisplayWithPointerMotionAndClicks) {
    TestWindow background(TestWindow::Look::at(0, 0, 1280, 720, 0x202020));
    TestWindow target(TestWindow::Look::at(280, 140, 120, 90, 0xCC3333));
    testing::movePointer(10, 10);
    X11PointerSource pointer;
    SerialQueue cursorQueue("test.cursor");
    auto withPointer = services();
    withPointer.pointer = &pointer;
    withPointer.cursorQueue = &cursorQueue;
    const auto snapshot = buildSourceCatalog(capture().shareableContent(), false);
    ASSERT_FALSE(snapshot.displays.empty());
    ASSERT_EQ(snapshot.displays.front().width, 1280);
    ASSERT_NO_FATAL_FAILURE(startRecording(withPointer, snapshot.displays.front(), RecordingOptions{}));

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
    stopRecording();
    const auto& finished = finished_;
    const auto recordingSeen = recordingSeen_;
    ASSERT_TRUE(finished);

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

// Taps and synthetic clicks press and release between two 60 Hz samples; each one must still
// leave a pressed sample, or click-driven zooms and effects never see it.
TEST_F(X11RecordingTest, InstantClicksBetweenSamplesAreRecordedAsPresses) {
    testing::movePointer(640, 360);
    X11PointerSource pointer;
    SerialQueue cursorQueue("test.cursor");
    CursorTelemetryRecorder recorder(pointer, cursorQueue, Rect{0, 0, 1280, 720}, 60);
    recorder.start();
    ASSERT_TRUE(recorder.clickMonitorActive());
    constexpr int kClicks = 5;
    for (int n = 0; n < kClicks; ++n) {
        std::this_thread::sleep_for(120ms);
        testing::clickLeftButton();
    }
    std::this_thread::sleep_for(120ms);
    const auto points = recorder.stop().points;

    ASSERT_GT(points.size(), 30u);
    int presses = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (points[i].pressed && (i == 0 || !points[i - 1].pressed)) ++presses;
    }
    EXPECT_EQ(presses, kClicks);
    EXPECT_FALSE(points.front().pressed);
    EXPECT_FALSE(points.back().pressed);
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

// Whatever the screen and the sound do, the movie on disk trails the capture by at most a second at
// every moment, so a process killed at any time keeps all but that last second. The movie is read
// while it is written, which is what a kill at that moment would leave. System audio is on, with
// nothing playing: a sound source may then deliver little or nothing, which must not hold the
// pictures back.
TEST_F(X11RecordingTest, AKilledRecordingLosesAtMostTheLastSecond) {
    testing::PulseTestServer sound;
    ORVANE_REQUIRE_SERVICE(sound.unavailableReason().empty(), "PulseAudio: " << sound.unavailableReason());
    TestWindow background(TestWindow::Look::at(0, 0, 1280, 720, 0x303030));
    const auto recordings = dir_ / "data" / "Orvane" / "Recordings";
    auto orvane = startOrvane({"record", "--duration", "60", "--system-audio"});
    ASSERT_TRUE(orvane.waitForError("Recording ")) << orvane.wait().err;
    const auto started = Steady::now();
    const auto since = [&] { return std::chrono::duration<double>(Steady::now() - started).count(); };

    std::optional<fs::path> movie;
    double worst = 0;
    double worstAt = 0;
    int looks = 0;
    // Busy (the pointer drawn somewhere new each frame), then a still screen, then busy again.
    for (int i = 0; since() < 5.5; ++i) {
        if (since() < 2.0 || since() > 3.8) testing::movePointer(100 + (i * 37) % 1000, 100 + (i * 23) % 500);
        std::this_thread::sleep_for(20ms);
        if (!movie) {
            std::error_code error;
            for (const auto& entry : fs::directory_iterator(recordings, error)) movie = entry.path() / "screen.mp4";
            continue;
        }
        // Timed after the read: what the file held then was on disk by that moment.
        const double kept = playableDuration(*movie).value_or(0);
        const double captured = since();
        ++looks;
        if (captured - kept > worst) {
            worst = captured - kept;
            worstAt = captured;
        }
    }
    orvane.signal(SIGKILL);
    const double captured = since();
    const auto killed = orvane.wait();
    ASSERT_EQ(killed.exitCode, 128 + SIGKILL) << killed.err;
    ASSERT_TRUE(movie);
    EXPECT_GT(looks, 50);
    EXPECT_LE(worst, 1.0) << "behind by that much " << worstAt << " s into the capture";
    const auto info = probeMedia(*movie);
    ASSERT_TRUE(info && info->durationSeconds);
    EXPECT_TRUE(info->hasAudio);
    EXPECT_GE(*info->durationSeconds, captured - 1.0);
}

// Another command opening the library while a capture has only just begun (its movie does not play
// yet) must leave the live folder alone: the recording finishes and is listed, nothing is recovered.
TEST_F(X11RecordingTest, OpeningTheLibraryDuringACaptureLeavesItRecording) {
    TestWindow background(TestWindow::Look::at(0, 0, 1280, 720, 0x303030));
    const auto recordings = dir_ / "data" / "Orvane" / "Recordings";
    auto orvane = startOrvane({"record", "--duration", "3", "--json"});
    std::optional<fs::path> movie;
    for (int i = 0; i < 400 && !movie; ++i) {
        std::this_thread::sleep_for(10ms);
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(recordings, error)) {
            if (fs::exists(entry.path() / "screen.mp4")) movie = entry.path() / "screen.mp4";
        }
    }
    ASSERT_TRUE(movie);
    ASSERT_FALSE(playableDuration(*movie)) << "the capture must be caught before its first fragment";

    // Another process, then this one: the capture in progress is neither recovered nor listed yet.
    const auto during = runOrvane({"list", "--json"});
    ASSERT_EQ(during.exitCode, 0) << during.err;
    EXPECT_EQ(nlohmann::json::parse(during.out).size(), 0u);
    {
        ManualExecutor clock;
        ToastCenter toasts(clock);
        RecordingLibrary library(LibraryLocation::explicitRoot(recordings), clock, toasts);
        EXPECT_TRUE(library.recordings().empty());
        EXPECT_TRUE(toasts.toasts().empty());
    }
    EXPECT_TRUE(fs::exists(*movie));

    const auto recorded = orvane.wait();
    ASSERT_EQ(recorded.exitCode, 0) << recorded.err;
    EXPECT_FALSE(fs::exists(dir_ / "data" / "Orvane" / "Recovered"));
    const auto after = runOrvane({"list", "--json"});
    ASSERT_EQ(after.exitCode, 0) << after.err;
    const auto listed = nlohmann::json::parse(after.out);
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].at("id"), nlohmann::json::parse(recorded.out).at("id"));
    EXPECT_GE(listed[0].at("durationMs").get<std::int64_t>(), 2500);
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

// A display recorded over transparency on a real X server: only the application windows are in
// the movie, each from its own picture, stacked as on screen.
TEST_F(X11RecordingTest, AlphaModeLeavesOnlyApplicationWindowsOpaqueInTheMovie) {
    testing::setWorkArea(0, 30, 1280, 690);  // a top panel, which alpha mode does not crop away
    testing::movePointer(1270, 710);
    TestWindow red(TestWindow::Look::at(100, 100, 300, 200, 0xCC2020));
    TestWindow blue(TestWindow::Look::at(300, 200, 300, 200, 0x2020CC));  // above the red one
    auto ownLook = TestWindow::Look::at(800, 100, 200, 150, 0x20CC20);
    ownLook.pid = getpid();  // one of this application's own windows: never recorded
    TestWindow own(ownLook);
    std::this_thread::sleep_for(200ms);

    const auto content = capture().shareableContent();
    ASSERT_FALSE(content.displays.empty());
    const auto& screen = content.displays.front();
    const DisplaySource display{screen.id, "Main Display", int(screen.frame.width), int(screen.frame.height),
                                screen.frame, 30};
    RecordingOptions options;
    options.showSystemCursor = false;
    options.captureCursorTelemetry = false;
    auto withProbe = services();
    // The real probe declines where ProRes cannot keep up at 1080p60; this test is about composing.
    withProbe.alphaProbe = [](int) { return true; };
    ASSERT_NO_FATAL_FAILURE(startRecording(withProbe, display, options, 10));
    std::this_thread::sleep_for(600ms);
    red.moveTo(100, 400);  // moved while recording: drawn where it is now
    std::this_thread::sleep_for(900ms);
    stopRecording();
    const auto& finished = finished_;

    ASSERT_TRUE(finished);
    EXPECT_EQ(finished->videoFile.filename(), "screen.mov");
    const auto meta = readRecordingMeta(finished->folder);
    ASSERT_TRUE(meta);
    EXPECT_EQ(meta->recordedWithAlpha, true);
    EXPECT_EQ(meta->displayHeight, 720);
    EXPECT_FALSE(meta->captureSourceCrop);

    const auto frameAt = [&](double seconds) {
        auto image = extractVideoFrame(finished->videoFile, seconds, 1280, 720);
        EXPECT_TRUE(image);
        return image.value_or(RgbaImage{});
    };
    // Premultiplied ARGB32 in memory order B, G, R, A.
    const auto pixel = [](const RgbaImage& image, int x, int y) {
        const auto* p = &image.pixels[std::size_t(y * image.stride + x * 4)];
        return std::array<int, 4>{p[0], p[1], p[2], p[3]};
    };
    const auto first = frameAt(0.1);
    ASSERT_EQ(first.width, 1280);
    const auto redInside = pixel(first, 150, 150);
    EXPECT_EQ(redInside[3], 255);
    EXPECT_GT(redInside[2], 0xB0);
    EXPECT_LT(redInside[0], 0x40);
    const auto overlap = pixel(first, 350, 250);  // the blue window is on top
    EXPECT_EQ(overlap[3], 255);
    EXPECT_GT(overlap[0], 0xB0);
    EXPECT_LT(overlap[2], 0x40);
    for (const auto& [x, y] : std::vector<std::pair<int, int>>{{5, 5}, {50, 10}, {700, 600}, {900, 150}, {1275, 715}}) {
        EXPECT_EQ(pixel(first, x, y)[3], 0) << "at " << x << "," << y;
    }

    const auto last = frameAt(1.4);
    EXPECT_EQ(pixel(last, 150, 150)[3], 0);  // where the red window was
    EXPECT_EQ(pixel(last, 150, 450)[3], 255);
    EXPECT_GT(pixel(last, 150, 450)[2], 0xB0);
}

TEST_F(X11RecordingTest, AnApplicationIsRecordedWithoutTheOtherApplicationsWindows) {
    testing::movePointer(1270, 710);
    TestWindow mine(TestWindow::Look::at(100, 100, 300, 200, 0xCC2020));
    TestWindow other(TestWindow::Look::at(600, 300, 300, 200, 0x2020CC));
    std::this_thread::sleep_for(200ms);

    const auto content = capture().shareableContent();
    ASSERT_FALSE(content.displays.empty());
    const auto& screen = content.displays.front();
    const ApplicationSource application{"pid:4242", "Mine", std::nullopt, screen.id, screen.frame, {mine.id()}};
    RecordingOptions options;
    options.showSystemCursor = false;
    options.captureCursorTelemetry = false;
    ASSERT_NO_FATAL_FAILURE(startRecording(services(), application, options, 10));
    std::this_thread::sleep_for(800ms);
    stopRecording();

    ASSERT_TRUE(finished_);
    EXPECT_EQ(finished_->videoFile.filename(), "screen.mp4");
    const auto meta = readRecordingMeta(finished_->folder);
    ASSERT_TRUE(meta);
    const auto image = extractVideoFrame(finished_->videoFile, 0.3, meta->displayWidth, meta->displayHeight);
    ASSERT_TRUE(image);
    // Positions in the movie follow the capture's own crop of the display.
    const double offsetX = meta->captureSourceCrop ? meta->captureSourceCrop->x * screen.frame.width : 0;
    const double offsetY = meta->captureSourceCrop ? meta->captureSourceCrop->y * screen.frame.height : 0;
    const auto rgb = [&](int x, int y) {
        const auto* p = &image->pixels[std::size_t((y - int(offsetY)) * image->stride + (x - int(offsetX)) * 4)];
        return std::array<int, 3>{p[2], p[1], p[0]};
    };
    const auto inMine = rgb(250, 200);
    EXPECT_GT(inMine[0], 0xA0);
    EXPECT_LT(inMine[2], 0x50);
    const auto inOther = rgb(750, 400);  // the other application's window is not in the movie
    EXPECT_LT(inOther[2], 0x30) << "blue " << inOther[2];
    EXPECT_LT(inOther[0], 0x30);
}

}  // namespace
}  // namespace orvane
