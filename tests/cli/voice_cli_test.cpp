#include <cmath>

#include "audio/audio_file_reader.h"
#include "cli_fixture.h"
#include "model/caption_segment.h"
#include "support/http_test_server.h"
#include "support/pulse_test_server.h"
#include "support/required_service.h"

namespace orvane {
namespace {

class VoiceCliTest : public CliTest {
protected:
    void SetUp() override {
        SampleVideoLayout layout;
        layout.width = 320;
        layout.height = 240;
        layout.seconds = 3.0;
        layout.withAudio = false;  // silence everywhere but the voiceover
        const auto movie = home_ / "silent.mp4";
        writeSampleVideo(movie, layout);
        id_ = runJson({"import", movie.string(), "--json"})["id"].get<std::string>();
        folder_ = home_ / "data" / "Orvane" / "Recordings" / id_;
    }

    // No session bus: the keychain is the file store in the private config folder.
    testing::CliResult orvane(const std::vector<std::string>& arguments, std::vector<std::string> environment = {},
                              const std::optional<std::string>& input = {}) {
        environment.push_back("DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/orvane-test-bus");
        return testing::runOrvane(home_.path(), arguments, environment, input);
    }

    std::vector<std::string> voiceFiles() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder_)) {
            if (entry.path().filename().string().starts_with("voiceover-")) names.push_back(entry.path().filename());
        }
        return names;
    }

    std::string id_;
    fs::path folder_;
};

double rmsDecibels(const fs::path& file, double start, double length) {
    const auto audio = readAudioRange(file, start, length, 16000, 1);
    if (!audio || audio->samples.empty()) return -200;
    double sum = 0;
    for (const float s : audio->samples) sum += static_cast<double>(s) * s;
    const double rms = std::sqrt(sum / static_cast<double>(audio->samples.size()));
    return rms > 0 ? 20 * std::log10(rms) : -200;
}

TEST_F(VoiceCliTest, ALocalVoiceoverIsPlacedSavedAndHeardInTheExportWhereItSits) {
    const auto voices = runJson({"voices", "--provider", "local", "--json"});
    EXPECT_EQ(voices["voices"][0]["voice_id"], "slt");

    const auto added = runJson({"voiceover", id_, "--text", "Hello from the local voice of this computer.",
                                "--provider", "local", "--at", "1.0", "--json"});
    EXPECT_EQ(added["provider"], "local");
    EXPECT_EQ(added["voice"], "slt");
    const double start = added["clip"]["startTime"].get<double>();
    const double length = added["clip"]["duration"].get<double>();
    EXPECT_DOUBLE_EQ(start, 1.0);
    EXPECT_GT(length, 1.0);
    ASSERT_EQ(voiceFiles().size(), 1u);

    const auto sidecar = Json::parse(testing::readTextFile(folder_ / "sidecar.json"));
    ASSERT_EQ(sidecar["voiceClips"].size(), 1u);
    EXPECT_EQ(sidecar["voiceClips"][0]["label"], "Voiceover");
    EXPECT_EQ(sidecar["voiceClips"][0]["script"], "Hello from the local voice of this computer.");

    const auto out = home_ / "with-voice.mp4";
    const auto exported = run({"export", id_, "--out", out.string()});
    ASSERT_EQ(exported.exitCode, 0) << exported.err;
    const double before = rmsDecibels(out, 0.1, 0.7);
    const double during = rmsDecibels(out, start + 0.2, std::min(1.0, length - 0.3));
    EXPECT_LT(before, -60) << "the recording itself is silent";
    EXPECT_GT(during, -35) << "the voice is heard where the clip sits";
}

TEST_F(VoiceCliTest, ProviderFailuresLeaveTheEditUntouchedAndNeverShowTheKey) {
    const std::string key = "sk-user-key-77";
    testing::TestHttpServer server([&](const testing::TestHttpRequest& request) {
        return testing::TestHttpResponse::json(
            401, R"({"error":{"message":"bad key )" + request.header("Authorization").value_or("") + R"("}})");
    });
    const std::vector<std::string> env{"ORVANE_SERVICE_URL_OPENAI=" + server.baseURL() + "/v1"};

    const auto missing = orvane({"voiceover", id_, "--text", "Hi", "--provider", "openai", "--voice", "alloy"}, env);
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("Add your OpenAI API key in Voice settings."), std::string::npos) << missing.err;
    EXPECT_NE(missing.err.find("orvane config secret set openaiTTSAPIKey"), std::string::npos) << missing.err;
    EXPECT_EQ(server.requestCount(), 0u);

    ASSERT_EQ(orvane({"config", "secret", "set", "openaiTTSAPIKey"}, env, key + "\n").exitCode, 0);
    EXPECT_EQ(orvane({"config", "secret", "set", "someoneElsesKey"}, env, key + "\n").exitCode, 2);

    const auto refused = orvane({"voiceover", id_, "--text", "Hi", "--provider", "openai", "--voice", "alloy"}, env);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("bad key"), std::string::npos) << refused.err;
    EXPECT_EQ(server.requestCount(), 1u);

    const auto unreachable =
        orvane({"--verbose", "voiceover", id_, "--text", "Hi", "--provider", "openai", "--voice", "alloy"},
               {"ORVANE_SERVICE_URL_OPENAI=" + testing::unusedLoopbackURL()});
    EXPECT_EQ(unreachable.exitCode, 1);
    EXPECT_NE(unreachable.err.find("[Orvane.Voice]"), std::string::npos) << "log lines are shown, without the key";

    for (const auto* result : {&missing, &refused, &unreachable}) {
        EXPECT_EQ(result->err.find(key), std::string::npos) << result->err;
        EXPECT_EQ(result->out.find(key), std::string::npos);
    }
    EXPECT_FALSE(fs::exists(folder_ / "sidecar.json")) << "no voiceover, no change to the edit";
    EXPECT_TRUE(voiceFiles().empty());
}

