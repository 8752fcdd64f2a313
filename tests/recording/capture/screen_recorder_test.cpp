#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <thread>

#include "base/event_loop.h"
#include "base/manual_executor.h"
#include "media/media_probe.h"
#include "media/video_frame.h"
#include "platform/pointer_source.h"
#include "platform/screen_capture.h"
#include "recording/disk_space.h"
#include "recording/recording_flow.h"
#include "recording/recording_library.h"
#include "recording/screen_recorder.h"
#include "recording/tracks/side_track_starters.h"
#include "support/fake_camera.h"
#include "support/fake_pointer.h"
#include "support/fake_screen_capture.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Phase = ScreenRecorder::Phase;
using testing::FakePointer;
using testing::FakeScreenCapture;
using testing::readTextFile;

class FakeFreeSpace final : public FreeSpaceSource {
public:
    std::optional<std::uint64_t> freeBytes() override { return bytes; }
    std::optional<std::uint64_t> bytes = 100'000'000'000ULL;
};

// A side track that writes `bytes` into its file when it stops.
struct FileTrack final : SideTrackRecording {
    FileTrack(fs::path to, std::string what) : file(std::move(to)), bytes(std::move(what)) {}
    void stop() override { testing::writeTextFile(file, bytes); }
    fs::path file;
    std::string bytes;
};

SideTrackStarter writesOnStop(std::string bytes) {
    return [bytes](const fs::path& file) { return std::make_unique<FileTrack>(file, bytes); };
}

class ScreenRecorderTest : public ::testing::Test {
protected:
    ScreenRecorderTest() { pointer_.moveTo(160, 60); }  // a quarter down the display, in the middle

    ScreenRecorderServices services() {
        ScreenRecorderServices s{main_, toasts_, capture_, disk_};
        s.pointer = &pointer_;
        s.cursorQueue = &cursorQueue_;
        s.cameraQueue = &cameraQueue_;
        return s;
    }

    static DisplaySource display() { return DisplaySource{7, "Main Display", 320, 240, Rect{0, 0, 320, 240}, 0}; }

    std::vector<fs::path> recordingFolders() {
        std::vector<fs::path> found;
        for (const auto& entry : fs::directory_iterator(dir_ / "Recordings")) found.push_back(entry.path());
        return found;
    }

    // Lets the capture thread deliver some frames; the recorder's own timers stay on virtual time.
    static void letFramesArrive() { std::this_thread::sleep_for(400ms); }

    // Every toast posted, including those that timed out already on virtual time.
    bool hasToast(ToastLevel level, const std::string& title, const std::string& detail = {}) {
        for (const auto& toast : posted_) {
            if (toast.level == level && toast.title == title && (detail.empty() || toast.detail == detail)) return true;
        }
        return false;
    }

    testing::TempDir dir_;
    ManualExecutor main_;
    ManualExecutor cameraQueue_;  // face cameras start when the test runs it
    SerialQueue cursorQueue_{"test.cursor"};
    ToastCenter toasts_{main_};
    FakeScreenCapture capture_;
    FakeFreeSpace disk_;
    FakePointer pointer_;
    RecordingLibrary library_{LibraryLocation::explicitRoot(dir_ / "Recordings"), main_, toasts_};
    std::vector<Toast> posted_;
    Subscription toastLog_ = toasts_.observe([this](const std::vector<Toast>& toasts) {
        for (const auto& toast : toasts) {
            if (std::none_of(posted_.begin(), posted_.end(), [&](const Toast& t) { return t.id == toast.id; })) {
                posted_.push_back(toast);
            }
        }
    });
};

