#pragma once

// The outside text-to-speech services reached with the user's own keys: ElevenLabs, Cartesia,
// OpenAI and a custom HTTP endpoint. Each request is built exactly as the service expects it and
// every failure becomes a VoiceProviderError.

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "net/http_transport.h"
#include "speech/openai_transcriber.h"
#include "speech/voice_provider.h"

namespace orvane {

// Keychain accounts of the keys.
inline constexpr std::string_view kElevenLabsAPIKeyAccount = "elevenLabsAPIKey";
inline constexpr std::string_view kCartesiaAPIKeyAccount = "cartesiaAPIKey";
inline constexpr std::string_view kCustomVoiceProviderAPIKeyAccount = "customVoiceProviderAPIKey";

// The services' own addresses; ORVANE_SERVICE_URL_ELEVENLABS, _CARTESIA and _OPENAI point them
// elsewhere.
inline constexpr std::string_view kElevenLabsDefaultBaseURL = "https://api.elevenlabs.io/v1";
inline constexpr std::string_view kCartesiaDefaultBaseURL = "https://api.cartesia.ai";
// Used when the custom endpoint preference is not a URL: requests then fail visibly rather than
// going somewhere the user did not choose.
inline constexpr std::string_view kCustomVoicePlaceholderEndpoint = "https://voice.example.com/tts";

inline constexpr std::string_view kCartesiaVersion = "2024-06-10";

// What every HTTP provider shares: where it sends, how it sends, and where its key is.
struct HttpVoiceProviderSetup {
    std::string baseURL;
    std::shared_ptr<HttpTransport> transport;
    SecretReader readSecret;
    std::chrono::milliseconds timeout = std::chrono::seconds(60);
};

// Base of the four: one call at a time, the key read before each request, the answer checked.
class HttpVoiceProvider : public VoiceProvider {
public:
    HttpVoiceProvider(HttpVoiceProviderSetup setup, std::string account, std::string keyMessage,
                      std::string voicesFallback, std::string synthesisFallback);

protected:
    // Sends one request with the key's headers; answers the 2xx body. `synthesis` picks the
    // fallback text for an error body that is not UTF-8.
    std::string call(const std::string& method, const std::string& url, std::string body, bool synthesis,
                     std::stop_token stop);
    // The provider's own authentication and fixed headers for one request.
    virtual HttpHeaders headers(const std::string& key, bool hasBody, bool synthesis) const = 0;

    const HttpVoiceProviderSetup& setup() const { return setup_; }

private:
    HttpVoiceProviderSetup setup_;
    std::string account_;
    std::string keyMessage_;
    std::string voicesFallback_;
    std::string synthesisFallback_;
    std::mutex callMutex_;
};

class ElevenLabsClient : public HttpVoiceProvider {
public:
    explicit ElevenLabsClient(HttpVoiceProviderSetup setup);
    std::string name() const override { return "ElevenLabs"; }
    std::vector<ELVoice> voices(std::stop_token stop = {}) override;
    std::string synthesize(const std::string& text, const std::string& voiceID, const std::string& modelID,
                           std::stop_token stop = {}) override;
    std::string defaultModel() const override { return "eleven_multilingual_v2"; }
    std::vector<ELModel> models() const override;

protected:
    HttpHeaders headers(const std::string& key, bool hasBody, bool synthesis) const override;
};

class CartesiaClient : public HttpVoiceProvider {
public:
    explicit CartesiaClient(HttpVoiceProviderSetup setup);
    std::string name() const override { return "Cartesia"; }
    std::vector<ELVoice> voices(std::stop_token stop = {}) override;
    std::string synthesize(const std::string& text, const std::string& voiceID, const std::string& modelID,
                           std::stop_token stop = {}) override;
    std::string defaultModel() const override { return "sonic-multilingual"; }
    std::vector<ELModel> models() const override;

protected:
    HttpHeaders headers(const std::string& key, bool hasBody, bool synthesis) const override;
};

class OpenAITTSClient : public HttpVoiceProvider {
public:
    explicit OpenAITTSClient(HttpVoiceProviderSetup setup);
    std::string name() const override { return "OpenAI"; }
    // A fixed list: the service has no voice catalogue to ask, so no key is needed to see it.
    std::vector<ELVoice> voices(std::stop_token stop = {}) override;
    std::string synthesize(const std::string& text, const std::string& voiceID, const std::string& modelID,
                           std::stop_token stop = {}) override;
    std::string defaultModel() const override { return "tts-1"; }
    std::vector<ELModel> models() const override;

protected:
    HttpHeaders headers(const std::string& key, bool hasBody, bool synthesis) const override;
};

// A user's own endpoint: POST {"voice_id", "model_id", "text"} to it, MP3 back. It lists no voices.
class CustomVoiceProvider : public HttpVoiceProvider {
public:
    // `endpoint` is the whole URL requests go to; the key is read from `apiKeyAccount`.
    CustomVoiceProvider(HttpVoiceProviderSetup setup, std::string apiKeyAccount);
    std::string name() const override { return "Custom"; }
    const std::string& endpoint() const { return setup().baseURL; }
    const std::string& apiKeyAccount() const { return apiKeyAccount_; }
    std::vector<ELVoice> voices(std::stop_token stop = {}) override;
    std::string synthesize(const std::string& text, const std::string& voiceID, const std::string& modelID,
                           std::stop_token stop = {}) override;
    std::string defaultModel() const override { return "eleven_multilingual_v2"; }
    std::vector<ELModel> models() const override;

protected:
    HttpHeaders headers(const std::string& key, bool hasBody, bool synthesis) const override;

private:
    std::string apiKeyAccount_;
};

}  // namespace orvane
