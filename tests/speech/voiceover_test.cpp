#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "base/manual_executor.h"
#include "cloud/remote_api_client.h"
#include "editor/editor_state.h"
#include "net/curl_http_transport.h"
#include "speech/voice_provider_registry.h"
#include "speech/voice_recorder.h"
#include "speech/voiceover.h"
#include "speech/voiceover_clip.h"
#include "support/http_test_server.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

using Json = nlohmann::json;
using namespace testing;

// One test's voiceover panel: a registry whose outside services live on `server`,
// and a controller whose main and background work both run on a manual executor.
struct Panel {
    explicit Panel(TestHttpServer& server, bool signedIn = false)
        : registry(
              {}, makeHttpTransport(), [](const std::string&) -> std::optional<std::string> { return "user-key"; },
              VoiceServiceURLs{server.baseURL() + "/v1", server.baseURL(), server.baseURL() + "/v1"}) {
        hosted.isSignedIn = [signedIn] { return signedIn; };
        hosted.api = std::make_shared<RemoteAPIClient>(server.baseURL(), makeHttpTransport(),
                                                       [] { return std::optional<std::string>("session"); });
        hosted.videoID = "remote-7";
        hosted.durationSeconds = 12.5;
    }

    VoiceoverController& make(VoiceoverState state) {
        controller =
            std::make_unique<VoiceoverController>(std::move(state), registry, hosted, executor, executor, home.path());
        return *controller;
    }

    TempDir home;
    VoiceProviderRegistry registry;
    HostedVoiceServices hosted;
    ManualExecutor executor;
    std::unique_ptr<VoiceoverController> controller;
};

TEST(Voiceover, GenerateChecksTheScriptThenTheVoiceBeforeAnyRequest) {
    TestHttpServer server([](const TestHttpRequest&) { return TestHttpResponse{200, {}, "mp3"}; });
    Panel panel(server);
    VoiceoverState state;
    state.providerKind = VoiceProviderKind::openai;
    auto& controller = panel.make(state);

    controller.generate();
    EXPECT_EQ(controller.state().errorMessage, "Write a script first.") << "even though no voice is picked either";
    controller.update([](VoiceoverState& s) { s.script = "Welcome to the demo."; });
    controller.generate();
    EXPECT_EQ(controller.state().errorMessage, "Pick a voice first.");
    EXPECT_FALSE(controller.state().isGenerating);
    panel.executor.runPending();
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST(Voiceover, AProviderVoiceIsWrittenToATemporaryFileAndAFailureLeavesNone) {
    TestHttpServer server([](const TestHttpRequest&) { return TestHttpResponse{200, {}, "ID3 fake mp3"}; });
    Panel panel(server);
    VoiceoverState state;
    state.providerKind = VoiceProviderKind::openai;
    state.script = "Hello.";
    state.selectedVoiceID = "coral";
    state.selectedModelID = "tts-1";
    auto& controller = panel.make(state);
    int notifications = 0;
    auto subscription = controller.changed.subscribe([&] { ++notifications; });

    controller.generate();
    EXPECT_TRUE(controller.state().isGenerating);
    panel.executor.runPending();
    const auto& done = controller.state();
    EXPECT_FALSE(done.isGenerating);
    EXPECT_EQ(done.errorMessage, std::nullopt);
    ASSERT_TRUE(done.audioURL);
    EXPECT_TRUE(done.audioURL->filename().string().starts_with("zant_voiceover_"));
    EXPECT_EQ(done.audioURL->extension(), ".mp3");
    EXPECT_EQ(readTextFile(*done.audioURL), "ID3 fake mp3");
    EXPECT_EQ(done.audioData, "ID3 fake mp3");
    EXPECT_GE(notifications, 2);
    EXPECT_EQ(server.requests().at(0).path, "/v1/audio/speech");

    server.setHandler([](const TestHttpRequest&) { return TestHttpResponse::json(401, R"({"error":"bad key"})"); });
    controller.generate();
    EXPECT_EQ(controller.state().audioURL, std::nullopt) << "a new run clears the last result";
    panel.executor.runPending();
    EXPECT_EQ(controller.state().errorMessage, R"({"error":"bad key"})");
    EXPECT_EQ(controller.state().audioURL, std::nullopt);
    EXPECT_FALSE(controller.state().isGenerating);
}

TEST(Voiceover, TheHostedVoiceoverNeedsASessionAndDecodesTheBackendsAudio) {
    TestHttpServer server([](const TestHttpRequest& request) {
        if (request.path == "/ai/script") {
            return TestHttpResponse::json(
                200, R"({"script":"Here is the tour.","provider":"openai","model_id":"m","billing_class":"included"})");
        }
        return TestHttpResponse::json(200, R"({"audio_base64":"SUQzIGhvc3RlZA==","content_type":"audio/mpeg",
            "provider":"elevenlabs","model_id":"eleven_flash_v2_5","voice_id":"EXAVITQu4vr4xnSDxMaL",
            "billing_class":"included"})");
    });
    {
        Panel signedOut(server, false);
        VoiceoverState state;
        state.providerKind = VoiceProviderKind::zantHosted;
        state.script = "Hi";
        state.selectedVoiceID = "EXAVITQu4vr4xnSDxMaL";
        auto& controller = signedOut.make(state);
        controller.generate();
        EXPECT_EQ(controller.state().errorMessage, "Sign in to use Orvane Hosted voiceover.");
        EXPECT_FALSE(controller.state().isGenerating);
        controller.generateScript();
        EXPECT_EQ(controller.state().errorMessage, "Sign in to use Orvane Hosted script generation.");
        EXPECT_EQ(server.requestCount(), 0u);
    }

    Panel panel(server, true);
    VoiceoverState state;
    state.providerKind = VoiceProviderKind::zantHosted;
    state.selectedVoiceID = "someone-else";
    state.selectedModelID.clear();
    state.style = HostedAIStyle::conciseNoAdjectives;
    state.audience = HostedAIAudience::nonTechnical;
    auto& controller = panel.make(state);
    controller.loadVoices(false);
    EXPECT_EQ(controller.state().voices.size(), 2u);
    EXPECT_EQ(controller.state().selectedVoiceID, "EXAVITQu4vr4xnSDxMaL") << "an unknown voice becomes Sarah";
    EXPECT_EQ(controller.state().selectedModelID, "eleven_flash_v2_5");

    controller.generateScript();
    EXPECT_TRUE(controller.state().isGeneratingScript);
    panel.executor.runPending();
    EXPECT_EQ(controller.state().script, "Here is the tour.");
    EXPECT_FALSE(controller.state().isGeneratingScript);

    controller.generate();
    panel.executor.runPending();
    ASSERT_TRUE(controller.state().audioURL) << controller.state().errorMessage.value_or("");
    EXPECT_EQ(readTextFile(*controller.state().audioURL), "ID3 hosted");

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].path, "/ai/script");
    const auto script = Json::parse(requests[0].body);
    EXPECT_EQ(script["provider"], "openai");
    EXPECT_EQ(script["length"], "default");
    EXPECT_EQ(script["audience"], "non_technical");
    EXPECT_EQ(script["style"], "concise_no_adjectives");
    EXPECT_EQ(requests[1].path, "/ai/voiceover");
    const auto voiceover = Json::parse(requests[1].body);
    EXPECT_EQ(voiceover["voice_id"], "EXAVITQu4vr4xnSDxMaL");
    EXPECT_EQ(voiceover["text"], "Here is the tour.");
    EXPECT_EQ(voiceover["video_id"], "remote-7");
    EXPECT_EQ(voiceover["duration_seconds"], 12.5);
}