TEST_F(ScreenRecorderTest, DiskRulesAtStartRefuseBelow500MBAndWarnBelow5GBAndAStopWhileStartingCancels) {
    ScreenRecorder recorder(services());
    disk_.bytes = 400'000'000;
    recorder.start(display(), RecordingOptions{}, library_);
    EXPECT_EQ(recorder.state().phase, Phase::failed);
    EXPECT_EQ(recorder.state().failure, "Not enough free disk for recording (400 MB free, need at least 500 MB).");
    EXPECT_TRUE(hasToast(ToastLevel::error, "Disk full", "Free up at least 500 MB before starting a recording."));
    EXPECT_TRUE(recordingFolders().empty());

    // `failed` stays until stop(); a start meanwhile is ignored even with room on the disk.
    disk_.bytes = 3'000'000'000;
    recorder.start(display(), RecordingOptions{}, library_);
    EXPECT_EQ(recorder.state().phase, Phase::failed);
    recorder.stop();
    EXPECT_EQ(recorder.state().phase, Phase::idle);

    recorder.start(display(), RecordingOptions{}, library_);
    EXPECT_EQ(recorder.state().phase, Phase::starting);
    EXPECT_TRUE(hasToast(ToastLevel::warning, "Low disk space", "Only 3000 MB free. Long recordings may run out of room."));
    main_.runPending();
    EXPECT_EQ(recorder.state().phase, Phase::recording);
    recorder.stop();

    // Unreadable free space: no rule applies.
    disk_.bytes.reset();
    const auto toastsBefore = toasts_.toasts().size();
    main_.runPending();
    std::vector<Phase> seen;
    auto subscription = recorder.observeState([&](const ScreenRecorder::State& s) { seen.push_back(s.phase); });
    recorder.start(display(), RecordingOptions{}, library_);
    ASSERT_EQ(recorder.state().phase, Phase::starting);
    EXPECT_EQ(toasts_.toasts().size(), toastsBefore);
    ASSERT_EQ(recordingFolders().size(), 2u);

    // A stop while starting cancels and deletes the new folder.
    recorder.stop();
    EXPECT_EQ(recorder.state().phase, Phase::idle);
    EXPECT_EQ(recordingFolders().size(), 1u);
    main_.runPending();  // the capture-started turn finds nothing to start
    EXPECT_EQ(recorder.state().phase, Phase::idle);
    EXPECT_EQ(seen, (std::vector<Phase>{Phase::starting, Phase::idle}));
}

TEST_F(ScreenRecorderTest, RecordsAFolderAndStopsItselfWhenTheDiskRunsLow) {
    ScreenRecorder recorder(services());
    std::vector<Phase> seen;
    std::optional<RecordingSession> finished;
    auto subscription = recorder.observeState([&](const ScreenRecorder::State& s) {
        seen.push_back(s.phase);
        if (s.session) finished = s.session;
    });
    RecordingOptions options;
    options.showSystemCursor = false;
    options.preferredCursorVisualStyle = "ring";
    recorder.start(display(), options, library_);
    main_.runPending();
    ASSERT_EQ(recorder.state().phase, Phase::recording);
    EXPECT_FALSE(capture_.lastShowCursor);
    pointer_.button(true);  // a click the sampler hears about
    letFramesArrive();

    main_.advance(1s);
    EXPECT_NEAR(recorder.elapsed(), 1.0, 0.11);

    // Below 1 GB: warned once per recording.
    disk_.bytes = 900'000'000;
    main_.advance(10s);
    main_.advance(10s);
    int warnings = 0;
    for (const auto& toast : posted_) warnings += toast.title == "Low disk space (900 MB free)";
    EXPECT_EQ(warnings, 1);
    EXPECT_TRUE(hasToast(ToastLevel::warning, "Low disk space (900 MB free)", "Orvane will stop automatically below 250 MB."));
    EXPECT_EQ(recorder.state().phase, Phase::recording);

    disk_.bytes = 200'000'000;
    main_.advance(10s);
    EXPECT_TRUE(hasToast(ToastLevel::error, "Stopping recording \xE2\x80\x94 disk almost full",
                         "200 MB free. Orvane saved what it had so far."));
    // `finished` was seen once, and the same turn of virtual time brought the recorder back to idle.
    ASSERT_TRUE(finished);
    const auto session = *finished;
    EXPECT_EQ(recorder.state().phase, Phase::idle);
    EXPECT_EQ(seen, (std::vector<Phase>{Phase::starting, Phase::recording, Phase::stopping, Phase::finished, Phase::idle}));

    // The library lists it with what the files say.
    ASSERT_EQ(library_.recordings().size(), 1u);
    const auto& meta = library_.recordings()[0];
    EXPECT_EQ(meta.id, session.id);
    EXPECT_EQ(meta.displayWidth, 320);
    EXPECT_EQ(meta.displayHeight, 240);
    EXPECT_EQ(meta.sourceKind, RecordingSourceKind::display);
    EXPECT_EQ(meta.sourceTitle, "Main Display");
    EXPECT_EQ(meta.capturedSystemCursor, false);
    EXPECT_EQ(meta.preferredCursorVisualStyle, "ring");
    EXPECT_EQ(meta.recordedWithAlpha, false);
    EXPECT_FALSE(meta.captureSourceCrop);
    EXPECT_TRUE(meta.hasCursor);
    EXPECT_EQ(meta.clickCaptureActive, true);
    EXPECT_FALSE(meta.hasSystemAudio || meta.hasMicrophone || meta.hasWebcam);
    EXPECT_GT(meta.durationMs, 0);

    const auto info = probeMedia(session.videoFile);
    ASSERT_TRUE(info && info->hasVideo);
    EXPECT_EQ(info->videoSize, (Size{320, 240}));
    EXPECT_NEAR(*info->durationSeconds * 1000.0, double(meta.durationMs), 1.0);

    const auto cursor = nlohmann::json::parse(readTextFile(session.folder.cursorFile()));
    EXPECT_EQ(cursor.at("sampleHz"), 60);
    ASSERT_FALSE(cursor.at("points").empty());
    EXPECT_DOUBLE_EQ(cursor.at("points")[0].at("cx").get<double>(), 0.5);
    EXPECT_DOUBLE_EQ(cursor.at("points")[0].at("cy").get<double>(), 0.25);
    EXPECT_TRUE(cursor.at("points").back().at("pressed").get<bool>());
}

