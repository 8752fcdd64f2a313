#include "speech/auto_captioner.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "base/manual_executor.h"
#include "editor/caption_generation.h"
#include "editor/editor_state.h"
#include "media/sample_video.h"
#include "model/project_sidecar.h"
#include "audio/audio_file_reader.h"
#include "model/scene_render_snapshot.h"
#include "speech/caption_task.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

using testing::TempDir;

// A recognition service whose answers the test scripts. It checks that the file it is handed is
// there while it listens, and remembers what it was asked.
class FakeSpeech : public SpeechRecognitionService {
public:
    struct Call {
        std::filesystem::path audio;
        bool onDevice = false;
        bool fileExisted = false;
    };
    using Answer = std::function<std::vector<RecognizedWord>(bool onDevice)>;

    SpeechAuthorization authorization = SpeechAuthorization::authorized;
    bool hasRecognizer = true;
    bool available = true;
    bool onDeviceSupport = true;
    Answer answer = [](bool) { return std::vector<RecognizedWord>{}; };
    std::vector<Call> calls;
    std::string lastLocale;

    SpeechAuthorization requestAuthorization() override { return authorization; }
    std::unique_ptr<SpeechRecognizer> recognizer(std::string_view locale) override {
        lastLocale = locale;
        if (!hasRecognizer) return nullptr;
        return std::make_unique<Recognizer>(*this);
    }

private:
    class Recognizer : public SpeechRecognizer {
    public:
        explicit Recognizer(FakeSpeech& owner) : owner_(owner) {}
        bool isAvailable() const override { return owner_.available; }
        bool supportsOnDeviceRecognition() const override { return owner_.onDeviceSupport; }
        std::vector<RecognizedWord> recognize(const std::filesystem::path& audio, bool onDevice, std::stop_token stop,
                                              const ProgressCallback& progress) override {
            owner_.calls.push_back({audio, onDevice, std::filesystem::exists(audio)});
            if (stop.stop_requested()) throw RecognitionCancelled();
            if (progress) progress(1);
            return owner_.answer(onDevice);
        }

    private:
        FakeSpeech& owner_;
    };
};

std::string messageOf(const std::function<void()>& run) {
    try {
        run();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no error)";
}

// Root mean square of the first channel between two times of a buffer.
double rms(const AudioBuffer& audio, double from, double to) {
    const auto first = static_cast<std::size_t>(from * audio.sampleRate);
    const auto last = std::min(static_cast<std::size_t>(to * audio.sampleRate), audio.frames());
    double sum = 0;
    for (std::size_t i = first; i < last; ++i)
        sum += audio.samples[i * audio.channels] * audio.samples[i * audio.channels];
    return last > first ? std::sqrt(sum / static_cast<double>(last - first)) : 0;
}

class AutoCaptionerTest : public ::testing::Test {
protected:
    AutoCaptioner::PreparedAudio preparedWav() {
        // Any readable file will do for the fake; recognition is what is under test.
        const auto file = dir / "prepared.m4a";
        testing::writeTextFile(file, "audio");
        return {file, false, 10.0};
    }

    TempDir dir;
    FakeSpeech speech;
};

TEST_F(AutoCaptionerTest, RecognitionFailuresBecomeTheirCaptionErrors) {
    const auto audio = preparedWav();
    speech.authorization = SpeechAuthorization::denied;
    EXPECT_EQ(messageOf([&] { AutoCaptioner::transcribePreparedAudio(audio, "en_US", speech); }),
              "Speech recognition permission was denied. Enable it in System Settings > Privacy & Security > Speech "
              "Recognition.");
    speech.authorization = SpeechAuthorization::authorized;
    speech.hasRecognizer = false;
    EXPECT_EQ(messageOf([&] { AutoCaptioner::transcribePreparedAudio(audio, "xx_XX", speech); }),
              "Speech recognition is not available for the current language.");
    EXPECT_EQ(speech.lastLocale, "xx_XX");
    speech.hasRecognizer = true;
    speech.available = false;
    EXPECT_EQ(messageOf([&] { AutoCaptioner::transcribePreparedAudio(audio, "en_US", speech); }),
              "Speech recognition is not available for the current language.");
    speech.available = true;
    speech.answer = [](bool) -> std::vector<RecognizedWord> { throw SpeechRecognitionError("the decoder gave up"); };
    EXPECT_EQ(messageOf([&] { AutoCaptioner::transcribePreparedAudio(audio, "en_US", speech); }),
              "Speech recognition could not transcribe the recording: the decoder gave up");
    EXPECT_TRUE(speech.calls.back().fileExisted);
}

