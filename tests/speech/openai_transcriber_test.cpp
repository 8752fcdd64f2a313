#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "net/curl_http_transport.h"
#include "speech/auto_captioner.h"
#include "speech/openai_transcriber.h"
#include "support/http_test_server.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

using namespace testing;

constexpr const char* kKey = "sk-proj-secret-42";

// Two seconds of a quiet tone at 44.1 kHz stereo, so the upload has to be converted.
std::filesystem::path toneFile(const TempDir& dir) {
    std::vector<float> samples(44100 * 2 * 2);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = 0.2f * static_cast<float>(std::sin(static_cast<double>(i / 2) * 2 * M_PI * 220 / 44100));
    }
    const auto file = dir / "speech.wav";
    writeTextFile(file, encodeWav(samples.data(), samples.size() / 2, 44100, 2));
    return file;
}

OpenAISpeechService serviceFor(const std::string& base, std::optional<std::string> key,
                               std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    OpenAITranscriptionConfig config;
    config.baseURL = base;
    config.timeout = timeout;
    return OpenAISpeechService(config, makeHttpTransport(),
                               [key](const std::string& account) -> std::optional<std::string> {
                                   if (account != "openaiTTSAPIKey") return std::nullopt;
                                   return key;
                               });
}

std::string recognitionFailure(OpenAISpeechService& service, const std::filesystem::path& file,
                               std::stop_token stop = {}) {
    try {
        service.recognizer("en_US.UTF-8")->recognize(file, false, stop, {});
    } catch (const std::exception& e) {
        return e.what();
    }
    return "no error";
}

// The multipart part named `name`, as sent.
std::string formPart(const std::string& body, const std::string& name) {
    const auto header = body.find("name=\"" + name + "\"");
    if (header == std::string::npos) return "<missing>";
    const auto start = body.find("\r\n\r\n", header) + 4;
    return body.substr(start, body.find("\r\n--", start) - start);
}

TEST(OpenAITranscription, UploadsWavInAFormAndGroupsTheTimedWords) {
    TempDir dir;
    const auto file = toneFile(dir);
    TestHttpServer server([](const TestHttpRequest&) {
        return TestHttpResponse::json(200, R"({"text":"Hello world, um yes","words":[
            {"word":" Hello","start":0.1,"end":0.4},{"word":"world,","start":0.5,"end":0.9},
            {"word":"um","start":4.0,"end":4.2},{"word":"yes","start":4.8,"end":5.2}]})");
    });
    auto service = serviceFor(server.baseURL() + "/v1/", kKey);
    EXPECT_EQ(service.requestAuthorization(), SpeechAuthorization::authorized);

    std::vector<double> progress;
    CaptionRunControl control;
    control.progress = [&](double fraction) { progress.push_back(fraction); };
    const auto segments = AutoCaptioner::transcribePreparedAudio({file, false, 10.0}, "de_DE.UTF-8", service, control);
    ASSERT_EQ(segments.size(), 2u) << "4.5 s grouping applies to these words as to the local recogniser's";
    EXPECT_EQ(segments[0].text, "Hello world, um");
    EXPECT_DOUBLE_EQ(segments[0].start, 10.1) << "the prepared audio's offset is added";
    EXPECT_EQ(segments[1].text, "yes");
    EXPECT_TRUE(std::filesystem::exists(file)) << "the caller's file is not the recogniser's to delete";
    ASSERT_FALSE(progress.empty());
    EXPECT_DOUBLE_EQ(progress.back(), 1.0);

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    const auto& request = requests[0];
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.path, "/v1/audio/transcriptions");
    EXPECT_EQ(request.header("Authorization"), std::string("Bearer ") + kKey);
    ASSERT_TRUE(request.header("Content-Type"));
    EXPECT_TRUE(request.header("Content-Type")->starts_with("multipart/form-data; boundary="));
    EXPECT_EQ(formPart(request.body, "model"), "whisper-1");
    EXPECT_EQ(formPart(request.body, "response_format"), "verbose_json");
    EXPECT_EQ(formPart(request.body, "timestamp_granularities[]"), "word");
    EXPECT_EQ(formPart(request.body, "language"), "de");
    const auto wav = formPart(request.body, "file");
    ASSERT_GT(wav.size(), 44u);
    EXPECT_EQ(wav.substr(0, 4), "RIFF");
    EXPECT_EQ(static_cast<unsigned char>(wav[22]), 1u) << "mono";
    EXPECT_EQ(static_cast<unsigned char>(wav[24]) | static_cast<unsigned char>(wav[25]) << 8, 16000);
    EXPECT_NEAR(static_cast<double>(wav.size() - 44) / 2 / 16000, 2.0, 0.05);
    EXPECT_NE(request.body.find("filename=\"audio.wav\""), std::string::npos);
}

