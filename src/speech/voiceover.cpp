#include "speech/voiceover.h"

#include <algorithm>

#include "base/atomic_file.h"
#include "base/log.h"
#include "base/log_areas.h"
#include "base/uuid.h"
#include "cloud/remote_api_client.h"
#include "net/http_transport.h"
#include "speech/voice_provider_registry.h"

namespace orvane {

std::string_view rawValue(HostedAILength length) {
    switch (length) {
        case HostedAILength::concise: return "concise";
        case HostedAILength::standard: return "default";
        case HostedAILength::verbose: return "verbose";
    }
    return "default";
}

std::string_view rawValue(HostedAIAudience audience) {
    return audience == HostedAIAudience::nonTechnical ? "non_technical" : "technical";
}

std::string_view rawValue(HostedAIStyle style) {
    switch (style) {
        case HostedAIStyle::conciseNoAdjectives: return "concise_no_adjectives";
        case HostedAIStyle::standard: return "default";
        case HostedAIStyle::flowery: return "flowery";
    }
    return "default";
}

const std::vector<ELVoice>& hostedVoices() {
    static const std::vector<ELVoice> voices{{"EXAVITQu4vr4xnSDxMaL", "Sarah", "Orvane Hosted"},
                                             {"21m00Tcm4TlvDq8ikWAM", "Rachel", "Orvane Hosted"}};
    return voices;
}

std::optional<std::string> base64Decode(std::string_view text) {
    auto value = [](char c) -> int {
        if (c >= 'A' && c <= 'Z') return c - 'A';
        if (c >= 'a' && c <= 'z') return c - 'a' + 26;
        if (c >= '0' && c <= '9') return c - '0' + 52;
        if (c == '+') return 62;
        if (c == '/') return 63;
        return -1;
    };
    std::string out;
    out.reserve(text.size() * 3 / 4);
    std::uint32_t buffer = 0;
    int bits = 0;
    bool padding = false;
    for (const char c : text) {
        if (c == ' ' || c == '\n' || c == '\r' || c == '\t') continue;
        if (c == '=') {
            padding = true;
            continue;
        }
        const int v = value(c);
        if (v < 0 || padding) return std::nullopt;
        buffer = (buffer << 6) | static_cast<std::uint32_t>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((buffer >> bits) & 0xFF);
        }
    }
    // A single leftover character carries fewer than 8 bits: not Base64.
    if (bits >= 6) return std::nullopt;
    return out;
}

HostedAIRequest hostedRequest(const VoiceoverState& state, const HostedVoiceServices& hosted, bool voiceover) {
    HostedAIRequest request;
    if (voiceover) {
        request.voiceID = state.selectedVoiceID;
        request.text = state.script;
        if (!state.selectedModelID.empty()) request.modelID = state.selectedModelID;
    } else {
        request.provider = state.hostedScriptProvider;
        request.modelID = state.hostedScriptModelID;
    }
    request.length = std::string(rawValue(state.length));
    request.audience = std::string(rawValue(state.audience));
    request.style = std::string(rawValue(state.style));
    request.videoID = hosted.videoID;
    request.teamID = hosted.teamID;
    request.clientVideoID = hosted.clientVideoID;
    request.durationSeconds = hosted.durationSeconds;
    return request;
}

VoiceoverController::VoiceoverController(VoiceoverState initial, VoiceProviderRegistry& registry,
                                         HostedVoiceServices hosted, Executor& main, Executor& background,
                                         std::filesystem::path temporaryFolder)
    : state_(std::move(initial)),
      registry_(registry),
      hosted_(std::move(hosted)),
      main_(main),
      background_(background),
      temporaryFolder_(std::move(temporaryFolder)) {}

VoiceoverController::~VoiceoverController() {
    *alive_ = false;
    stop_.request_stop();
}

void VoiceoverController::update(const std::function<void(VoiceoverState&)>& change) {
    change(state_);
    changed.emit();
}

void VoiceoverController::loadVoices(bool force) {
    if (state_.providerKind == VoiceProviderKind::zantHosted) {
        const auto& voices = hostedVoices();
        state_.voices = voices;
        const bool known = std::any_of(voices.begin(), voices.end(),
                                       [&](const ELVoice& v) { return v.voice_id == state_.selectedVoiceID; });
        if (state_.selectedVoiceID.empty() || !known) state_.selectedVoiceID = voices.front().voice_id;
        if (state_.selectedModelID.empty()) state_.selectedModelID = std::string(kHostedDefaultModel);
        changed.emit();
        return;
    }
    if (force) {
        state_.voices.clear();
    } else if (!state_.voices.empty()) {
        return;
    }
    state_.isLoadingVoices = true;
    if (stop_.stop_requested()) stop_ = std::stop_source();
    changed.emit();

    auto provider = registry_.provider(state_.providerKind);
    background_.post([this, provider, alive = std::weak_ptr<bool>(alive_), stop = stop_.get_token()] {
        std::vector<ELVoice> voices;
        std::optional<std::string> error;
        try {
            voices = provider->voices(stop);
        } catch (const std::exception& e) {
            error = e.what();
        }
        main_.post([this, alive, voices = std::move(voices), error = std::move(error)]() mutable {
            const auto living = alive.lock();
            if (!living || !*living) return;
            if (error) {
                state_.errorMessage = *error;
            } else {
                state_.voices = std::move(voices);
            }
            state_.isLoadingVoices = false;
            changed.emit();
        });
    });
}