TEST_F(ScreenRecorderTest, SideTracksNeverFailTheRecordingAndTheFlagsSayWhatSaved) {
    auto s = services();
    s.microphone = writesOnStop("voice");
    s.faceCamera = writesOnStop("");  // the camera came back empty
    ScreenRecorder recorder(s);
    RecordingOptions options;
    options.includeMicrophone = true;
    options.includeWebcam = true;
    options.captureCursorTelemetry = false;
    recorder.start(display(), options, library_);
    cameraQueue_.runPending();
    main_.runPending();
    ASSERT_EQ(recorder.state().phase, Phase::recording);
    letFramesArrive();
    recorder.stop();
    ASSERT_EQ(recorder.state().phase, Phase::finished);
    auto meta = *readRecordingMeta(recorder.state().session->folder);
    EXPECT_TRUE(meta.hasMicrophone);
    EXPECT_FALSE(meta.hasWebcam);
    EXPECT_FALSE(meta.hasCursor);
    EXPECT_EQ(meta.clickCaptureActive, false);
    EXPECT_TRUE(hasToast(ToastLevel::warning, "Face camera didn't save"));
    main_.runPending();

    // A camera the user has not allowed, and one that fails for another reason.
    for (const bool allowed : {false, true}) {
        auto camera = services();
        camera.faceCamera = [allowed](const fs::path&) -> std::unique_ptr<SideTrackRecording> {
            if (!allowed) throw SideTrackAccessDenied("Camera access is off");
            throw std::runtime_error("Camera unavailable");
        };
        ScreenRecorder withCamera(camera);
        RecordingOptions faceOnly;
        faceOnly.includeWebcam = true;
        withCamera.start(display(), faceOnly, library_);
        cameraQueue_.runPending();
        main_.runPending();
        EXPECT_EQ(withCamera.state().phase, Phase::recording);
        withCamera.stop();
        main_.runPending();
    }
    EXPECT_TRUE(hasToast(ToastLevel::warning, "Camera access is off"));
    int couldNotStart = 0;
    for (const auto& toast : posted_) couldNotStart += toast.title == "Face camera couldn't start";
    EXPECT_EQ(couldNotStart, 1) << "only the camera that was allowed but failed";
    EXPECT_TRUE(hasToast(ToastLevel::warning, "Face camera couldn't start",
                         "Another app may be using your camera. Close apps or browser tabs using it (Zoom, Meet, "
                         "camera previews), then re-record. (Camera unavailable)"));

    // No devices at all: warned at start and at stop, and the recording still finishes.
    ScreenRecorder bare(services());
    bare.start(display(), options, library_);
    main_.runPending();
    EXPECT_TRUE(hasToast(ToastLevel::warning, "Mic capture didn't start", "No microphone capture is available on this system."));
    EXPECT_TRUE(hasToast(ToastLevel::warning, "No camera found"));
    bare.stop();
    ASSERT_EQ(bare.state().phase, Phase::finished);
    meta = *readRecordingMeta(bare.state().session->folder);
    EXPECT_FALSE(meta.hasMicrophone || meta.hasWebcam);
    EXPECT_TRUE(hasToast(ToastLevel::warning, "Microphone didn't save",
                         "Voice track came back empty \xE2\x80\x94 recording continues without it."));
}