TEST(OpenAITranscription, FailuresSayWhatHappenedAndHowToFixItWithoutTheKey) {
    TempDir dir;
    const auto file = toneFile(dir);
    TestHttpServer server([](const TestHttpRequest& request) {
        return TestHttpResponse::json(401, R"({"error":{"message":"Incorrect API key provided: )" +
                                               request.header("Authorization").value_or("").substr(7) +
                                               R"(","type":"invalid_request_error"}})");
    });

    auto missing = serviceFor(server.baseURL(), std::nullopt);
    EXPECT_EQ(recognitionFailure(missing, file),
              "Add your OpenAI API key first (orvane config secret set openaiTTSAPIKey).");
    EXPECT_EQ(server.requestCount(), 0u);

    auto service = serviceFor(server.baseURL(), kKey, std::chrono::milliseconds(500));
    EXPECT_EQ(recognitionFailure(service, file),
              "OpenAI transcription refused the API key (HTTP 401). Store a valid key with `orvane config secret set "
              "openaiTTSAPIKey`.");

    server.setHandler([](const TestHttpRequest&) {
        return TestHttpResponse::json(429, R"({"error":{"message":"You exceeded your current quota"}})");
    });
    EXPECT_EQ(recognitionFailure(service, file),
              "OpenAI transcription is limiting requests or the account is out of credit (HTTP 429). Wait a moment "
              "and try again (You exceeded your current quota).");

    server.setHandler([](const TestHttpRequest&) { return TestHttpResponse{500, {}, "<html>oops</html>"}; });
    EXPECT_EQ(recognitionFailure(service, file),
              "OpenAI transcription is not working right now (HTTP 500). Try again later.");

    server.setHandler([](const TestHttpRequest&) { return TestHttpResponse::json(200, R"({"words":[{"word":1}]})"); });
    EXPECT_EQ(recognitionFailure(service, file),
              "The transcription service sent an answer that is not a transcription.");

    server.setHandler([](const TestHttpRequest&) {
        TestHttpResponse cut = TestHttpResponse::json(200, R"({"words":[{"word":"hi","start":0,"end":1}]})");
        cut.truncate = true;
        return cut;
    });
    const auto truncated = recognitionFailure(service, file);
    EXPECT_NE(truncated, "no error");

    server.setHandler([](const TestHttpRequest&) {
        TestHttpResponse slow = TestHttpResponse::json(200, R"({"words":[]})");
        slow.delay = std::chrono::milliseconds(2000);
        return slow;
    });
    const auto timedOut = recognitionFailure(service, file);
    EXPECT_NE(timedOut, "no error");

    std::stop_source stop;
    stop.request_stop();
    EXPECT_EQ(recognitionFailure(service, file, stop.get_token()), "Caption generation was cancelled.");

    for (const auto& message : {truncated, timedOut}) EXPECT_EQ(message.find(kKey), std::string::npos) << message;

    auto unreachable = serviceFor(unusedLoopbackURL(), kKey);
    EXPECT_NE(recognitionFailure(unreachable, file), "no error");
}

}  // namespace
}  // namespace orvane
