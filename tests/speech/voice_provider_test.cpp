#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>

#include "base/log.h"
#include "net/curl_http_transport.h"
#include "speech/flite_voice_provider.h"
#include "speech/http_voice_providers.h"
#include "speech/voice_provider_registry.h"
#include "support/http_test_server.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

using Json = nlohmann::json;
using namespace testing;

constexpr const char* kKey = "sk-live-0123456789";

SecretReader keys(std::map<std::string, std::string> stored) {
    return [stored](const std::string& account) -> std::optional<std::string> {
        const auto found = stored.find(account);
        if (found == stored.end()) return std::nullopt;
        return found->second;
    };
}

HttpVoiceProviderSetup setupFor(const std::string& base, SecretReader secrets,
                                std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    HttpVoiceProviderSetup setup;
    setup.baseURL = base;
    setup.transport = makeHttpTransport();
    setup.readSecret = std::move(secrets);
    setup.timeout = timeout;
    return setup;
}

std::string failureOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const VoiceProviderError& e) {
        return e.what();
    }
    return "no error";
}

TEST(VoiceProviders, ElevenLabsSendsTheDocumentedRequests) {
    TestHttpServer server([](const TestHttpRequest& request) {
        if (request.method == "GET" && request.path == "/v1/voices") {
            return TestHttpResponse::json(
                200,
                R"({"voices":[{"voice_id":"v1","name":"Ann","category":"premade"},{"voice_id":"v2","name":"Bo"}]})");
        }
        return TestHttpResponse{200, {{"Content-Type", "audio/mpeg"}}, "ID3-mp3-bytes"};
    });
    ElevenLabsClient client(setupFor(server.baseURL() + "/v1", keys({{"elevenLabsAPIKey", kKey}})));

    const auto voices = client.voices();
    ASSERT_EQ(voices.size(), 2u);
    EXPECT_EQ(voices[0], (ELVoice{"v1", "Ann", "premade"}));
    EXPECT_EQ(voices[1].category, std::nullopt);
    EXPECT_EQ(client.synthesize("Hello there", "v 1", "eleven_turbo_v2_5"), "ID3-mp3-bytes");

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].header("xi-api-key"), kKey);
    EXPECT_EQ(requests[0].header("Content-Type"), std::nullopt) << "no body, no content type";
    EXPECT_NE(requests[0].header("Accept"), "audio/mpeg") << "only synthesis asks for audio";
    const auto& synth = requests[1];
    EXPECT_EQ(synth.method, "POST");
    EXPECT_EQ(synth.path, "/v1/text-to-speech/v%201");
    EXPECT_EQ(synth.header("xi-api-key"), kKey);
    EXPECT_EQ(synth.header("Content-Type"), "application/json");
    EXPECT_EQ(synth.header("Accept"), "audio/mpeg");
    EXPECT_EQ(Json::parse(synth.body), Json::parse(R"({"text":"Hello there","model_id":"eleven_turbo_v2_5",
        "output_format":"mp3_44100_128","voice_settings":{"stability":0.5,"similarity_boost":0.75,"style":0.0,
        "use_speaker_boost":true}})"));
}

