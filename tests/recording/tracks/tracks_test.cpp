#include <gtest/gtest.h>

#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/audio_file_reader.h"
#include "base/event_loop.h"
#include "base/log.h"
#include "media/ffmpeg_handles.h"
#include "media/media_probe.h"
#include "platform/camera_system.h"
#include "platform/pulse/pulse_audio_system.h"
#include "platform/v4l2/v4l2_camera_system.h"
#include "recording/tracks/device_catalog.h"
#include "recording/tracks/first_frame_probe.h"
#include "recording/tracks/mic_level.h"
#include "recording/tracks/mic_level_monitor.h"
#include "recording/tracks/mic_track_recorder.h"
#include "recording/tracks/side_track_starters.h"
#include "recording/tracks/system_audio_capture.h"
#include "recording/tracks/webcam_recorder.h"
#include "support/fake_camera.h"
#include "support/pulse_test_server.h"
#include "support/required_service.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

using namespace std::chrono_literals;
using testing::FakeCameraSystem;
using testing::PulseTestServer;
using testing::TempDir;

// The codec name of the file's first stream of `type` ("h264", "aac"); empty when there is none.
std::string codecOf(const std::filesystem::path& file, AVMediaType type = AVMEDIA_TYPE_VIDEO) {
    auto input = ffmpeg::openInput(file.string());
    const int index = input ? av_find_best_stream(input.get(), type, -1, -1, nullptr, 0) : -1;
    return index < 0 ? std::string() : avcodec_get_name(input->streams[index]->codecpar->codec_id);
}

// The first audio stream of a file, decoded whole: what a player would hear.
struct DecodedAudio {
    std::string codec;
    int sampleRate = 0;
    int channels = 0;
    std::size_t frames = 0;
    double rms = 0;  // over every sample, full scale 1
};

std::optional<DecodedAudio> decodeAudioFile(const std::filesystem::path& file) {
    try {
        const auto buffer = readAudioFile(file);
        double sum = 0;
        for (const float sample : buffer.samples) sum += double(sample) * sample;
        return DecodedAudio{codecOf(file, AVMEDIA_TYPE_AUDIO), buffer.sampleRate, buffer.channels, buffer.frames(),
                            buffer.empty() ? 0 : std::sqrt(sum / double(buffer.samples.size()))};
    } catch (const AudioReadError&) {
        return std::nullopt;
    }
}

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
    EXPECT_EQ(codecOf(file), "h264");
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
    EXPECT_FALSE(face->startedLate());
    std::this_thread::sleep_for(200ms);
    track->stop();
    EXPECT_EQ(codecOf(folder / "webcam.mp4"), "h264");

    cameras.authorized = false;
    try {
        starter(folder / "webcam.mp4");
        FAIL() << "no camera permission, no face track";
    } catch (const SideTrackAccessDenied& e) {
        EXPECT_STREQ(e.what(), "Camera access is off");
    }
}

// Runs `work` on a thread of its own whose file access is checked as an unprivileged user, so a
// root test run meets the same refusals as a user outside the "video" group. The raw system call
// changes only the calling thread's credentials (glibc's setresuid would change every thread's).
void runAsUnprivilegedUser(const std::function<void()>& work) {
    std::thread([&] {
        const bool root = geteuid() == 0;
        if (root) {
            ASSERT_EQ(syscall(SYS_setresuid, -1, 65534, -1), 0) << std::strerror(errno);
        }
        work();
        if (root) syscall(SYS_setresuid, -1, 0, -1);
    }).join();
}