TEST_F(ScreenRecorderTest, TheBubbleIsShownMeasuredIntoTheMetaAndHiddenAndOwnWindowsStayOut) {
    FaceCameraPanel panel({});
    panel.setScreenFrame(Rect{160, 120, 120, 100});  // rounded with the default 18
    auto s = services();
    s.faceCamera = writesOnStop("face");
    s.faceCameraPanel = &panel;
    s.ownWindowIDs = {0x1200001, 0x1200007};
    RecordingOptions options;
    options.includeWebcam = true;
    options.captureCursorTelemetry = false;

    auto record = [&](const RecordingOptions& with, const std::function<void()>& whileRecording) {
        ScreenRecorder recorder(s);
        recorder.start(display(), with, library_);
        cameraQueue_.runPending();
        main_.runPending();
        EXPECT_EQ(recorder.state().phase, Phase::recording);
        whileRecording();
        recorder.stop();
        EXPECT_EQ(recorder.state().phase, Phase::finished);
        auto meta = *readRecordingMeta(recorder.state().session->folder);
        main_.runPending();
        return meta;
    };

    auto meta = record(options, [&] {
        EXPECT_TRUE(panel.isVisible()) << "a face-camera recording shows the bubble";
        EXPECT_EQ(capture_.leftOutWindows, s.ownWindowIDs);
        // Moved while recording: the place at the stop counts.
        panel.setScreenFrame(Rect{80, 60, 120, 100});
    });
    EXPECT_FALSE(panel.isVisible());
    ASSERT_TRUE(meta.facePIPNormalizedFrame);
    EXPECT_DOUBLE_EQ(meta.facePIPNormalizedFrame->x, 0.25);
    EXPECT_DOUBLE_EQ(meta.facePIPNormalizedFrame->y, 0.25);
    EXPECT_DOUBLE_EQ(meta.facePIPNormalizedFrame->width, 120.0 / 320);
    EXPECT_DOUBLE_EQ(meta.facePIPNormalizedFrame->height, 100.0 / 240);
    EXPECT_EQ(meta.facePIPCornerRadius, 18);

    // A circle mostly off the captured display was not seen there: no frame, no radius.
    panel.setCornerRadius(FaceCameraPanel::kCircularRadius);
    panel.setScreenFrame(Rect{250, 10, 220, 220});
    meta = record(options, [] {});
    EXPECT_FALSE(meta.facePIPNormalizedFrame);
    EXPECT_FALSE(meta.facePIPCornerRadius);

    // Fully on it, the circle is stored as 999.
    panel.setScreenFrame(Rect{20, 10, 220, 220});
    meta = record(options, [] {});
    ASSERT_TRUE(meta.facePIPNormalizedFrame);
    EXPECT_EQ(meta.facePIPCornerRadius, 999);

    // Without the face camera the bubble stays hidden and nothing is measured.
    options.includeWebcam = false;
    meta = record(options, [&] { EXPECT_FALSE(panel.isVisible()); });
    EXPECT_FALSE(meta.facePIPNormalizedFrame);
}

TEST_F(ScreenRecorderTest, AFaceCameraWhoseFirstFramesComeLateWarnsAndStillRecords) {
    testing::FakeCameraSystem cameras;
    cameras.holdFrames = true;
    WebcamRecorderOptions webcam;
    webcam.firstFrameTimeout = 50ms;
    auto s = services();
    s.faceCamera =
        makeFaceCameraTrackStarter(cameras, nullptr, testing::FakeCameraSystem::device(), false, std::nullopt, webcam);
    ScreenRecorder recorder(s);
    RecordingOptions options;
    options.includeWebcam = true;
    options.captureCursorTelemetry = false;
    recorder.start(display(), options, library_);
    cameraQueue_.runPending();  // the camera opens and its first-frame wait runs out
    main_.runPending();
    ASSERT_EQ(recorder.state().phase, Phase::recording);
    EXPECT_TRUE(hasToast(ToastLevel::warning, "Camera was slow to start",
                         "Webcam took longer than expected to deliver a frame; face track may start a beat after "
                         "the other tracks."));
    EXPECT_FALSE(hasToast(ToastLevel::warning, "Face camera couldn't start"));

    cameras.holdFrames = false;  // the camera wakes up: its frames are the face track
    letFramesArrive();
    recorder.stop();
    ASSERT_EQ(recorder.state().phase, Phase::finished);
    const auto folder = recorder.state().session->folder;
    EXPECT_TRUE(readRecordingMeta(folder)->hasWebcam);
    const auto face = probeMedia(folder.webcamFile());
    ASSERT_TRUE(face && face->hasVideo);
    main_.runPending();

    // A camera that delivers within the usual wait gives no warning.
    const auto slowWarnings = [&] {
        return std::count_if(posted_.begin(), posted_.end(),
                             [](const Toast& toast) { return toast.title == "Camera was slow to start"; });
    };
    ASSERT_EQ(slowWarnings(), 1);
    s.faceCamera =
        makeFaceCameraTrackStarter(cameras, nullptr, testing::FakeCameraSystem::device(), false, std::nullopt);
    ScreenRecorder prompt(s);
    prompt.start(display(), options, library_);
    cameraQueue_.runPending();
    main_.runPending();
    ASSERT_EQ(prompt.state().phase, Phase::recording);
    prompt.stop();
    EXPECT_EQ(slowWarnings(), 1);
}