TEST_F(AutoCaptionerTest, AnEmptyOrFailedOnDeviceRunIsRepeatedWithoutTheRequirement) {
    const auto audio = preparedWav();
    speech.answer = [](bool onDevice) {
        if (onDevice) return std::vector<RecognizedWord>{};
        return std::vector<RecognizedWord>{{0.5, 0.9, "hello"}, {1.0, 1.4, "there"}};
    };
    auto segments = AutoCaptioner::transcribePreparedAudio(audio, "en_US", speech);
    ASSERT_EQ(speech.calls.size(), 2u);
    EXPECT_TRUE(speech.calls[0].onDevice);
    EXPECT_FALSE(speech.calls[1].onDevice);
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_EQ(segments[0].text, "hello there");
    // Times are moved to the clock of the prepared file's first sample.
    EXPECT_DOUBLE_EQ(segments[0].start, 10.5);
    EXPECT_DOUBLE_EQ(segments[0].words[1].end, 11.4);

    speech.calls.clear();
    speech.answer = [](bool onDevice) -> std::vector<RecognizedWord> {
        if (onDevice) throw SpeechRecognitionError("model missing");
        return {{0, 1, "fine"}};
    };
    EXPECT_EQ(AutoCaptioner::transcribePreparedAudio(audio, "en_US", speech).size(), 1u);
    EXPECT_EQ(speech.calls.size(), 2u);

    // A recogniser without the choice is asked once; finding nothing is no error.
    speech.calls.clear();
    speech.onDeviceSupport = false;
    speech.answer = [](bool) { return std::vector<RecognizedWord>{}; };
    EXPECT_TRUE(AutoCaptioner::transcribePreparedAudio(audio, "en_US", speech).empty());
    ASSERT_EQ(speech.calls.size(), 1u);
    EXPECT_FALSE(speech.calls[0].onDevice);
}

// Recording: 4 s of tone. Clips: source 0-2 at composition 0-2, then after a 1 s gap source 2-4 at
// composition 3-5. Trim 0.5-5, a mute over 3.5-4.0 and a 2x ramp over 1.0-1.5.
TEST_F(AutoCaptionerTest, EditAudioLiesOnTheCompositionClockWithGapsAndMutesSilent) {
    writeSampleVideo(dir / "screen.mp4", {.width = 160, .height = 90, .seconds = 4, .withAudio = true});
    SceneRenderSnapshot snapshot;
    snapshot.videoPath = dir / "screen.mp4";
    snapshot.clipBaseDirectory = dir.path();
    snapshot.edit.timeline.clips = {Clip{Uuid::random(), "screen.mp4", 0, 2, 0},
                                    Clip{Uuid::random(), "screen.mp4", 2, 4, 1}};
    snapshot.edit.timeline.trimStart = 0.5;
    snapshot.edit.timeline.trimEnd = 5;
    snapshot.edit.audio.muteRegions = {MuteRegion{Uuid::random(), 3.5, 4.0}};
    snapshot.edit.timeline.speedRamps = {SpeedRamp{Uuid::random(), 1.0, 1.5, 2}};

    std::vector<double> progress;
    const auto prepared = AutoCaptioner::prepareAudio(snapshot, {{}, [&](double f) { progress.push_back(f); }});
    ASSERT_TRUE(std::filesystem::exists(prepared.url));
    EXPECT_TRUE(prepared.isTemporary);
    EXPECT_EQ(prepared.url.parent_path(), std::filesystem::temp_directory_path());
    EXPECT_EQ(prepared.url.filename().string().rfind("orvane-captions-timeline-", 0), 0u);
    EXPECT_DOUBLE_EQ(prepared.timeOffset, 0.5);
    ASSERT_FALSE(progress.empty());
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));

    const auto audio = readAudioFile(prepared.url);
    std::filesystem::remove(prepared.url);
    EXPECT_EQ(audio.sampleRate, 16000);
    EXPECT_EQ(audio.channels, 1);
    EXPECT_NEAR(static_cast<double>(audio.frames()) / audio.sampleRate, 4.5, 0.1);
    // File time t is composition time t + 0.5.
    auto at = [&](double from, double to) { return rms(audio, from - 0.5, to - 0.5); };
    EXPECT_GT(at(0.6, 1.9), 0.1);   // the ramp plays faster, but the words stay where they are
    EXPECT_LT(at(2.1, 2.9), 0.01);  // the gap between the clips
    EXPECT_GT(at(3.1, 3.4), 0.1);
    EXPECT_LT(at(3.55, 3.95), 0.01);  // the mute
    EXPECT_GT(at(4.1, 4.9), 0.1);
}