TEST(WebcamRecorder, ACameraNodeThisUserMayNotOpenMeansCameraAccessIsOffWithoutRetries) {
    testing::TempDir folder;
    const auto node = folder / "video-denied";
    testing::writeTextFile(node, "");
    std::filesystem::permissions(node, std::filesystem::perms::none);
    const CameraDeviceInfo device{node.string(), "usb-Denied_Camera-video-index0", "Denied Camera"};
    auto cameras = makeV4l2CameraSystem();

    std::vector<std::string> logLines;
    log::ScopedSink sink([&](log::Level, const std::string& line) { logLines.push_back(line); });
    runAsUnprivilegedUser([&] {
        try {
            cameras->open(device);
            ADD_FAILURE() << "a node without permission must not open";
        } catch (const CameraOpenError& e) {
            EXPECT_TRUE(e.denied()) << e.what();
            EXPECT_FALSE(e.busy());
        }
        const auto starter = makeFaceCameraTrackStarter(*cameras, nullptr, device, false, std::nullopt);
        try {
            starter(folder / "webcam.mp4");
            ADD_FAILURE() << "no face track without access to the camera";
        } catch (const SideTrackAccessDenied& e) {
            EXPECT_STREQ(e.what(), "Camera access is off");
        } catch (const std::exception& e) {
            ADD_FAILURE() << "the recorder would show \"Face camera couldn't start\": " << e.what();
        }
    });
    EXPECT_TRUE(std::none_of(logLines.begin(), logLines.end(), [](const std::string& line) {
        return line.find("camera open busy") != std::string::npos;
    })) << "a refusal is not worth retrying";
    EXPECT_FALSE(std::filesystem::exists(folder / "webcam.mp4"));

    // A node that is missing is no refusal of access: it stays an open failure the recorder retries.
    try {
        cameras->open({(folder / "video-missing").string(), "gone", "Gone"});
        FAIL() << "a missing node must not open";
    } catch (const CameraOpenError& e) {
        EXPECT_FALSE(e.denied());
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

// Capture needs real time to pass; these waits give the sound server time to deliver, they do not
// measure anything.
void letAudioFlow(double seconds) {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

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

class PulseTracks : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server_ = std::make_unique<PulseTestServer>(); }
    static void TearDownTestSuite() { server_.reset(); }

    void SetUp() override {
        ORVANE_REQUIRE_SERVICE(server_->unavailableReason().empty(), "no PulseAudio: " << server_->unavailableReason());
        audio_ = makePulseAudioSystem("orvane-tests");
        audio_->setDefaultSource("orvane_speakers.monitor");
    }

    static std::unique_ptr<PulseTestServer> server_;
    std::unique_ptr<AudioSystem> audio_;
    TempDir folder_;
};

std::unique_ptr<PulseTestServer> PulseTracks::server_;

TEST_F(PulseTracks, CatalogueListsInputsWithoutMonitorsAndResolvesTheStoredMicrophone) {
    const auto mics = DeviceCatalog::coreAudioMics(*audio_);
    ASSERT_EQ(mics.size(), 1u);
    EXPECT_EQ(mics[0].uniqueID, "orvane_sine");
    EXPECT_FALSE(mics[0].displayName.empty());
    const auto microphones = DeviceCatalog::microphones(*audio_);
    ASSERT_EQ(microphones.size(), 1u);
    EXPECT_EQ(microphones[0].uniqueID, "orvane_sine");
    EXPECT_EQ(resolveMicrophone(*audio_, "orvane_sine"), "orvane_sine");
    EXPECT_FALSE(resolveMicrophone(*audio_, "alsa_input.usb-gone"));
    EXPECT_FALSE(resolveMicrophone(*audio_, "orvane_speakers.monitor")) << "a monitor is not a microphone";
    EXPECT_FALSE(resolveMicrophone(*audio_, ""));

    EXPECT_EQ(audio_->defaultSinkMonitorName(), "orvane_speakers.monitor");
    EXPECT_THROW(audio_->setDefaultSource("no_such_source"), AudioSystemError);
    EXPECT_EQ(audio_->defaultSourceName(), "orvane_speakers.monitor") << "a refused switch changes nothing";
}

TEST_F(PulseTracks, MicrophoneTrackIsAudibleAacAndTheDefaultInputComesBack) {
    const auto file = folder_ / "mic.m4a";
    testing::writeTextFile(file, "left over from an earlier take");
    MicTrackRecorder recorder(*audio_);
    recorder.start(file, "orvane_sine");
    EXPECT_TRUE(recorder.isRecording());
    EXPECT_EQ(audio_->defaultSourceName(), "orvane_sine") << "the chosen microphone is the default while recording";
    EXPECT_EQ(recorder.savedDefaultInput(), "orvane_speakers.monitor");
    letAudioFlow(1.0);
    recorder.stop();
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_FALSE(recorder.lastError());
    EXPECT_EQ(audio_->defaultSourceName(), "orvane_speakers.monitor");

    const auto decoded = decodeAudioFile(file);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->codec, "aac");
    EXPECT_EQ(decoded->sampleRate, 48000);
    EXPECT_EQ(decoded->channels, 1);
    EXPECT_GT(decoded->frames, 48000u / 4);
    EXPECT_GT(decoded->rms, 0.05) << "the sine source must be heard, not silence";

    // The recorder's starter does the same for the stored microphone.
    const auto starter = makeMicrophoneTrackStarter(*audio_, std::string("orvane_sine"));
    auto track = starter(folder_ / "starter.m4a");
    EXPECT_EQ(audio_->defaultSourceName(), "orvane_sine");
    letAudioFlow(0.5);
    track->stop();
    EXPECT_EQ(audio_->defaultSourceName(), "orvane_speakers.monitor");
    ASSERT_TRUE(decodeAudioFile(folder_ / "starter.m4a"));
    EXPECT_THROW(starter(folder_ / "missing" / "mic.m4a"), std::runtime_error);
}

