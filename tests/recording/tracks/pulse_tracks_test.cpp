#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "base/event_loop.h"
#include "decoded_audio.h"
#include "fake_camera.h"
#include "platform/pulse/pulse_audio_system.h"
#include "pulse_test_server.h"
#include "recording/device_catalog.h"
#include "recording/mic_level_monitor.h"
#include "recording/mic_track_recorder.h"
#include "recording/side_track_starters.h"
#include "recording/system_audio_capture.h"
#include "recording/webcam_recorder.h"
#include "support/temp_dir.h"
#include "support/required_service.h"

namespace orvane {
namespace {

using testing::PulseTestServer;
using testing::TempDir;

// Capture needs real time to pass; these waits give the sound server time to deliver, they do not
// measure anything.
void letAudioFlow(double seconds) {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
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

    const auto decoded = testing::decodeAudioFile(file);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->codec, "aac");
    EXPECT_EQ(decoded->sampleRate, 48000);
    EXPECT_EQ(decoded->channels, 1);
    EXPECT_GT(decoded->frames, 48000 / 4);
    EXPECT_GT(decoded->rms, 0.05) << "the sine source must be heard, not silence";

    // The recorder's starter does the same for the stored microphone.
    const auto starter = makeMicrophoneTrackStarter(*audio_, std::string("orvane_sine"));
    auto track = starter(folder_ / "starter.m4a");
    EXPECT_EQ(audio_->defaultSourceName(), "orvane_sine");
    letAudioFlow(0.5);
    track->stop();
    EXPECT_EQ(audio_->defaultSourceName(), "orvane_speakers.monitor");
    ASSERT_TRUE(testing::decodeAudioFile(folder_ / "starter.m4a"));
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
    testing::FakeCameraSystem cameras;
    WebcamRecorderOptions options;
    options.sleep = [](std::chrono::milliseconds) {};
    WebcamRecorder recorder(cameras, audio_.get(), options);
    const auto file = folder_ / "webcam.mp4";
    // A monitor is clocked by its sink in real time, as a microphone is; the sine source is not.
    recorder.start(testing::FakeCameraSystem::device(), file, true, std::string("orvane_headset.monitor"));
    ASSERT_TRUE(server_->playTone("orvane_headset", 1.0));
    recorder.stop();
    EXPECT_FALSE(recorder.lastError());
    EXPECT_EQ(testing::videoCodecOf(file), "h264");
    const auto decoded = testing::decodeAudioFile(file);
    ASSERT_TRUE(decoded) << "webcam.mp4 must carry an audio track";
    EXPECT_EQ(decoded->codec, "aac");
    EXPECT_EQ(decoded->sampleRate, 48000);
    EXPECT_EQ(decoded->channels, 1);
    EXPECT_GT(decoded->rms, 0.05) << decoded->frames << " frames";
    EXPECT_EQ(audio_->defaultSourceName(), "orvane_speakers.monitor") << "the face track never switches the default";
}

class CollectingSink final : public AudioSampleSink {
public:
    void appendAudio(const AudioSamples& samples) override {
        std::lock_guard lock(mutex_);
        EXPECT_EQ(samples.channels, 2);
        EXPECT_EQ(samples.sampleRate, 48000);
        EXPECT_EQ(samples.interleaved.size(), static_cast<std::size_t>(samples.frameCount) * 2);
        if (!times_.empty()) {
            EXPECT_GT(samples.hostTime, times_.back());
        }
        times_.push_back(samples.hostTime);
        for (float s : samples.interleaved) sumSquares_ += double(s) * s;
        count_ += samples.interleaved.size();
    }
    double rms() const {
        std::lock_guard lock(mutex_);
        return count_ ? std::sqrt(sumSquares_ / double(count_)) : 0.0;
    }
    std::size_t count() const {
        std::lock_guard lock(mutex_);
        return count_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::chrono::steady_clock::time_point> times_;
    double sumSquares_ = 0;
    std::size_t count_ = 0;
};

TEST_F(PulseTracks, SystemAudioHearsWhatTheDefaultOutputPlays) {
    CollectingSink sink;
    SystemAudioCapture capture(*audio_);
    capture.start(sink);
    ASSERT_TRUE(server_->playTone("orvane_speakers", 0.8));
    capture.stop();
    const auto delivered = sink.count();
    EXPECT_GT(delivered, 0u);
    EXPECT_GT(sink.rms(), 0.05) << "the tone played into the default output must be captured";
    letAudioFlow(0.1);
    EXPECT_EQ(sink.count(), delivered) << "nothing arrives after stop()";

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