TEST_F(AutoCaptionerTest, AnEditWithoutAudioFallsBackToTheScreenVideoAndSavesBesideIt) {
    // The only clip shows a silent file; the screen video has sound.
    writeSampleVideo(dir / "screen.mp4", {.width = 160, .height = 90, .seconds = 1, .withAudio = true});
    writeSampleVideo(dir / "silent.mp4", {.width = 160, .height = 90, .seconds = 1, .withAudio = false});
    EditorState editor(Uuid::random(), dir / "screen.mp4");
    editor.modify([](EditorValues& v) {
        v.edit.timeline.clips = {Clip{Uuid::random(), "silent.mp4", 0, 1, 0}};
        v.edit.timeline.trimEnd = 1;
    });
    speech.answer = [](bool) { return std::vector<RecognizedWord>{{0.1, 0.4, "hi"}}; };
    const CaptionServices services{&speech, FFmpegTool::locator({})};
    auto task = std::make_shared<CaptionTask>();
    const auto recognize = makeCaptionRecognizer(editor, services, task, "en_US");
    const auto segments = recognize();

    ASSERT_EQ(speech.calls.size(), 1u);
    EXPECT_TRUE(speech.calls[0].fileExisted);
    EXPECT_EQ(speech.calls[0].audio.filename().string().rfind("orvane-captions-", 0), 0u);
    EXPECT_EQ(speech.calls[0].audio.filename().string().find("timeline"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(speech.calls[0].audio)) << "the prepared file is deleted afterwards";
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_DOUBLE_EQ(segments[0].start, 0.1);  // source times
    const auto saved = decodeCaptionSegments(testing::readTextFile(dir / std::string(kCaptionsFileName)));
    ASSERT_TRUE(saved);
    EXPECT_EQ(*saved, segments);
    EXPECT_DOUBLE_EQ(task->progress(), 1.0);

    // Neither has sound: the screen video's answer is the one the user sees.
    const auto onlySilence = std::make_shared<EditorState>(Uuid::random(), dir / "silent.mp4");
    onlySilence->modify([](EditorValues& v) {
        v.edit.timeline.clips = {Clip{Uuid::random(), "silent.mp4", 0, 1, 0}};
        v.edit.timeline.trimEnd = 1;
    });
    ManualExecutor main;
    ManualExecutor background;
    ToastCenter toasts(main);
    generateCaptions(onlySilence, makeCaptionRecognizer(*onlySilence, services, task, "en_US"), background, main,
                     toasts);
    background.runPending();
    main.runPending();
    ASSERT_EQ(toasts.toasts().size(), 1u);
    EXPECT_EQ(toasts.toasts()[0].title, "Couldn't generate captions");
    EXPECT_EQ(toasts.toasts()[0].detail, "This recording does not have an audio track to caption.");
    EXPECT_FALSE(onlySilence->values().isGeneratingCaptions);
}

TEST_F(AutoCaptionerTest, ACancelledRunStopsAndLeavesNoTemporaryFileOrCaptions) {
    writeSampleVideo(dir / "screen.mp4", {.width = 160, .height = 90, .seconds = 1, .withAudio = true});
    const CaptionServices services{&speech, FFmpegTool::locator({})};
    CaptionTask task;
    auto control = task.control();
    control.progress = [&](double fraction) {
        // The user cancels once preparing is under way.
        if (fraction > 0) task.cancel();
    };
    EXPECT_THROW(AutoCaptioner::captions(dir / "screen.mp4", "en_US", services, control), RecognitionCancelled);
    EXPECT_TRUE(speech.calls.empty());
    EXPECT_FALSE(std::filesystem::exists(dir / std::string(kCaptionsFileName)));

    // A missing file is an extraction failure, not a crash.
    EXPECT_EQ(messageOf([&] {
                  AutoCaptioner::captions(dir / "gone.mp4", "en_US", services);
              }).rfind("Orvane could not prepare the recording audio for captioning: ", 0),
              0u);
}

}  // namespace
}  // namespace orvane
