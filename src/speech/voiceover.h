#pragma once

// The voiceover panel's state and its flows: loading a provider's voices, generating narration
// from the script (through a provider, or the hosted voiceover of the signed-in account), and
// having the backend write the script.

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "base/executor.h"
#include "base/signal.h"
#include "speech/voice_provider.h"

namespace orvane {

class RemoteAPIClient;
class VoiceProviderRegistry;
struct HostedAIRequest;

enum class HostedAILength { concise, standard, verbose };
enum class HostedAIAudience { technical, nonTechnical };
enum class HostedAIStyle { conciseNoAdjectives, standard, flowery };
std::string_view rawValue(HostedAILength length);
std::string_view rawValue(HostedAIAudience audience);
std::string_view rawValue(HostedAIStyle style);

// The two voices of the hosted voiceover (category "Orvane Hosted"), Sarah first.
const std::vector<ELVoice>& hostedVoices();
inline constexpr std::string_view kHostedDefaultModel = "eleven_flash_v2_5";

struct VoiceoverState {
    std::string script;
    VoiceProviderKind providerKind = VoiceProviderKind::local;
    std::string customEndpoint;
    std::vector<ELVoice> voices;
    std::string selectedVoiceID;
    std::string selectedModelID = "eleven_multilingual_v2";
    std::string hostedScriptProvider = "openai";
    std::optional<std::string> hostedScriptModelID;
    HostedAILength length = HostedAILength::standard;
    HostedAIAudience audience = HostedAIAudience::technical;
    HostedAIStyle style = HostedAIStyle::standard;
    bool isLoadingVoices = false;
    bool isGenerating = false;
    bool isGeneratingScript = false;
    double generationProgress = 0;
    std::optional<std::string> audioData;
    std::optional<std::filesystem::path> audioURL;
    std::optional<std::string> errorMessage;
    // Set with errorMessage when a provider's key is missing: the keychain account to fill.
    std::optional<std::string> missingKeyAccount;
};

// What the hosted voiceover and script generation need: whether an account is signed in, the
// backend client, and what is known about the video.
struct HostedVoiceServices {
    std::function<bool()> isSignedIn;
    std::shared_ptr<RemoteAPIClient> api;
    std::optional<std::string> videoID, teamID, clientVideoID;
    std::optional<double> durationSeconds;
};

// Runs the panel's flows. A main-loop object: its methods and `changed` run on `main`; provider
// and backend calls run on `background` and post their results back. Results that arrive after
// the controller is gone are dropped.
class VoiceoverController {
public:
    VoiceoverController(VoiceoverState initial, VoiceProviderRegistry& registry, HostedVoiceServices hosted,
                        Executor& main, Executor& background, std::filesystem::path temporaryFolder);
    ~VoiceoverController();
    VoiceoverController(const VoiceoverController&) = delete;
    VoiceoverController& operator=(const VoiceoverController&) = delete;

    const VoiceoverState& state() const { return state_; }
    // Changes the state directly (the panel's fields); notifies once.
    void update(const std::function<void(VoiceoverState&)>& change);

    void loadVoices(bool force);
    void generate();
    void generateScript();
    // Abandons a running request; its result is then an error that says so.
    void cancel() { stop_.request_stop(); }

    Signal<> changed;

private:
    void finishGeneration(std::optional<std::string> bytes, std::string extension, std::optional<std::string> error);

    VoiceoverState state_;
    VoiceProviderRegistry& registry_;
    HostedVoiceServices hosted_;
    Executor& main_;
    Executor& background_;
    std::filesystem::path temporaryFolder_;
    std::stop_source stop_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// The request the hosted voiceover and script calls send for the panel's state.
HostedAIRequest hostedRequest(const VoiceoverState& state, const HostedVoiceServices& hosted, bool voiceover);

// Base64 (standard alphabet, padding optional, whitespace ignored) to bytes; nothing when it is not Base64.
std::optional<std::string> base64Decode(std::string_view text);

}  // namespace orvane