TEST(VoiceProviders, CartesiaOpenAIAndCustomSendTheDocumentedRequests) {
    TestHttpServer server([](const TestHttpRequest& request) {
        if (request.path == "/voices") {
            return TestHttpResponse::json(200, R"([{"id":"c1","name":"Kai","language":"en"},{"id":"c2","name":"Mo"}])");
        }
        return TestHttpResponse{200, {{"Content-Type", "audio/mpeg"}}, "mp3:" + request.path};
    });
    CartesiaClient cartesia(setupFor(server.baseURL(), keys({{"cartesiaAPIKey", "cart-key"}})));
    const auto voices = cartesia.voices();
    ASSERT_EQ(voices.size(), 2u);
    EXPECT_EQ(voices[0], (ELVoice{"c1", "Kai", "en"}));
    EXPECT_EQ(cartesia.synthesize("Hi", "c1", "sonic-multilingual"), "mp3:/tts/bytes");

    OpenAITTSClient openai(setupFor(server.baseURL() + "/v1", keys({{"openaiTTSAPIKey", "oa-key"}})));
    const auto openaiVoices = openai.voices();
    ASSERT_EQ(openaiVoices.size(), 8u);
    EXPECT_EQ(openaiVoices.front(), (ELVoice{"alloy", "Alloy", std::nullopt}));
    EXPECT_EQ(openaiVoices.back(), (ELVoice{"verse", "Verse", std::nullopt}));
    EXPECT_EQ(openai.synthesize("Hi", "coral", "tts-1"), "mp3:/v1/audio/speech");

    CustomVoiceProvider custom(setupFor(server.baseURL() + "/my/tts", keys({{"customVoiceProviderAPIKey", "cu-key"}})),
                               "customVoiceProviderAPIKey");
    EXPECT_TRUE(custom.voices().empty());
    EXPECT_EQ(custom.synthesize("Hi", "voice-9", "m1"), "mp3:/my/tts");

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 4u) << "the OpenAI voice list and the custom one need no request";
    EXPECT_EQ(requests[0].header("X-API-Key"), "cart-key");
    EXPECT_EQ(requests[0].header("Cartesia-Version"), "2024-06-10");
    EXPECT_EQ(requests[1].method, "POST");
    EXPECT_EQ(requests[1].header("Content-Type"), "application/json");
    EXPECT_EQ(Json::parse(requests[1].body),
              Json::parse(R"({"model_id":"sonic-multilingual","voice":{"mode":"id","id":"c1"},"transcript":"Hi",
                  "output_format":{"container":"mp3","encoding":"mp3","sample_rate":44100}})"));
    EXPECT_EQ(requests[2].header("Authorization"), "Bearer oa-key");
    EXPECT_EQ(Json::parse(requests[2].body),
              Json::parse(R"({"model":"tts-1","voice":"coral","input":"Hi","response_format":"mp3"})"));
    EXPECT_EQ(requests[3].method, "POST");
    EXPECT_EQ(requests[3].header("Authorization"), "Bearer cu-key");
    EXPECT_EQ(requests[3].header("Content-Type"), "application/json");
    EXPECT_EQ(Json::parse(requests[3].body), Json::parse(R"({"voice_id":"voice-9","model_id":"m1","text":"Hi"})"));
}