TEST_F(PulseTracks, DefaultInputComesBackWhenTheTrackCannotStartOrIsDestroyedWhileRecording) {
    {
        MicTrackRecorder recorder(*audio_);
        const auto unwritable = folder_ / "missing-folder" / "mic.m4a";
        EXPECT_THROW(recorder.start(unwritable, "orvane_sine"), MicTrackError);
        EXPECT_FALSE(recorder.isRecording());
        ASSERT_TRUE(recorder.lastError());
        EXPECT_FALSE(std::filesystem::exists(unwritable));
        EXPECT_EQ(audio_->defaultSourceName(), "orvane_speakers.monitor");

        // A microphone that is not plugged in leaves the default alone and records the default instead.
        recorder.start(folder_ / "mic.m4a", "alsa_input.usb-unplugged");
        EXPECT_EQ(audio_->defaultSourceName(), "orvane_speakers.monitor");
        EXPECT_FALSE(recorder.savedDefaultInput());
        recorder.stop();

        recorder.start(folder_ / "mic.m4a", "orvane_sine");
        ASSERT_EQ(audio_->defaultSourceName(), "orvane_sine");
    }
    EXPECT_EQ(audio_->defaultSourceName(), "orvane_speakers.monitor");
}

TEST_F(PulseTracks, FaceCameraCarriesTheVoiceWhenNoSeparateMicrophoneTrackIsRecorded) {
    FakeCameraSystem cameras;
    WebcamRecorderOptions options;
    options.sleep = [](std::chrono::milliseconds) {};
    WebcamRecorder recorder(cameras, audio_.get(), options);
    const auto file = folder_ / "webcam.mp4";
    // A monitor is clocked by its sink in real time, as a microphone is; the sine source is not.
    recorder.start(FakeCameraSystem::device(), file, true, std::string("orvane_headset.monitor"));
    ASSERT_TRUE(server_->playTone("orvane_headset", 1.0));
    recorder.stop();
    EXPECT_FALSE(recorder.lastError());
    EXPECT_EQ(codecOf(file), "h264");
    const auto decoded = decodeAudioFile(file);
    ASSERT_TRUE(decoded) << "webcam.mp4 must carry an audio track";
    EXPECT_EQ(decoded->codec, "aac");
    EXPECT_EQ(decoded->sampleRate, 48000);
    EXPECT_EQ(decoded->channels, 1);
    EXPECT_GT(decoded->rms, 0.05) << decoded->frames << " frames";
    EXPECT_EQ(audio_->defaultSourceName(), "orvane_speakers.monitor") << "the face track never switches the default";
}