// A face track whose stop the test can see.
struct StopCountingTrack final : SideTrackRecording {
    explicit StopCountingTrack(std::atomic<int>& counter) : stops(counter) {}
    void stop() override { ++stops; }
    std::atomic<int>& stops;
};

TEST_F(ScreenRecorderTest, TheMainLoopKeepsTurningWhileTheFaceCameraStartsAndAStopMeanwhileCancels) {
    EventLoop loop;
    std::thread loopThread([&] { loop.run(); });
    SerialQueue cameraQueue("test.camera");
    std::mutex mutex;
    std::condition_variable changed;
    bool entered = false, released = false, returned = false;
    std::atomic<int> stops{0};
    // Main-loop objects of the loop's own thread: the fixture's belong to the test's thread.
    std::optional<ToastCenter> toasts;
    std::optional<RecordingLibrary> library;
    loop.runSync([&] {
        toasts.emplace(loop);
        library.emplace(LibraryLocation::explicitRoot(dir_ / "Recordings"), loop, *toasts);
    });
    ScreenRecorderServices s{loop, *toasts, capture_, disk_};
    s.cameraQueue = &cameraQueue;
    s.faceCamera = [&](const fs::path&) -> std::unique_ptr<SideTrackRecording> {
        std::unique_lock lock(mutex);
        entered = true;
        changed.notify_all();
        // Bounded, so a recorder that waits for the camera on its main loop fails here rather than hangs.
        changed.wait_for(lock, 10s, [&] { return released; });
        returned = true;
        return std::make_unique<StopCountingTrack>(stops);
    };
    RecordingOptions options;
    options.includeWebcam = true;
    options.captureCursorTelemetry = false;

    std::unique_ptr<ScreenRecorder> recorder;
    loop.runSync([&] {
        recorder = std::make_unique<ScreenRecorder>(s);
        recorder->start(display(), options, *library);
    });
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, 10s, [&] { return entered; }));
    }
    // The camera is still starting, and the main loop does other work meanwhile.
    Phase phase = Phase::idle;
    bool cameraStillStarting = false;
    loop.runSync([&] {
        phase = recorder->state().phase;
        std::lock_guard lock(mutex);
        cameraStillStarting = !returned;
    });
    EXPECT_TRUE(cameraStillStarting);
    EXPECT_EQ(phase, Phase::starting);
    {
        std::lock_guard lock(mutex);
        released = true;
        changed.notify_all();
    }
    for (int i = 0; i < 500 && phase != Phase::recording; ++i) {
        std::this_thread::sleep_for(10ms);
        loop.runSync([&] { phase = recorder->state().phase; });
    }
    EXPECT_EQ(phase, Phase::recording) << "capture begins once the camera is up";
    loop.runSync([&] {
        recorder->stop();
        EXPECT_EQ(recorder->state().phase, Phase::finished);
        recorder.reset();
        library.reset();
        toasts.reset();
    });
    EXPECT_EQ(stops, 1);
    loop.stop();
    loopThread.join();

    // A stop while the camera is still starting cancels at once; the camera, once up, is stopped on
    // its queue and the folder goes after it.
    stops = 0;
    released = true;
    auto virtualServices = services();
    virtualServices.faceCamera = [&](const fs::path& file) -> std::unique_ptr<SideTrackRecording> {
        testing::writeTextFile(file, "face");
        return std::make_unique<StopCountingTrack>(stops);
    };
    ScreenRecorder cancelling(virtualServices);
    const auto before = recordingFolders().size();
    cancelling.start(display(), options, library_);
    ASSERT_EQ(recordingFolders().size(), before + 1);
    cancelling.stop();
    EXPECT_EQ(cancelling.state().phase, Phase::idle);
    cameraQueue_.runPending();
    main_.runPending();
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(recordingFolders().size(), before);
    EXPECT_EQ(cancelling.state().phase, Phase::idle);
}