TEST(VoiceProviders, AMissingKeyFailsBeforeAnyRequestWithTheProvidersSentence) {
    TestHttpServer server([](const TestHttpRequest&) { return TestHttpResponse{200, {}, "audio"}; });
    const auto none = keys({{"elevenLabsAPIKey", ""}});
    ElevenLabsClient eleven(setupFor(server.baseURL(), none));
    CartesiaClient cartesia(setupFor(server.baseURL(), none));
    OpenAITTSClient openai(setupFor(server.baseURL(), none));
    CustomVoiceProvider custom(setupFor(server.baseURL(), none), "customVoiceProviderAPIKey");

    EXPECT_EQ(failureOf([&] { eleven.voices(); }), "Add your ElevenLabs API key first.");
    EXPECT_EQ(failureOf([&] { eleven.synthesize("a", "v", "m"); }), "Add your ElevenLabs API key first.");
    EXPECT_EQ(failureOf([&] { cartesia.voices(); }), "Add your Cartesia API key in Voice settings.");
    EXPECT_EQ(failureOf([&] { openai.synthesize("a", "alloy", "tts-1"); }),
              "Add your OpenAI API key in Voice settings.");
    EXPECT_EQ(failureOf([&] { custom.synthesize("a", "v", "m"); }), "Add your custom voice provider API key first.");
    try {
        cartesia.synthesize("a", "v", "m");
        ADD_FAILURE() << "no error";
    } catch (const VoiceProviderError& e) {
        EXPECT_EQ(e.missingKeyAccount(), "cartesiaAPIKey");
    }
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST(VoiceProviders, FailedAnswersCarryTheBodyOrTheFallbackAndNeverTheKey) {
    TestHttpServer server([](const TestHttpRequest& request) {
        const auto& path = request.path;
        if (path.ends_with("/401")) return TestHttpResponse::json(401, R"({"detail":{"status":"invalid_api_key"}})");
        if (path.ends_with("/429")) return TestHttpResponse::json(429, R"({"error":"rate limited"})");
        if (path.ends_with("/500")) return TestHttpResponse{500, {}, std::string("\xff\xfe\x00\x01", 4)};
        if (path.ends_with("/empty")) return TestHttpResponse{503, {}, ""};
        return TestHttpResponse{400, {}, "bad key " + request.header("xi-api-key").value_or("")};
    });
    const auto secrets = keys({{"elevenLabsAPIKey", kKey}, {"cartesiaAPIKey", kKey}});
    log::setEchoToStderr(true);
    ::testing::internal::CaptureStderr();
    ElevenLabsClient eleven(setupFor(server.baseURL(), secrets, std::chrono::milliseconds(400)));
    CartesiaClient cartesia(setupFor(server.baseURL(), secrets));

    EXPECT_EQ(failureOf([&] { eleven.synthesize("a", "401", "m"); }), R"({"detail":{"status":"invalid_api_key"}})");
    EXPECT_EQ(failureOf([&] { eleven.synthesize("a", "429", "m"); }), R"({"error":"rate limited"})");
    EXPECT_EQ(failureOf([&] { eleven.synthesize("a", "500", "m"); }), "Unknown error (HTTP 500)");
    EXPECT_EQ(failureOf([&] { eleven.synthesize("a", "empty", "m"); }), "Unknown error (HTTP 503)");
    EXPECT_EQ(failureOf([&] { eleven.synthesize("a", "echo", "m"); }), "bad key [redacted]");

    // Cartesia's fallback differs between its two calls.
    server.setHandler([](const TestHttpRequest& request) {
        return TestHttpResponse{request.path == "/voices" ? 502 : 500, {}, std::string("\xc3\x28", 2)};
    });
    EXPECT_EQ(failureOf([&] { cartesia.voices(); }), "Cartesia voices request failed (HTTP 502)");
    EXPECT_EQ(failureOf([&] { cartesia.synthesize("a", "v", "m"); }), "Cartesia TTS failed (HTTP 500)");

    server.setHandler([](const TestHttpRequest&) {
        TestHttpResponse slow{200, {}, "late"};
        slow.delay = std::chrono::milliseconds(1500);
        return slow;
    });
    const auto timedOut = failureOf([&] { eleven.synthesize("a", "slow", "m"); });
    EXPECT_NE(timedOut, "no error");
    EXPECT_EQ(timedOut.find(kKey), std::string::npos);

    server.setHandler([](const TestHttpRequest&) {
        TestHttpResponse cut{200, {{"Content-Type", "audio/mpeg"}}, "partial audio"};
        cut.truncate = true;
        return cut;
    });
    const auto truncated = failureOf([&] { eleven.synthesize("a", "cut", "m"); });
    EXPECT_NE(truncated, "no error") << "a cut-off answer is never taken for audio";

    const auto logged = ::testing::internal::GetCapturedStderr();
    log::setEchoToStderr(false);
    EXPECT_NE(logged.find("[Orvane.Voice]"), std::string::npos) << logged;
    EXPECT_EQ(logged.find(kKey), std::string::npos) << "no key in a log line";
}

TEST(VoiceProviders, TheRegistryFollowsThePreferences) {
    std::optional<std::string> kind;
    std::optional<std::string> endpoint;
    VoiceProviderRegistry registry({[&] { return kind; }, [&] { return endpoint; }}, makeHttpTransport(), keys({}));

    EXPECT_EQ(registry.preferredKind(), VoiceProviderKind::local) << "unset: the voice that needs no key";
    kind = "cartesia";
    EXPECT_EQ(registry.preferredKind(), VoiceProviderKind::cartesia);
    kind = "somethingElse";
    EXPECT_EQ(registry.preferredKind(), VoiceProviderKind::local);

    EXPECT_EQ(registry.customEndpoint(), "https://voice.example.com/tts");
    endpoint = "not a url";
    EXPECT_EQ(registry.customEndpoint(), "https://voice.example.com/tts");
    endpoint = "  http://127.0.0.1:9/speak \n";
    EXPECT_EQ(registry.customEndpoint(), "http://127.0.0.1:9/speak");
    auto custom = std::dynamic_pointer_cast<CustomVoiceProvider>(registry.provider(VoiceProviderKind::custom));
    ASSERT_TRUE(custom);
    EXPECT_EQ(custom->endpoint(), "http://127.0.0.1:9/speak");
    EXPECT_EQ(custom->apiKeyAccount(), "customVoiceProviderAPIKey");

    EXPECT_EQ(registry.provider(VoiceProviderKind::zantHosted), registry.provider(VoiceProviderKind::elevenLabs));
    EXPECT_EQ(registry.provider(VoiceProviderKind::openai), registry.provider(VoiceProviderKind::openai));
    EXPECT_EQ(registry.provider(VoiceProviderKind::openai)->name(), "OpenAI");
    EXPECT_NE(registry.provider(VoiceProviderKind::custom), registry.provider(VoiceProviderKind::custom))
        << "made afresh so a changed endpoint applies";

    for (auto each : {VoiceProviderKind::zantHosted, VoiceProviderKind::elevenLabs, VoiceProviderKind::cartesia,
                      VoiceProviderKind::openai, VoiceProviderKind::custom, VoiceProviderKind::local}) {
        EXPECT_EQ(voiceProviderKindFromRaw(rawValue(each)), each);
    }
}

// The local voice's file: RIFF/WAVE with 16-bit PCM and audible speech.
TEST(FliteVoice, SpeaksTextIntoAWavFileWithNoKeyOrNetwork) {
    FliteVoiceProvider flite;
    const auto voices = flite.voices();
    ASSERT_FALSE(voices.empty());
    EXPECT_EQ(voices.front().voice_id, "slt");

    const auto wav = flite.synthesize("Hello, this is a local voice.", "", "");
    ASSERT_GT(wav.size(), 44u);
    EXPECT_EQ(wav.substr(0, 4), "RIFF");
    EXPECT_EQ(wav.substr(8, 4), "WAVE");
    const auto le = [&](std::size_t at, int bytes) {
        std::uint32_t value = 0;
        for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(wav[at + i]);
        return value;
    };
    const auto rate = le(24, 4);
    const auto dataBytes = le(40, 4);
    EXPECT_EQ(le(22, 2), 1u) << "mono";
    EXPECT_EQ(dataBytes, wav.size() - 44);
    const double seconds = static_cast<double>(dataBytes) / 2.0 / rate;
    EXPECT_GT(seconds, 1.0);
    EXPECT_LT(seconds, 6.0);
    double sum = 0;
    for (std::size_t i = 44; i + 1 < wav.size(); i += 2) {
        const auto sample = static_cast<std::int16_t>(le(i, 2));
        sum += (sample / 32768.0) * (sample / 32768.0);
    }
    EXPECT_GT(std::sqrt(sum / (dataBytes / 2.0)), 0.01) << "not silence";

    const auto rms = flite.synthesize("Hello", "rms", "flite");
    EXPECT_NE(rms, flite.synthesize("Hello", "slt", "flite")) << "a different voice sounds different";
    EXPECT_EQ(failureOf([&] { flite.synthesize("Hello", "nobody", ""); }),
              "The local voice \"nobody\" does not exist.");
    EXPECT_EQ(failureOf([&] { flite.synthesize("  \n", "slt", ""); }), "Write a script first.");
}

}  // namespace
}  // namespace orvane
