#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "speech/http_voice_providers.h"
#include "speech/voice_provider.h"

namespace orvane {

class FliteVoiceProvider;

// Reads the voice preferences when asked, so a changed setting applies at once: the stored
// "zantVoiceProviderKind" and "zantVoiceProviderCustomEndpoint" values, nothing when unset.
struct VoicePreferenceReader {
    std::function<std::optional<std::string>()> kind;
    std::function<std::optional<std::string>()> customEndpoint;
};

// Where the outside voice services are; each is the service's own address unless
// ORVANE_SERVICE_URL_<NAME> says otherwise (see voiceServiceURLs()).
struct VoiceServiceURLs {
    std::string elevenLabs = std::string(kElevenLabsDefaultBaseURL);
    std::string cartesia = std::string(kCartesiaDefaultBaseURL);
    std::string openai = std::string(kOpenAIDefaultBaseURL);
};
// The default addresses with ELEVENLABS, CARTESIA and OPENAI redirections applied.
VoiceServiceURLs voiceServiceURLs();

// Maps a provider kind to its provider. The ElevenLabs, Cartesia, OpenAI and local providers are
// made once and shared, so each serialises its own calls; the custom one is made afresh from the
// endpoint preference each time, so a changed setting applies at once.
class VoiceProviderRegistry {
public:
    static constexpr std::string_view kindKey = "zantVoiceProviderKind";
    static constexpr std::string_view customEndpointKey = "zantVoiceProviderCustomEndpoint";

    VoiceProviderRegistry(VoicePreferenceReader preferences, std::shared_ptr<HttpTransport> transport,
                          SecretReader readSecret, VoiceServiceURLs urls = voiceServiceURLs());
    ~VoiceProviderRegistry();

    // The hosted kind answers the ElevenLabs client, for its model list; hosted voiceover itself
    // goes through the backend, never through it.
    std::shared_ptr<VoiceProvider> provider(VoiceProviderKind kind);
    // The provider kind the preference chooses.
    VoiceProviderKind preferredKind() const;
    // The custom endpoint the preference holds when it is an http(s) URL, else the placeholder.
    std::string customEndpoint() const;

private:
    HttpVoiceProviderSetup setup(std::string baseURL) const;

    VoicePreferenceReader preferences_;
    std::shared_ptr<HttpTransport> transport_;
    SecretReader readSecret_;
    VoiceServiceURLs urls_;
    std::shared_ptr<ElevenLabsClient> elevenLabs_;
    std::shared_ptr<CartesiaClient> cartesia_;
    std::shared_ptr<OpenAITTSClient> openai_;
    std::shared_ptr<FliteVoiceProvider> local_;
};

}  // namespace orvane