TEST_F(ScreenRecorderTest, SetupErrorsLeaveNoFolderAndCaptureErrorsKeepItForRecovery) {
    // System audio asked for on a system without it: the start fails before the movie opens, and no
    // empty recording is left to be listed.
    {
        ScreenRecorder recorder(services());
        RecordingOptions options;
        options.includeSystemAudio = true;
        recorder.start(display(), options, library_);
        EXPECT_EQ(recorder.state().phase, Phase::failed);
        EXPECT_EQ(recorder.state().failure, "System audio capture is not available on this system.");
        EXPECT_TRUE(recordingFolders().empty());
        library_.reload();
        EXPECT_TRUE(library_.recordings().empty());
        recorder.stop();
        EXPECT_EQ(recorder.state().phase, Phase::idle);
    }
    // The capture dies while recording (the window closed): failed with its description.
    EventLoop loop;
    std::thread loopThread([&] { loop.run(); });
    {
        ScreenRecorderServices s{loop, toasts_, capture_, disk_};
        std::unique_ptr<ScreenRecorder> recorder;
        loop.runSync([&] {
            recorder = std::make_unique<ScreenRecorder>(s);
            capture_.grabs = 0;
            capture_.failAfter = 10;
            recorder->start(display(), RecordingOptions{}, library_);
        });
        Phase phase = Phase::starting;
        for (int i = 0; i < 500 && phase != Phase::failed; ++i) {
            std::this_thread::sleep_for(10ms);
            loop.runSync([&] { phase = recorder->state().phase; });
        }
        std::string failure;
        loop.runSync([&] {
            failure = recorder->state().failure;
            recorder.reset();
        });
        EXPECT_EQ(phase, Phase::failed);
        EXPECT_EQ(failure, "The window being recorded was closed.");
        EXPECT_EQ(recordingFolders().size(), 1u) << "the movie was open: its folder is the recovery pass's";
    }
    loop.stop();
    loopThread.join();
}

TEST_F(ScreenRecorderTest, AStillScreenLastsUntilTheStopAndMissedGrabsCountAsDropped) {
    capture_.still = true;
    ScreenRecorder recorder(services());
    recorder.start(display(), RecordingOptions{}, library_);
    main_.runPending();
    std::this_thread::sleep_for(700ms);
    recorder.stop();
    // One picture came in; the tail frame stamped at the stop gives the movie its length.
    const auto duration = playableDuration(recorder.state().session->videoFile);
    ASSERT_TRUE(duration);
    EXPECT_GE(*duration, 0.65);
    main_.runPending();

    // Each grab takes three ticks of the 60 Hz clock: at least two ticks pass with no picture.
    capture_.still = false;
    capture_.grabs = 0;
    capture_.grabMilliseconds = 50;
    recorder.start(display(), RecordingOptions{}, library_);
    main_.runPending();
    ASSERT_EQ(recorder.state().phase, Phase::recording);
    letFramesArrive();
    recorder.stop();
    ASSERT_EQ(recorder.state().phase, Phase::finished);
    const auto statistics = recorder.statistics();
    const auto grabs = std::uint64_t(capture_.grabs.load());
    ASSERT_GE(grabs, 2u);
    EXPECT_GE(statistics.missedTicks, 2 * (grabs - 1));
    EXPECT_GE(statistics.writtenFrames, 2u);
    EXPECT_EQ(recorder.droppedFrames(), statistics.missedTicks + statistics.encoderDrops);

    // The next recording starts its count afresh.
    main_.runPending();
    capture_.grabMilliseconds = 0;
    recorder.start(display(), RecordingOptions{}, library_);
    EXPECT_EQ(recorder.statistics().missedTicks, 0u);
    recorder.stop();
}

