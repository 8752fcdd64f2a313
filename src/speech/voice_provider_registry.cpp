#include "speech/voice_provider_registry.h"

#include "base/text.h"
#include "net/service_url.h"
#include "speech/flite_voice_provider.h"

namespace orvane {

namespace {

constexpr std::array<std::pair<VoiceProviderKind, std::string_view>, 6> kRawValues{{
    {VoiceProviderKind::zantHosted, "zantHosted"},
    {VoiceProviderKind::elevenLabs, "elevenLabs"},
    {VoiceProviderKind::cartesia, "cartesia"},
    {VoiceProviderKind::openai, "openai"},
    {VoiceProviderKind::custom, "custom"},
    {VoiceProviderKind::local, "local"},
}};

}  // namespace

std::string_view rawValue(VoiceProviderKind kind) {
    for (const auto& [k, raw] : kRawValues) {
        if (k == kind) return raw;
    }
    return "local";
}

std::optional<VoiceProviderKind> voiceProviderKindFromRaw(std::string_view raw) {
    for (const auto& [kind, value] : kRawValues) {
        if (value == raw) return kind;
    }
    return std::nullopt;
}

VoiceProviderKind voiceProviderKindFromPreference(const std::optional<std::string>& stored) {
    if (!stored) return VoiceProviderKind::local;
    return voiceProviderKindFromRaw(*stored).value_or(VoiceProviderKind::local);
}

VoiceServiceURLs voiceServiceURLs() {
    VoiceServiceURLs urls;
    urls.elevenLabs = serviceBaseURL("ELEVENLABS", urls.elevenLabs);
    urls.cartesia = serviceBaseURL("CARTESIA", urls.cartesia);
    urls.openai = serviceBaseURL("OPENAI", urls.openai);
    return urls;
}

VoiceProviderRegistry::VoiceProviderRegistry(VoicePreferenceReader preferences,
                                             std::shared_ptr<HttpTransport> transport, SecretReader readSecret,
                                             VoiceServiceURLs urls)
    : preferences_(std::move(preferences)),
      transport_(std::move(transport)),
      readSecret_(std::move(readSecret)),
      urls_(std::move(urls)) {}

VoiceProviderRegistry::~VoiceProviderRegistry() = default;

HttpVoiceProviderSetup VoiceProviderRegistry::setup(std::string baseURL) const {
    HttpVoiceProviderSetup setup;
    setup.baseURL = std::move(baseURL);
    setup.transport = transport_;
    setup.readSecret = readSecret_;
    return setup;
}

VoiceProviderKind VoiceProviderRegistry::preferredKind() const {
    return voiceProviderKindFromPreference(preferences_.kind ? preferences_.kind() : std::nullopt);
}

std::string VoiceProviderRegistry::customEndpoint() const {
    const auto stored = preferences_.customEndpoint ? preferences_.customEndpoint() : std::nullopt;
    if (stored) {
        auto trimmed = trimWhitespaceAndNewlines(*stored);
        if (isHttpURL(trimmed)) return trimmed;
    }
    return std::string(kCustomVoicePlaceholderEndpoint);
}

std::shared_ptr<VoiceProvider> VoiceProviderRegistry::provider(VoiceProviderKind kind) {
    switch (kind) {
        case VoiceProviderKind::zantHosted:
        case VoiceProviderKind::elevenLabs:
            if (!elevenLabs_) elevenLabs_ = std::make_shared<ElevenLabsClient>(setup(urls_.elevenLabs));
            return elevenLabs_;
        case VoiceProviderKind::cartesia:
            if (!cartesia_) cartesia_ = std::make_shared<CartesiaClient>(setup(urls_.cartesia));
            return cartesia_;
        case VoiceProviderKind::openai:
            if (!openai_) openai_ = std::make_shared<OpenAITTSClient>(setup(urls_.openai));
            return openai_;
        case VoiceProviderKind::custom:
            return std::make_shared<CustomVoiceProvider>(setup(customEndpoint()),
                                                         std::string(kCustomVoiceProviderAPIKeyAccount));
        case VoiceProviderKind::local:
            if (!local_) local_ = std::make_shared<FliteVoiceProvider>();
            return local_;
    }
    return nullptr;
}

}  // namespace orvane