TEST_F(VoiceCliTest, CaptionsFromTheOnlineRecognizerUseTheStoredKeyAndTheSameSegments) {
    testing::TestHttpServer server([](const testing::TestHttpRequest&) {
        return testing::TestHttpResponse::json(
            200, R"({"words":[{"word":" Welcome","start":0.2,"end":0.6},{"word":" back","start":0.7,"end":1.0}]})");
    });
    const std::vector<std::string> env{"ORVANE_SERVICE_URL_OPENAI=" + server.baseURL() + "/v1"};
    // The movie carries a tone, not speech: the words come from the loopback service.
    SampleVideoLayout layout;
    layout.width = 320;
    layout.height = 240;
    layout.seconds = 2.0;
    const auto movie = home_ / "talk.mp4";
    writeSampleVideo(movie, layout);
    const auto id = runJson({"import", movie.string(), "--json"})["id"].get<std::string>();

    const auto missing = orvane({"captions", id, "--recognizer", "openai"}, env);
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("orvane config secret set openaiTTSAPIKey"), std::string::npos) << missing.err;
    EXPECT_EQ(server.requestCount(), 0u);

    ASSERT_EQ(orvane({"config", "secret", "set", "openaiTTSAPIKey"}, env, std::string("sk-cap-1\n")).exitCode, 0);
    ASSERT_EQ(orvane({"config", "set", "orvaneSpeechRecognizer", "openai"}, env).exitCode, 0);
    const auto made = orvane({"captions", id, "--json"}, env);
    ASSERT_EQ(made.exitCode, 0) << made.err;
    const auto segments = Json::parse(made.out);
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_EQ(segments[0]["text"], "Welcome back");
    ASSERT_EQ(server.requestCount(), 1u);
    EXPECT_EQ(server.requests()[0].header("Authorization"), "Bearer sk-cap-1");
    EXPECT_EQ(server.requests()[0].path, "/v1/audio/transcriptions");
}

TEST_F(VoiceCliTest, ARecordedVoiceFromTheChosenMicrophoneBecomesMyVoice) {
    testing::PulseTestServer sound;  // the child finds it through PULSE_SERVER
    ORVANE_REQUIRE_SERVICE(sound.unavailableReason().empty(), "no PulseAudio: " << sound.unavailableReason());
    ASSERT_EQ(orvane({"config", "set", "zantDefaultMicrophoneID", "orvane_sine"}).exitCode, 0);

    const auto recorded = orvane({"voiceover", id_, "--record", "--duration", "1", "--at", "0.5", "--json"});
    ASSERT_EQ(recorded.exitCode, 0) << recorded.err;
    const auto clip = Json::parse(recorded.out)["clip"];
    EXPECT_EQ(clip["label"], "My Voice");
    EXPECT_DOUBLE_EQ(clip["startTime"].get<double>(), 0.5);
    // PulseAudio's sine source hands over up to a second it generated ahead at the start.
    EXPECT_GT(clip["duration"].get<double>(), 0.75);
    EXPECT_LT(clip["duration"].get<double>(), 2.25);
    ASSERT_EQ(voiceFiles().size(), 1u);
    EXPECT_TRUE(voiceFiles()[0].ends_with(".m4a"));
    EXPECT_GT(rmsDecibels(folder_ / voiceFiles()[0], 0.2, 0.5), -30) << "the sine source was heard";
    EXPECT_EQ(orvane({"voiceover", id_, "--record", "--duration", "0"}).exitCode, 2);
}

TEST_F(VoiceCliTest, RemovedFillersSurviveReopeningTheRecording) {
    CaptionSegment segment;
    segment.start = 0;
    segment.end = 2;
    segment.text = "so um, well uh right";
    segment.words = {{0.0, 0.2, "so"}, {0.3, 0.5, "um,"}, {0.6, 0.8, "well"}, {1.2, 1.4, "uh"}, {1.5, 1.8, "right"}};
    testing::writeTextFile(folder_ / "captions.json", encodeCaptionSegments({segment}));
    EXPECT_EQ(runJson({"captions", id_, "--remove-fillers", "--json"})["count"], 2);

    // A later command opens the recording afresh: the mutes must come back from the sidecar.
    const auto edit = runJson({"show", id_, "--json"})["edit"];
    ASSERT_TRUE(edit.contains("mutes")) << edit.dump();
    ASSERT_EQ(edit["mutes"].size(), 2u) << edit.dump();
    EXPECT_NEAR(edit["mutes"][0]["start"].get<double>(), 0.24, 1e-9);
    EXPECT_NEAR(edit["mutes"][1]["end"].get<double>(), 1.46, 1e-9);
    EXPECT_EQ(runJson({"captions", id_, "--remove-fillers", "--json"})["count"], 0);
}

}  // namespace
}  // namespace orvane
