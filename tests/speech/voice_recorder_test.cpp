#include <gtest/gtest.h>

#include <cmath>
#include <thread>

#include "audio/audio_file_reader.h"
#include "base/manual_executor.h"
#include "platform/pulse/pulse_audio_system.h"
#include "speech/voice_recorder.h"
#include "support/pulse_test_server.h"
#include "support/required_service.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

using testing::PulseTestServer;

TEST(VoiceRecorderPulse, RecordsTheChosenMicrophoneAt44kWithALevelAndRestoresTheDefault) {
    PulseTestServer server;
    ORVANE_REQUIRE_SERVICE(server.unavailableReason().empty(), "no PulseAudio: " << server.unavailableReason());
    auto audio = makePulseAudioSystem("orvane-tests");
    audio->setDefaultSource("orvane_speakers.monitor");
    testing::TempDir folder;
    ManualExecutor main;
    VoiceRecorder recorder(*audio, main, folder.path());

    ASSERT_TRUE(recorder.start(std::string("orvane_sine"))) << recorder.errorMessage().value_or("");
    EXPECT_TRUE(recorder.isRecording());
    EXPECT_EQ(audio->defaultSourceName(), "orvane_sine");
    ASSERT_TRUE(recorder.recordingURL());
    EXPECT_TRUE(recorder.recordingURL()->filename().string().starts_with("zant_voice_"));
    EXPECT_EQ(recorder.recordingURL()->extension(), ".m4a");
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    main.advance(VoiceRecorder::kLevelInterval);
    EXPECT_GT(recorder.level(), 0.3f) << "the sine source is loud";

    const auto file = recorder.stop();
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_EQ(audio->defaultSourceName(), "orvane_speakers.monitor");
    ASSERT_TRUE(file);
    const auto buffer = readAudioFile(*file);
    EXPECT_EQ(buffer.sampleRate, 44100);
    EXPECT_GT(buffer.frames(), 44100u / 4);

    // An unwritable folder fails to start with a message, and nothing is left recording.
    VoiceRecorder broken(*audio, main, folder / "missing" / "deeper");
    EXPECT_FALSE(broken.start(std::nullopt));
    EXPECT_TRUE(broken.errorMessage());
    EXPECT_FALSE(broken.isRecording());
    EXPECT_EQ(audio->defaultSourceName(), "orvane_speakers.monitor");
}

}  // namespace
}  // namespace orvane