TEST(Voiceover, Base64DecodingRejectsWhatIsNotBase64) {
    EXPECT_EQ(base64Decode("SGVsbG8="), "Hello");
    EXPECT_EQ(base64Decode("SGVs\nbG8"), "Hello") << "line breaks and missing padding are tolerated";
    EXPECT_EQ(base64Decode(""), "");
    EXPECT_EQ(base64Decode("SGVsbG8*"), std::nullopt);
    EXPECT_EQ(base64Decode("S"), std::nullopt);
    EXPECT_EQ(base64Decode("SG=Vs"), std::nullopt) << "nothing after padding";
}

TEST(Voiceover, PlacingAClipCopiesTheFileAndIsOneUndoableStep) {
    TempDir dir;
    // Half a second of silence as WAV: a file the editor can measure.
    std::string wav = "RIFF";
    const auto le = [&](std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i) wav += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    const std::uint32_t bytes = 8000 * 2 / 2;
    le(36 + bytes, 4);
    wav += "WAVEfmt ";
    le(16, 4), le(1, 2), le(1, 2), le(8000, 4), le(16000, 4), le(2, 2), le(16, 2);
    wav += "data";
    le(bytes, 4);
    wav += std::string(bytes, '\0');
    const auto source = dir / "voice.wav";
    writeTextFile(source, wav);
    const auto folder = dir / "rec";
    std::filesystem::create_directories(folder);

    EditorState editor(Uuid::random(), folder / "screen.mp4");
    editor.modify([](EditorValues& v) {
        v.edit.timeline.trimStart = 2;
        v.edit.timeline.duration = 30;
    });
    const auto clip = placeVoiceoverClip(editor, folder, source, 1.5, "Voiceover", "Hello");
    EXPECT_EQ(clip.path.parent_path(), folder);
    EXPECT_TRUE(clip.path.filename().string().starts_with("voiceover-"));
    EXPECT_EQ(readTextFile(clip.path), wav);
    EXPECT_DOUBLE_EQ(clip.startTime, 3.5) << "output time 1.5 s after a 2 s trim";
    EXPECT_NEAR(clip.duration, 0.5, 0.01);
    ASSERT_EQ(editor.values().edit.audio.voiceClips.size(), 1u);
    EXPECT_EQ(editor.values().edit.audio.voiceClips[0].script, "Hello");
    editor.undo();
    EXPECT_TRUE(editor.values().edit.audio.voiceClips.empty());

    writeTextFile(dir / "broken.mp3", "not audio");
    EXPECT_THROW(placeVoiceoverClip(editor, folder, dir / "broken.mp3", 0, "Voiceover"), VoiceoverPlacementError);
    EXPECT_THROW(placeVoiceoverClip(editor, folder, source, -1, "Voiceover"), VoiceoverPlacementError);
    EXPECT_TRUE(editor.values().edit.audio.voiceClips.empty());
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++files;
    EXPECT_EQ(files, 1u) << "failed placements copy nothing";
}

TEST(VoiceRecorder, TheMeterMapsSixtyDecibelsOntoZeroToOne) {
    EXPECT_EQ(VoiceRecorder::levelForPower(-60), 0.0f);
    EXPECT_EQ(VoiceRecorder::levelForPower(-90), 0.0f);
    EXPECT_EQ(VoiceRecorder::levelForPower(-160), 0.0f);
    EXPECT_FLOAT_EQ(VoiceRecorder::levelForPower(-30), 0.5f);
    EXPECT_EQ(VoiceRecorder::levelForPower(0), 1.0f);
    EXPECT_EQ(VoiceRecorder::levelForPower(6), 1.0f);
}

}  // namespace
}  // namespace orvane