TEST_F(ScreenRecorderTest, AlphaModeRecordsADisplaysWindowsOverTransparencyIntoAMov) {
    CaptureWindow editor;
    editor.id = 0x400001;
    editor.frame = Rect{40, 40, 100, 80};
    std::vector<int> probedAt;
    auto withProbe = [&](bool answer) {
        auto s = services();
        s.alphaProbe = [&probedAt, answer](int fps) {
            probedAt.push_back(fps);
            return answer;
        };
        return s;
    };
    auto panelled = display();
    panelled.topPanelHeight = 24;
    RecordingOptions options;
    options.captureCursorTelemetry = false;

    const auto record = [&](ScreenRecorder& recorder, const RecordingSource& source) {
        recorder.start(source, options, library_, 30);
        main_.runPending();
        EXPECT_EQ(recorder.state().phase, Phase::recording);
        letFramesArrive();
        recorder.stop();
        EXPECT_EQ(recorder.state().phase, Phase::finished);
        auto session = recorder.state().session.value_or(RecordingSession{});
        main_.runPending();
        return session;
    };

    // Probe says yes and a window is on the display: screen.mov, not cropped below the panel.
    capture_.normalWindows = {editor};
    {
        ScreenRecorder recorder(withProbe(true));
        const auto session = record(recorder, panelled);
        EXPECT_EQ(probedAt, std::vector<int>{30});
        EXPECT_EQ(capture_.composedWindows, std::vector<std::uint64_t>{editor.id});
        EXPECT_EQ(capture_.lastRegion, (Rect{0, 0, 320, 240}));
        EXPECT_EQ(session.videoFile.filename(), "screen.mov");
        const auto meta = readRecordingMeta(session.folder);
        ASSERT_TRUE(meta);
        EXPECT_EQ(meta->recordedWithAlpha, true);
        EXPECT_EQ(meta->displayHeight, 240);
        EXPECT_FALSE(meta->captureSourceCrop);
        EXPECT_FALSE(fs::exists(session.folder.directory / "screen.mp4"));
        const auto frame = extractVideoFrame(session.videoFile, 0.1, 320, 240);
        ASSERT_TRUE(frame);
        EXPECT_EQ(frame->pixels[std::size_t(100 * frame->stride + 10 * 4) + 3], 0);
        EXPECT_EQ(frame->pixels[std::size_t(100 * frame->stride + 300 * 4) + 3], 255);
    }

    // No window to show: the display is recorded as usual, cropped below its panel.
    capture_.normalWindows.clear();
    capture_.composedWindows.clear();
    {
        ScreenRecorder recorder(withProbe(true));
        const auto session = record(recorder, panelled);
        EXPECT_TRUE(capture_.composedWindows.empty());
        EXPECT_EQ(capture_.lastRegion, (Rect{0, 24, 320, 216}));
        EXPECT_EQ(session.videoFile.filename(), "screen.mp4");
        EXPECT_EQ(readRecordingMeta(session.folder)->recordedWithAlpha, false);
    }

    // A probe that says no, or a window source, never composes.
    capture_.normalWindows = {editor};
    probedAt.clear();
    {
        ScreenRecorder recorder(withProbe(false));
        EXPECT_EQ(record(recorder, panelled).videoFile.filename(), "screen.mp4");
        WindowSource window;
        window.id = editor.id;
        window.width = 100;
        window.height = 80;
        window.frame = editor.frame;
        EXPECT_EQ(record(recorder, window).videoFile.filename(), "screen.mp4");
    }
    EXPECT_EQ(probedAt, std::vector<int>{30});
    EXPECT_TRUE(capture_.composedWindows.empty());
}

// The flow around a recorder on the same fakes.
class RecordingFlowTest : public ScreenRecorderTest {
protected:
    RecordingRequest request(std::optional<RecordingSourceKind> kind = std::nullopt) {
        RecordingRequest r;
        r.preferredKind = kind;
        r.reply = [this](const RecordingReply& reply) { replies_.push_back(reply); };
        return r;
    }
    SourceCatalogSnapshot catalog() { return buildSourceCatalog(capture_.shareableContent(), false); }

    std::vector<std::string> remembered_;
    RecordingSelectionStore selection_;
    ScreenRecorder recorder_{services()};
    std::vector<RecordingReply> replies_;
    std::vector<std::pair<RecordingMeta, std::optional<Uuid>>> opened_;
    RecordingFlow flow_{
        recorder_,
        library_,
        selection_,
        "window:404",
        [this](const std::string& id) { remembered_.push_back(id); },
        [this](const RecordingMeta& meta, const std::optional<Uuid>& target) { opened_.emplace_back(meta, target); }};
};

