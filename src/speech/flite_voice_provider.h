#pragma once

// The voices of this computer: Debian's flite synthesiser and its compiled-in US English voices.
// Needs no key and no network, so a voiceover can always be made.

#include <mutex>

#include "speech/voice_provider.h"

namespace orvane {

class FliteVoiceProvider : public VoiceProvider {
public:
    // "slt" sounds most natural; it is what an empty voice choice means.
    static constexpr std::string_view kDefaultVoice = "slt";
    static constexpr std::string_view kModel = "flite";

    FliteVoiceProvider();
    ~FliteVoiceProvider() override;

    std::string name() const override { return "Local (flite)"; }
    std::vector<ELVoice> voices(std::stop_token stop = {}) override;
    // WAV (16-bit mono at the voice's own rate). An unknown voice id or empty text throws
    // VoiceProviderError.
    std::string synthesize(const std::string& text, const std::string& voiceID, const std::string& modelID,
                           std::stop_token stop = {}) override;
    std::string audioExtension() const override { return "wav"; }
    std::string defaultModel() const override { return std::string(kModel); }
    std::vector<ELModel> models() const override { return {{std::string(kModel), "flite"}}; }
};

}  // namespace orvane
