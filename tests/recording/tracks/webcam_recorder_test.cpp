#include "recording/webcam_recorder.h"

#include <gtest/gtest.h>

#include <thread>

#include "base/log.h"
#include "decoded_audio.h"
#include "fake_camera.h"
#include "media/media_probe.h"
#include "platform/v4l2/v4l2_camera_system.h"
#include "recording/first_frame_probe.h"
#include "recording/side_track_starters.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

using testing::FakeCameraSystem;
using namespace std::chrono_literals;

struct Recorded {
    std::vector<std::chrono::milliseconds> sleeps;
    std::vector<std::string> logLines;
};

WebcamRecorderOptions optionsRecording(Recorded& recorded) {
    WebcamRecorderOptions options;
    options.sleep = [&recorded](std::chrono::milliseconds wait) { recorded.sleeps.push_back(wait); };
    return options;
}

TEST(FirstFrameProbe, AnswersOnceWhenEnoughFramesArriveOrTimeRunsOut) {
    FirstFrameProbe enough(3);
    std::thread camera([&] {
        for (int i = 0; i < 3; ++i) enough.frameArrived();
    });
    EXPECT_TRUE(enough.wait(60s));
    camera.join();

    FirstFrameProbe starved(3);
    starved.frameArrived();
    starved.frameArrived();
    EXPECT_FALSE(starved.wait(10ms));
    EXPECT_TRUE(starved.sawFrame());
    starved.frameArrived();
    EXPECT_FALSE(starved.wait(10ms)) << "a frame after the time-out does not change the answer";
    EXPECT_EQ(starved.framesSeen(), 3);

    FirstFrameProbe atLeastOne(0);
    atLeastOne.frameArrived();
    EXPECT_TRUE(atLeastOne.wait(0s)) << "a probe always needs at least one frame, and one is enough";
}

TEST(WebcamRecorder, BusyCameraIsRetriedFourTimesAndRecordsAnH264MovieIfFreedMeanwhile) {
    testing::TempDir folder;
    const auto file = folder / "webcam.mp4";
    FakeCameraSystem cameras;
    cameras.busyOpens = 10;
    Recorded recorded;
    log::ScopedSink sink([&](log::Level, const std::string& line) { recorded.logLines.push_back(line); });
    WebcamRecorder recorder(cameras, nullptr, optionsRecording(recorded));
    try {
        recorder.start(FakeCameraSystem::device(), file, false, std::nullopt);
        FAIL() << "a camera that stays busy must not start";
    } catch (const WebcamError& e) {
        EXPECT_STREQ(e.what(), "Camera unavailable");
        EXPECT_STREQ(e.domain(), "Zant.Webcam");
        EXPECT_EQ(e.code(), 3);
    }
    EXPECT_EQ(cameras.opens, 4);
    EXPECT_EQ(recorded.sleeps, (std::vector<std::chrono::milliseconds>{400ms, 800ms, 1200ms}));
    ASSERT_EQ(recorded.logLines.size(), 4u);
    EXPECT_EQ(recorded.logLines[0].rfind("[Orvane.Webcam] camera open busy (attempt 1/4): /dev/video-fake", 0), 0u)
        << recorded.logLines[0];
    EXPECT_NE(recorded.logLines[3].find("(attempt 4/4)"), std::string::npos);
    EXPECT_FALSE(recorder.isRunning());
    EXPECT_FALSE(std::filesystem::exists(file));

    // Freed during the retries: a stale file is replaced by a real movie.
    testing::writeTextFile(file, "stale");
    cameras.busyOpens = 2;
    recorded.sleeps.clear();
    recorder.start(FakeCameraSystem::device(), file, false, std::nullopt);
    EXPECT_TRUE(recorder.isRunning());
    EXPECT_FALSE(recorder.firstFrameProbeTimedOut());
    EXPECT_EQ(recorded.sleeps, (std::vector<std::chrono::milliseconds>{400ms, 800ms}));
    std::this_thread::sleep_for(500ms);  // let the fake deliver a dozen frames
    recorder.stop();
    EXPECT_FALSE(recorder.isRunning());
    EXPECT_FALSE(recorder.lastError());
    const auto info = probeMedia(file);
    ASSERT_TRUE(info) << "webcam.mp4 must be a readable movie";
    EXPECT_EQ(testing::videoCodecOf(file), "h264");
    EXPECT_FALSE(info->hasAudio);
    EXPECT_EQ(info->videoSize, (Size{320, 240}));
    EXPECT_GT(info->durationSeconds.value_or(0), 0.1);
}