void VoiceoverController::generate() {
    // Checked in this order so an empty script is reported even when no voice is picked.
    if (state_.script.empty()) {
        state_.errorMessage = "Write a script first.";
        changed.emit();
        return;
    }
    if (state_.selectedVoiceID.empty()) {
        state_.errorMessage = "Pick a voice first.";
        changed.emit();
        return;
    }
    // A cancel ends the runs it was meant for, not the next one.
    if (stop_.stop_requested()) stop_ = std::stop_source();
    state_.isGenerating = true;
    state_.generationProgress = 0;
    state_.errorMessage.reset();
    state_.audioData.reset();
    state_.audioURL.reset();

    state_.missingKeyAccount.reset();
    std::function<std::pair<std::string, std::string>(std::stop_token)> work;
    if (state_.providerKind == VoiceProviderKind::zantHosted) {
        if (!hosted_.isSignedIn || !hosted_.isSignedIn() || !hosted_.api) {
            state_.isGenerating = false;
            state_.errorMessage = "Sign in to use Orvane Hosted voiceover.";
            changed.emit();
            return;
        }
        work = [api = hosted_.api, request = hostedRequest(state_, hosted_, true)](std::stop_token stop) {
            const auto response = api->aiVoiceover(request, stop);
            auto bytes = base64Decode(response.audioBase64);
            if (!bytes || bytes->empty()) throw std::runtime_error("The hosted voiceover sent no audio.");
            return std::pair<std::string, std::string>(std::move(*bytes), "mp3");
        };
    } else {
        work = [provider = registry_.provider(state_.providerKind), script = state_.script,
                voice = state_.selectedVoiceID, model = state_.selectedModelID](std::stop_token stop) {
            auto bytes = provider->synthesize(script, voice, model, stop);
            if (bytes.empty()) throw VoiceProviderError::apiError(provider->name() + " sent no audio.");
            return std::pair<std::string, std::string>(std::move(bytes), provider->audioExtension());
        };
    }
    changed.emit();

    background_.post([this, work = std::move(work), alive = std::weak_ptr<bool>(alive_), stop = stop_.get_token()] {
        std::optional<std::string> bytes;
        std::string extension;
        std::optional<std::string> error;
        std::optional<std::string> missingKey;
        try {
            auto [audio, ext] = work(stop);
            bytes = std::move(audio);
            extension = std::move(ext);
        } catch (const HttpCancelled&) {
            error = "The voiceover was cancelled.";
        } catch (const VoiceProviderError& e) {
            error = e.what();
            missingKey = e.missingKeyAccount();
        } catch (const std::exception& e) {
            error = e.what();
        }
        main_.post([this, alive, bytes = std::move(bytes), extension = std::move(extension), error = std::move(error),
                    missingKey = std::move(missingKey)]() mutable {
            const auto living = alive.lock();
            if (!living || !*living) return;
            state_.missingKeyAccount = std::move(missingKey);
            finishGeneration(std::move(bytes), std::move(extension), std::move(error));
        });
    });
}

void VoiceoverController::finishGeneration(std::optional<std::string> bytes, std::string extension,
                                           std::optional<std::string> error) {
    if (bytes) {
        const auto file = temporaryFolder_ / ("zant_voiceover_" + Uuid::random().string() + "." + extension);
        try {
            writeFileAtomically(file, *bytes);
            state_.audioURL = file;
        } catch (const std::exception& e) {
            state_.errorMessage = e.what();
        }
        state_.audioData = std::move(bytes);
        state_.generationProgress = 1;
    } else {
        state_.errorMessage = std::move(error);
        log::warning(log_area::kVoice, "voiceover failed: %s", state_.errorMessage.value_or("").c_str());
    }
    state_.isGenerating = false;
    changed.emit();
}

void VoiceoverController::generateScript() {
    if (!hosted_.isSignedIn || !hosted_.isSignedIn() || !hosted_.api) {
        state_.errorMessage = "Sign in to use Orvane Hosted script generation.";
        changed.emit();
        return;
    }
    state_.isGeneratingScript = true;
    state_.errorMessage.reset();
    if (stop_.stop_requested()) stop_ = std::stop_source();
    changed.emit();
    background_.post([this, api = hosted_.api, request = hostedRequest(state_, hosted_, false),
                      alive = std::weak_ptr<bool>(alive_), stop = stop_.get_token()] {
        std::optional<std::string> script;
        std::optional<std::string> error;
        try {
            script = api->aiScript(request, stop).script;
        } catch (const std::exception& e) {
            error = e.what();
        }
        main_.post([this, alive, script = std::move(script), error = std::move(error)]() mutable {
            const auto living = alive.lock();
            if (!living || !*living) return;
            if (script) state_.script = std::move(*script);
            if (error) state_.errorMessage = std::move(error);
            state_.isGeneratingScript = false;
            changed.emit();
        });
    });
}

}  // namespace orvane