// Checks each buffer's format and order as it arrives and keeps a running loudness.
struct CollectingSink final : AudioSampleSink {
    void appendAudio(const AudioSamples& samples) override {
        std::lock_guard lock(mutex);
        EXPECT_EQ(samples.channels, 2);
        EXPECT_EQ(samples.sampleRate, 48000);
        EXPECT_EQ(samples.interleaved.size(), std::size_t(samples.frameCount) * 2);
        EXPECT_GT(samples.hostTime, last);
        last = samples.hostTime;
        for (float s : samples.interleaved) sumSquares += double(s) * s;
        count += samples.interleaved.size();
    }
    std::size_t delivered() {
        std::lock_guard lock(mutex);
        return count;
    }
    double rms() {
        std::lock_guard lock(mutex);
        return count ? std::sqrt(sumSquares / double(count)) : 0.0;
    }

    std::mutex mutex;
    std::chrono::steady_clock::time_point last{};
    double sumSquares = 0;
    std::size_t count = 0;
};

TEST_F(PulseTracks, SystemAudioHearsWhatTheDefaultOutputPlays) {
    CollectingSink sink;
    SystemAudioCapture capture(*audio_);
    capture.start(sink);
    ASSERT_TRUE(server_->playTone("orvane_speakers", 0.8));
    capture.stop();
    const auto delivered = sink.delivered();
    EXPECT_GT(delivered, 0u);
    EXPECT_GT(sink.rms(), 0.05) << "the tone played into the default output must be captured";
    letAudioFlow(0.1);
    EXPECT_EQ(sink.delivered(), delivered) << "nothing arrives after stop()";

    // Audio played on another output is not system audio of the default one.
    CollectingSink quiet;
    capture.start(quiet);
    ASSERT_TRUE(server_->playTone("orvane_headset", 0.5));
    capture.stop();
    EXPECT_LT(quiet.rms(), 0.001);
}

TEST_F(PulseTracks, LevelMonitorPublishesTheSineOnTheMainLoopAndSwitchesDevices) {
    SerialQueue main("test-main");
    SerialQueue session("zant.mic-monitor.session");
    std::mutex mutex;
    std::condition_variable published;
    std::vector<float> levels;
    std::unique_ptr<MicLevelMonitor> monitor;
    Subscription subscription;
    main.runSync([&] {
        monitor = std::make_unique<MicLevelMonitor>(*audio_, main, session);
        subscription = monitor->levelChanged.subscribe([&](float level) {
            std::lock_guard lock(mutex);
            levels.push_back(level);
            published.notify_all();
        });
        monitor->start(std::string("orvane_sine"));
    });
    {
        std::unique_lock lock(mutex);
        published.wait_for(lock, std::chrono::seconds(20), [&] { return !levels.empty() && levels.back() > 0.3f; });
        ASSERT_FALSE(levels.empty());
        EXPECT_GT(levels.back(), 0.3f) << "a loud sine moves the meter up";
    }

    // The speakers' monitor is silent: the meter falls back under the silence line.
    main.runSync([&] { monitor->start(std::string("orvane_speakers.monitor")); });
    {
        std::unique_lock lock(mutex);
        published.wait_for(lock, std::chrono::seconds(20), [&] { return levels.back() < 0.04f; });
        EXPECT_LT(levels.back(), 0.04f);
    }
    main.runSync([&] {
        EXPECT_EQ(monitor->currentDeviceID(), "orvane_speakers.monitor");
        subscription.reset();
        monitor.reset();
    });
}

}  // namespace
}  // namespace orvane