TEST(WebcamRecorder, SilentCamerasRuntimeErrorsAndRefusedOutputsAreReported) {
    testing::TempDir folder;
    FakeCameraSystem cameras;
    Recorded recorded;
    auto options = optionsRecording(recorded);
    options.firstFrameTimeout = 20ms;
    WebcamRecorder recorder(cameras, nullptr, options);

    // A camera without frames still starts, and leaves no empty movie so the recorder can say so.
    cameras.deliversFrames = false;
    recorder.start(FakeCameraSystem::device(), folder / "webcam.mp4", false, std::nullopt);
    EXPECT_TRUE(recorder.isRunning());
    EXPECT_TRUE(recorder.firstFrameProbeTimedOut());
    recorder.stop();
    EXPECT_FALSE(std::filesystem::exists(folder / "webcam.mp4"));

    cameras.deliversFrames = true;
    recorder.start(FakeCameraSystem::device(), folder / "webcam.mp4", false, std::nullopt);
    cameras.lastCamera->failWhileStreaming("the camera was disconnected");
    EXPECT_EQ(recorder.lastError(), "Webcam session error: the camera was disconnected");
    cameras.lastCamera->failWhileStreaming("");
    EXPECT_EQ(recorder.lastError(), "Webcam session error: unknown");
    recorder.stop();

    try {
        recorder.start(FakeCameraSystem::device(), folder / "no-such-folder" / "webcam.mp4", false, std::nullopt);
        FAIL() << "an output that cannot be created must fail the start";
    } catch (const WebcamError& e) {
        EXPECT_EQ(e.code(), WebcamError::cannotAddOutput);
        EXPECT_STREQ(e.what(), "Cannot add webcam output");
    }
    EXPECT_FALSE(recorder.isRunning());
    cameras.authorized = false;
    EXPECT_FALSE(recorder.requestAccess());
}

TEST(WebcamRecorder, RecorderGetsTheStoredCameraAndAFaceTrackItCanStop) {
    FakeCameraSystem cameras;
    EXPECT_EQ(resolveCamera(cameras, "usb-Fake_Camera-video-index0")->path, "/dev/video-fake");
    EXPECT_EQ(resolveCamera(cameras, "unplugged")->path, "/dev/video-fake") << "else the first camera";

    testing::TempDir folder;
    const auto starter = makeFaceCameraTrackStarter(cameras, nullptr, FakeCameraSystem::device(), false, std::nullopt);
    auto track = starter(folder / "webcam.mp4");
    auto* face = dynamic_cast<FaceCameraTrack*>(track.get());
    ASSERT_NE(face, nullptr);
    EXPECT_EQ(face->device().name, "Fake Camera");
    EXPECT_FALSE(face->probeTimedOut());
    std::this_thread::sleep_for(200ms);
    track->stop();
    EXPECT_EQ(testing::videoCodecOf(folder / "webcam.mp4"), "h264");

    cameras.authorized = false;
    try {
        starter(folder / "webcam.mp4");
        FAIL() << "no camera permission, no face track";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Camera access is off");
    }
}

TEST(WebcamRecorder, RecordsARealCameraWhenOneIsConnected) {
    auto cameras = makeV4l2CameraSystem();
    const auto devices = cameras->cameras();
    if (devices.empty()) GTEST_SKIP() << "no V4L2 camera on this machine (/dev/video*); the fake camera tests cover the logic";
    testing::TempDir folder;
    WebcamRecorder recorder(*cameras, nullptr);
    recorder.start(devices.front(), folder / "webcam.mp4", false, std::nullopt);
    std::this_thread::sleep_for(1s);
    recorder.stop();
    const auto info = probeMedia(folder / "webcam.mp4");
    ASSERT_TRUE(info);
    EXPECT_TRUE(info->hasVideo);
}

}  // namespace
}  // namespace orvane
