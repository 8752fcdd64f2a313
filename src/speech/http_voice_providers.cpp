#include "speech/http_voice_providers.h"

#include <nlohmann/json.hpp>

#include "base/log.h"
#include "base/log_areas.h"
#include "media/external_tools.h"
#include "net/http_transport.h"
#include "net/service_url.h"
#include "speech/service_errors.h"

namespace orvane {

namespace {

using Json = nlohmann::json;

Json parseList(const std::string& body, const std::string& unreadable) {
    auto json = Json::parse(body, nullptr, false);
    if (json.is_discarded()) throw VoiceProviderError::apiError(unreadable);
    return json;
}

std::optional<std::string> optionalString(const Json& object, const char* key) {
    const auto value = object.find(key);
    if (value == object.end() || !value->is_string()) return std::nullopt;
    return value->get<std::string>();
}

}  // namespace

HttpVoiceProvider::HttpVoiceProvider(HttpVoiceProviderSetup setup, std::string account, std::string keyMessage,
                                     std::string voicesFallback, std::string synthesisFallback)
    : setup_(std::move(setup)),
      account_(std::move(account)),
      keyMessage_(std::move(keyMessage)),
      voicesFallback_(std::move(voicesFallback)),
      synthesisFallback_(std::move(synthesisFallback)) {}

std::string HttpVoiceProvider::call(const std::string& method, const std::string& url, std::string body, bool synthesis,
                                    std::stop_token stop) {
    std::lock_guard lock(callMutex_);
    std::optional<std::string> key;
    try {
        if (setup_.readSecret) key = setup_.readSecret(account_);
    } catch (const std::exception& e) {
        throw VoiceProviderError::apiError(std::string("The keychain could not be read: ") + e.what());
    }
    // Checked before any request, so a missing key never costs a round trip.
    if (!key || key->empty()) throw VoiceProviderError::missingKey(keyMessage_, account_);

    HttpRequest request;
    request.method = method;
    request.url = url;
    const bool hasBody = !body.empty();
    request.headers = headers(*key, hasBody, synthesis);
    if (hasBody) request.body = std::move(body);
    request.timeout = setup_.timeout;

    HttpResponse response;
    try {
        response = setup_.transport->send(request, stop);
    } catch (const HttpTransportError& e) {
        log::warning(log_area::kVoice, "%s request failed: %s", name().c_str(), redactSecret(e.what(), *key).c_str());
        throw VoiceProviderError::apiError(redactSecret(e.what(), *key));
    }
    if (response.ok()) return std::move(response.body);

    log::warning(log_area::kVoice, "%s answered HTTP %d", name().c_str(), response.status);
    // The service's own words are the most useful explanation; a body that is not text (or is
    // empty) says nothing, so the provider's own sentence stands in.
    const auto& fallback = synthesis ? synthesisFallback_ : voicesFallback_;
    const bool readable = !response.body.empty() && isValidUtf8(response.body);
    throw VoiceProviderError::apiError(readable ? redactSecret(response.body, *key)
                                                : fallback + " (HTTP " + std::to_string(response.status) + ")");
}

// --- ElevenLabs ---------------------------------------------------------------------------------

ElevenLabsClient::ElevenLabsClient(HttpVoiceProviderSetup setup)
    : HttpVoiceProvider(std::move(setup), std::string(kElevenLabsAPIKeyAccount), "Add your ElevenLabs API key first.",
                        "Unknown error", "Unknown error") {}

HttpHeaders ElevenLabsClient::headers(const std::string& key, bool hasBody, bool synthesis) const {
    HttpHeaders out{{"xi-api-key", key}};
    if (hasBody) out.emplace_back("Content-Type", "application/json");
    if (synthesis) out.emplace_back("Accept", "audio/mpeg");
    return out;
}

std::vector<ELVoice> ElevenLabsClient::voices(std::stop_token stop) {
    const auto body = call("GET", trimTrailingSlashes(setup().baseURL) + "/voices", {}, false, stop);
    const auto json = parseList(body, "ElevenLabs sent a voice list that could not be read.");
    std::vector<ELVoice> voices;
    if (!json.is_object() || !json.contains("voices") || !json["voices"].is_array()) {
        throw VoiceProviderError::apiError("ElevenLabs sent a voice list that could not be read.");
    }
    for (const auto& item : json["voices"]) {
        if (!item.is_object()) continue;
        auto id = optionalString(item, "voice_id");
        auto voiceName = optionalString(item, "name");
        if (!id || !voiceName) continue;
        voices.push_back({std::move(*id), std::move(*voiceName), optionalString(item, "category")});
    }
    return voices;
}

std::string ElevenLabsClient::synthesize(const std::string& text, const std::string& voiceID,
                                         const std::string& modelID, std::stop_token stop) {
    const Json body{{"text", text},
                    {"model_id", modelID},
                    {"output_format", "mp3_44100_128"},
                    {"voice_settings",
                     {{"stability", 0.5}, {"similarity_boost", 0.75}, {"style", 0.0}, {"use_speaker_boost", true}}}};
    return call("POST", joinURL(setup().baseURL, {"text-to-speech", voiceID}), body.dump(), true, stop);
}

std::vector<ELModel> ElevenLabsClient::models() const {
    return {{"eleven_multilingual_v2", "Multilingual v2 (premium)"},
            {"eleven_flash_v2_5", "Flash (included)"},
            {"eleven_turbo_v2_5", "Turbo v2.5 (fast)"},
            {"eleven_monolingual_v1", "eleven_monolingual_v1"}};
}

// --- Cartesia -----------------------------------------------------------------------------------

CartesiaClient::CartesiaClient(HttpVoiceProviderSetup setup)
    : HttpVoiceProvider(std::move(setup), std::string(kCartesiaAPIKeyAccount),
                        "Add your Cartesia API key in Voice settings.", "Cartesia voices request failed",
                        "Cartesia TTS failed") {}

HttpHeaders CartesiaClient::headers(const std::string& key, bool, bool) const {
    return {
        {"X-API-Key", key}, {"Cartesia-Version", std::string(kCartesiaVersion)}, {"Content-Type", "application/json"}};
}

std::vector<ELVoice> CartesiaClient::voices(std::stop_token stop) {
    const auto body = call("GET", trimTrailingSlashes(setup().baseURL) + "/voices", {}, false, stop);
    auto json = parseList(body, "Cartesia sent a voice list that could not be read.");
    // Newer answers wrap the list in a page object.
    if (json.is_object() && json.contains("data")) json = json["data"];
    if (!json.is_array()) throw VoiceProviderError::apiError("Cartesia sent a voice list that could not be read.");
    std::vector<ELVoice> voices;
    for (const auto& item : json) {
        if (!item.is_object()) continue;
        auto id = optionalString(item, "id");
        auto voiceName = optionalString(item, "name");
        if (!id || !voiceName) continue;
        voices.push_back({std::move(*id), std::move(*voiceName), optionalString(item, "language")});
    }
    return voices;
}

std::string CartesiaClient::synthesize(const std::string& text, const std::string& voiceID, const std::string& modelID,
                                       std::stop_token stop) {
    const Json body{{"model_id", modelID},
                    {"voice", {{"mode", "id"}, {"id", voiceID}}},
                    {"transcript", text},
                    {"output_format", {{"container", "mp3"}, {"encoding", "mp3"}, {"sample_rate", 44100}}}};
    return call("POST", trimTrailingSlashes(setup().baseURL) + "/tts/bytes", body.dump(), true, stop);
}

std::vector<ELModel> CartesiaClient::models() const { return {{"sonic-multilingual", "Sonic Multilingual"}}; }

// --- OpenAI -------------------------------------------------------------------------------------

OpenAITTSClient::OpenAITTSClient(HttpVoiceProviderSetup setup)
    : HttpVoiceProvider(std::move(setup), std::string(kOpenAIAPIKeyAccount),
                        "Add your OpenAI API key in Voice settings.", "OpenAI TTS failed", "OpenAI TTS failed") {}

HttpHeaders OpenAITTSClient::headers(const std::string& key, bool, bool) const {
    return {{"Authorization", "Bearer " + key}, {"Content-Type", "application/json"}};
}

std::vector<ELVoice> OpenAITTSClient::voices(std::stop_token) {
    std::vector<ELVoice> voices;
    for (const char* id : {"alloy", "ash", "ballad", "coral", "echo", "sage", "shimmer", "verse"}) {
        std::string label(id);
        label[0] = static_cast<char>(label[0] - 'a' + 'A');
        voices.push_back({id, label, std::nullopt});
    }
    return voices;
}

std::string OpenAITTSClient::synthesize(const std::string& text, const std::string& voiceID, const std::string& modelID,
                                        std::stop_token stop) {
    const Json body{{"model", modelID}, {"voice", voiceID}, {"input", text}, {"response_format", "mp3"}};
    return call("POST", trimTrailingSlashes(setup().baseURL) + "/audio/speech", body.dump(), true, stop);
}

std::vector<ELModel> OpenAITTSClient::models() const {
    return {{"tts-1", "TTS 1"}, {"tts-1-hd", "TTS 1 HD"}, {"gpt-4o-mini-tts", "GPT-4o mini TTS"}};
}

// --- Custom -------------------------------------------------------------------------------------

CustomVoiceProvider::CustomVoiceProvider(HttpVoiceProviderSetup setup, std::string apiKeyAccount)
    : HttpVoiceProvider(std::move(setup), apiKeyAccount, "Add your custom voice provider API key first.",
                        "Custom provider failed", "Custom provider failed"),
      apiKeyAccount_(std::move(apiKeyAccount)) {}

HttpHeaders CustomVoiceProvider::headers(const std::string& key, bool, bool) const {
    return {{"Authorization", "Bearer " + key}, {"Content-Type", "application/json"}};
}

std::vector<ELVoice> CustomVoiceProvider::voices(std::stop_token) { return {}; }

std::string CustomVoiceProvider::synthesize(const std::string& text, const std::string& voiceID,
                                            const std::string& modelID, std::stop_token stop) {
    const Json body{{"voice_id", voiceID}, {"model_id", modelID}, {"text", text}};
    return call("POST", setup().baseURL, body.dump(), true, stop);
}

std::vector<ELModel> CustomVoiceProvider::models() const {
    return {{"eleven_multilingual_v2", "Multilingual v2 (best)"}};
}

}  // namespace orvane
