#pragma once

// Text-to-speech providers for voiceover: the kinds the user picks from, what a provider offers
// (voices, synthesis) and the one error every provider fails with.

#include <optional>
#include <stdexcept>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

// The application's hosted voiceover, four outside services with the user's own keys, and the
// voices of this computer (flite), which need neither a key nor a network.
enum class VoiceProviderKind { zantHosted, elevenLabs, cartesia, openai, custom, local };

std::string_view rawValue(VoiceProviderKind kind);
std::optional<VoiceProviderKind> voiceProviderKindFromRaw(std::string_view raw);
// The kind the preference holds: an unset or unknown value is the local voice, the one choice
// that works on every computer without an account or a key.
VoiceProviderKind voiceProviderKindFromPreference(const std::optional<std::string>& stored);

// A voice a provider offers. JSON keys are the field names.
struct ELVoice {
    std::string voice_id;
    std::string name;
    std::optional<std::string> category;

    bool operator==(const ELVoice&) const = default;
};

struct ELModel {
    std::string id;
    std::string name;
};

// Every provider failure: a missing key, a refused request, a transport failure. what() is the
// text the panel shows.
class VoiceProviderError : public std::runtime_error {
public:
    static VoiceProviderError apiError(const std::string& message) { return VoiceProviderError(message, {}); }
    // The key is not in the keychain: `message` is the provider's sentence, `account` where it belongs.
    static VoiceProviderError missingKey(const std::string& message, std::string account) {
        return VoiceProviderError(message, std::move(account));
    }

    // The keychain account whose missing key caused this, so a front end can say how to add it.
    const std::optional<std::string>& missingKeyAccount() const { return missingKeyAccount_; }

private:
    VoiceProviderError(const std::string& message, std::optional<std::string> account)
        : std::runtime_error(message), missingKeyAccount_(std::move(account)) {}
    std::optional<std::string> missingKeyAccount_;
};

// One provider. Calls block (run them as background work) and one provider runs one call at a
// time; `stop` abandons a request.
class VoiceProvider {
public:
    virtual ~VoiceProvider() = default;

    virtual std::string name() const = 0;
    virtual std::vector<ELVoice> voices(std::stop_token stop = {}) = 0;
    // The audio file's bytes. Throws VoiceProviderError.
    virtual std::string synthesize(const std::string& text, const std::string& voiceID, const std::string& modelID,
                                   std::stop_token stop = {}) = 0;
    // The extension of what synthesize() answers, without the dot: "mp3" from the online services.
    virtual std::string audioExtension() const { return "mp3"; }
    // The model used when the user names none.
    virtual std::string defaultModel() const = 0;
    // The models a user may pick from (the first is the default).
    virtual std::vector<ELModel> models() const = 0;
};

}  // namespace orvane
