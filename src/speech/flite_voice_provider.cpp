#include "speech/flite_voice_provider.h"

#include <array>
#include <memory>
#include <vector>

#include <flite/flite.h>

#include "speech/openai_transcriber.h"

// The voices' registration functions live in their own libraries and have no header.
extern "C" {
cst_voice* register_cmu_us_slt(const char* voxdir);
cst_voice* register_cmu_us_rms(const char* voxdir);
cst_voice* register_cmu_us_awb(const char* voxdir);
cst_voice* register_cmu_us_kal16(const char* voxdir);
cst_voice* register_cmu_us_kal(const char* voxdir);
}

namespace orvane {

namespace {

struct FliteVoiceEntry {
    std::string_view id;
    std::string_view name;
    cst_voice* (*registerVoice)(const char*);
};

constexpr std::array<FliteVoiceEntry, 5> kVoices{{
    {"slt", "SLT (US English, female)", register_cmu_us_slt},
    {"rms", "RMS (US English, male)", register_cmu_us_rms},
    {"awb", "AWB (Scottish English, male)", register_cmu_us_awb},
    {"kal16", "Kal (US English, male)", register_cmu_us_kal16},
    {"kal", "Kal 8 kHz (US English, male, telephone quality)", register_cmu_us_kal},
}};

// flite keeps global state (its language tables, the registered voices) and is not safe to run
// from two threads at once; every use goes through this lock.
std::mutex& fliteMutex() {
    static std::mutex mutex;
    return mutex;
}

// Voices are registered once per process and live as long as it does: flite's registration sets
// up shared tables that unregistering one voice would not take down cleanly.
cst_voice* voiceFor(const FliteVoiceEntry& entry) {
    static bool initialised = false;
    static std::array<cst_voice*, kVoices.size()> registered{};
    if (!initialised) {
        flite_init();
        initialised = true;
    }
    const auto index = static_cast<std::size_t>(&entry - kVoices.data());
    if (!registered[index]) registered[index] = entry.registerVoice(nullptr);
    return registered[index];
}

struct WaveDeleter {
    void operator()(cst_wave* wave) const { delete_wave(wave); }
};

}  // namespace

FliteVoiceProvider::FliteVoiceProvider() = default;
FliteVoiceProvider::~FliteVoiceProvider() = default;

std::vector<ELVoice> FliteVoiceProvider::voices(std::stop_token) {
    std::vector<ELVoice> voices;
    for (const auto& entry : kVoices) {
        voices.push_back({std::string(entry.id), std::string(entry.name), std::string("On this computer")});
    }
    return voices;
}

std::string FliteVoiceProvider::synthesize(const std::string& text, const std::string& voiceID,
                                           const std::string& modelID, std::stop_token stop) {
    if (!modelID.empty() && modelID != kModel) {
        throw VoiceProviderError::apiError("The local voice has no model \"" + modelID + "\"; use \"flite\".");
    }
    const std::string_view wanted = voiceID.empty() ? kDefaultVoice : std::string_view(voiceID);
    const FliteVoiceEntry* entry = nullptr;
    for (const auto& candidate : kVoices) {
        if (candidate.id == wanted) entry = &candidate;
    }
    if (!entry) throw VoiceProviderError::apiError("The local voice \"" + std::string(wanted) + "\" does not exist.");
    if (text.find_first_not_of(" \t\r\n") == std::string::npos) {
        throw VoiceProviderError::apiError("Write a script first.");
    }
    if (stop.stop_requested()) throw VoiceProviderError::apiError("The voiceover was cancelled.");

    std::unique_ptr<cst_wave, WaveDeleter> wave;
    {
        std::lock_guard lock(fliteMutex());
        cst_voice* voice = voiceFor(*entry);
        if (!voice)
            throw VoiceProviderError::apiError("The local voice \"" + std::string(wanted) + "\" could not load.");
        wave.reset(flite_text_to_wave(text.c_str(), voice));
    }
    if (!wave || wave->num_samples <= 0 || wave->num_channels <= 0) {
        throw VoiceProviderError::apiError("The local voice produced no sound for this script.");
    }
    const auto frames = static_cast<std::size_t>(wave->num_samples);
    const auto channels = static_cast<std::size_t>(wave->num_channels);
    std::vector<float> samples(frames * channels);
    for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<float>(wave->samples[i]) / 32768.0f;
    return encodeWav(samples.data(), frames, wave->sample_rate, wave->num_channels);
}

}  // namespace orvane