TEST_F(RecordingFlowTest, AFinishedRecordingIsSelectedOpenedAndReportedOnce) {
    auto r = request(RecordingSourceKind::window);  // no windows: the first display stands in
    const auto target = Uuid::random();
    r.appendTarget = target;
    ASSERT_TRUE(flow_.start(r, catalog()));
    EXPECT_EQ(remembered_, std::vector<std::string>{"display:7"});
    main_.runPending();
    ASSERT_EQ(recorder_.state().phase, Phase::recording);

    // A second request while recording is turned away without disturbing the first.
    EXPECT_FALSE(flow_.start(request(), catalog()));
    ASSERT_EQ(replies_.size(), 1u);
    EXPECT_EQ(replies_[0].message, "Orvane is already recording.");

    std::this_thread::sleep_for(200ms);
    recorder_.stop();
    ASSERT_EQ(replies_.size(), 2u);
    EXPECT_TRUE(replies_[1].succeeded);
    ASSERT_TRUE(replies_[1].recording);
    ASSERT_EQ(library_.recordings().size(), 1u);
    EXPECT_EQ(library_.recordings()[0].id, replies_[1].recording->id);
    EXPECT_EQ(selection_.selectedRecording()->id, replies_[1].recording->id);
    ASSERT_EQ(opened_.size(), 1u);
    EXPECT_EQ(opened_[0].second, target);
    main_.runPending();  // back to idle: nothing more is said
    EXPECT_EQ(replies_.size(), 2u);
}

TEST_F(RecordingFlowTest, FailuresAreAnsweredWithTheirOwnWords) {
    disk_.bytes = 400'000'000;
    EXPECT_FALSE(flow_.start(request(), catalog()));
    ASSERT_EQ(replies_.size(), 1u);
    EXPECT_EQ(replies_[0].message, "Recording did not start.");
    recorder_.stop();

    EXPECT_FALSE(flow_.start(request(), SourceCatalogSnapshot{}));
    EXPECT_EQ(replies_.back().message, "No matching recording source was available.");

    // A stop while recording succeeds; a stop while still starting cancels, and the caller is told.
    disk_.bytes.reset();
    ASSERT_TRUE(flow_.start(request(), catalog()));
    main_.runPending();
    recorder_.stop();
    main_.runPending();
    ASSERT_TRUE(flow_.start(request(), catalog()));
    recorder_.stop();  // cancelled while starting
    EXPECT_EQ(replies_.back().message, "Recording did not finish cleanly.");
    EXPECT_EQ(replies_.size(), 4u);
    EXPECT_TRUE(replies_[2].succeeded);
    main_.runPending();

    // The capture dies mid-recording (the window closed): the caller hears why. (That its footage is
    // listed at once is the studio's test: these fakes write too little to play.)
    capture_.grabs = 0;
    capture_.failAfter = 20;
    ASSERT_TRUE(flow_.start(request(), catalog()));
    for (int i = 0; i < 500 && recorder_.state().phase != Phase::failed; ++i) {
        std::this_thread::sleep_for(10ms);
        main_.runPending();
    }
    ASSERT_EQ(recorder_.state().phase, Phase::failed);
    EXPECT_EQ(replies_.back().message, "Recording did not finish cleanly: The window being recorded was closed.");
}

TEST_F(RecordingFlowTest, AnAgentRecordingCarriesItsRequestToTheExportAndStaysInTheBackground) {
    auto r = request();
    AgentRecordingRequest agentRequest;
    agentRequest.actionPlanURL = "file:///tmp/plan.json";
    agentRequest.duration = 3;
    r.agent = AgentRecordingContext{};
    r.agent->request = agentRequest;
    r.agent->suppressActivationOnStop = true;
    ASSERT_TRUE(flow_.start(r, catalog()));
    ASSERT_TRUE(flow_.agent());
    EXPECT_FALSE(flow_.agent()->pendingExport) << "nothing to export before the recording exists";
    main_.runPending();
    std::this_thread::sleep_for(100ms);
    recorder_.stop();
    ASSERT_EQ(replies_.size(), 1u);
    ASSERT_TRUE(replies_[0].succeeded);
    ASSERT_TRUE(replies_[0].agent && replies_[0].agent->pendingExport);
    EXPECT_EQ(replies_[0].agent->pendingExport->recordingID, replies_[0].recording->id);
    EXPECT_EQ(replies_[0].agent->pendingExport->request.actionPlanURL, agentRequest.actionPlanURL);
    EXPECT_EQ(replies_[0].agent->exportRecordingID, replies_[0].recording->id);
    EXPECT_TRUE(opened_.empty()) << "an agent's recording is not brought to the front";
    EXPECT_FALSE(flow_.agent()) << "the context ends with the request";
}

}  // namespace
}  // namespace orvane
