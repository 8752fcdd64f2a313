#include <unistd.h>
#include <CLI/CLI.hpp>

#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "app/preference_adapters.h"
#include "app/preferences.h"
#include "app/services.h"
#include "base/event_loop.h"
#include "cli/command_error.h"
#include "cli/commands.h"
#include "cli/output.h"
#include "cloud/auth_store.h"
#include "editor/editor_session.h"
#include "platform/linux/stop_signals.h"
#include "speech/flite_voice_provider.h"
#include "speech/service_errors.h"
#include "speech/voice_provider_registry.h"
#include "speech/voice_recorder.h"
#include "speech/voiceover.h"
#include "speech/voiceover_clip.h"

namespace orvane::cli {

namespace {

// The longest microphone voiceover one command records.
constexpr double kMaxRecordSeconds = 3600;

const char* kProviderHelp = "local, zantHosted, elevenLabs, cartesia, openai or custom";

VoiceProviderKind providerKind(app::Services& services, const std::string& raw) {
    if (raw.empty()) return services.voiceProviders().preferredKind();
    // The lower-case spellings are accepted too, as typed on a command line.
    for (auto kind : {VoiceProviderKind::zantHosted, VoiceProviderKind::elevenLabs, VoiceProviderKind::cartesia,
                      VoiceProviderKind::openai, VoiceProviderKind::custom, VoiceProviderKind::local}) {
        std::string value(rawValue(kind));
        std::string lower;
        for (char c : value) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (raw == value || raw == lower || (kind == VoiceProviderKind::zantHosted && raw == "hosted")) return kind;
    }
    throw CommandFailed(kUsage, "Unknown voice provider " + raw + " (one of: " + kProviderHelp + ").");
}

std::string withKeyHint(const std::string& message, const std::optional<std::string>& account) {
    if (!account) return message;
    return message + " Run `" + setKeyHint(*account) + "`.";
}

nlohmann::json voiceJson(const ELVoice& voice) {
    nlohmann::json json{{"voice_id", voice.voice_id}, {"name", voice.name}};
    if (voice.category) json["category"] = *voice.category;
    return json;
}

// Ctrl-C during a voiceover: whatever is running now is told to stop. Made before any worker
// thread (the sound server's, the provider queue), so the signal reaches the main loop only.
struct Interrupts {
    explicit Interrupts(EventLoop& loop)
        : signals(loop, [this] {
              std::fprintf(stderr, "Cancelling...\n");
              if (cancel) cancel();
          }) {}
    std::function<void()> cancel;
    StopSignals signals;
};

// Runs the main loop until `done` answers true after a change; Ctrl-C calls `cancel`.
void runUntil(app::Services& services, Interrupts& interrupts, Signal<>& changed, const std::function<bool()>& done,
              const std::function<void()>& cancel) {
    auto& loop = services.mainLoop();
    if (done()) return;
    interrupts.cancel = cancel;
    auto subscription = changed.subscribe([&] {
        if (done()) loop.stop();
    });
    loop.run();
    interrupts.cancel = nullptr;
}

HostedVoiceServices hostedServices(app::Services& services, const RecordingMeta& meta) {
    HostedVoiceServices hosted;
    auto* auth = &services.auth();
    hosted.isSignedIn = [auth] {
        auth->bootstrap();
        return auth->user().has_value();
    };
    hosted.api = services.remoteAPI();
    hosted.videoID = meta.remoteVideoID;
    hosted.clientVideoID = meta.id.string();
    if (meta.durationMs > 0) hosted.durationSeconds = static_cast<double>(meta.durationMs) / 1000.0;
    return hosted;
}

void registerVoicesCommand(CLI::App& app, app::Services& services) {
    struct Options {
        std::string provider;
        bool json = false;
    };
    auto o = std::make_shared<Options>();
    auto* voices = app.add_subcommand("voices", "List the voices and models of a voiceover provider");
    voices->add_option("--provider", o->provider,
                       std::string("Provider: ") + kProviderHelp + " (default: the zantVoiceProviderKind preference)");
    voices->add_flag("--json", o->json, "Print JSON");
    voices->callback([&services, o] {
        const auto kind = providerKind(services, o->provider);
        auto provider = services.voiceProviders().provider(kind);
        std::vector<ELVoice> list;
        std::vector<ELModel> models;
        if (kind == VoiceProviderKind::zantHosted) {
            list = hostedVoices();
            models = {{std::string(kHostedDefaultModel), "Flash (included)"},
                      {"eleven_multilingual_v2", "Multilingual v2 (premium)"}};
        } else {
            try {
                list = provider->voices();
            } catch (const VoiceProviderError& e) {
                throw CommandFailed(kFailure, withKeyHint(e.what(), e.missingKeyAccount()));
            } catch (const HttpCancelled& e) {
                throw CommandFailed(kFailure, e.what());
            }
            models = provider->models();
        }
        if (o->json) {
            nlohmann::json out{
                {"provider", rawValue(kind)}, {"voices", nlohmann::json::array()}, {"models", nlohmann::json::array()}};
            for (const auto& voice : list) out["voices"].push_back(voiceJson(voice));
            for (const auto& model : models) out["models"].push_back({{"id", model.id}, {"name", model.name}});
            printJson(out);
            return;
        }
        if (list.empty()) {
            std::printf("%s lists no voices; pass the voice id with --voice.\n", provider->name().c_str());
        } else {
            std::vector<std::vector<std::string>> rows{{"VOICE", "NAME", "CATEGORY"}};
            for (const auto& voice : list) rows.push_back({voice.voice_id, voice.name, voice.category.value_or("")});
            printTable(rows);
        }
        std::printf("\nModels:");
        for (const auto& model : models) std::printf(" %s", model.id.c_str());
        std::printf("\n");
    });
}

std::string readScript(const std::string& text, const std::string& file) {
    if (file.empty()) return text;
    std::ifstream in(file, std::ios::binary);
    if (!in) throw CommandFailed(kNotFound, "Couldn't read the script file " + file + ".");
    std::ostringstream contents;
    contents << in.rdbuf();
    return contents.str();
}

// The generated or recorded file placed at `at` and the edit saved; the temporary file goes.
void placeAndSave(EditorSession& session, const std::filesystem::path& file, double at, const std::string& label,
                  std::optional<std::string> script, const nlohmann::json& extra, bool json) {
    AudioClip clip;
    try {
        clip = placeVoiceoverClip(session.state(), session.folder().directory, file, at, label, std::move(script));
    } catch (const VoiceoverPlacementError& e) {
        throw CommandFailed(kFailure, e.what());
    }
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
    std::string reason;
    if (!session.save(&reason)) {
        std::filesystem::remove(clip.path, ignored);
        throw CommandFailed(kFailure, "Couldn't save the edit to " + session.folder().sidecarFile().string() +
                                          (reason.empty() ? "" : ": " + reason));
    }
    if (json) {
        nlohmann::json out = extra;
        out["clip"] = {{"id", clip.id.string()},
                       {"startTime", clip.startTime},
                       {"duration", clip.duration},
                       {"file", clip.path.filename().string()},
                       {"label", clip.label}};
        printJson(out);
    } else {
        std::printf("Added \"%s\" at %.2f s (%.2f s long): %s\n", clip.label.c_str(), clip.startTime, clip.duration,
                    clip.path.filename().string().c_str());
    }
}

void registerVoiceoverCommand(CLI::App& app, app::Services& services) {
    struct Options {
        std::string id, text, scriptFile, provider, voice, model;
        double at = 0;
        bool record = false;
        std::optional<double> duration;
        bool json = false;
    };
    auto o = std::make_shared<Options>();
    auto* voiceover =
        app.add_subcommand("voiceover", "Add narration to a recording: synthesised from text, or recorded");
    voiceover->add_option("ID", o->id, "Recording id or unique prefix")->required();
    auto* text = voiceover->add_option("--text", o->text, "The script to speak");
    auto* scriptFile = voiceover->add_option("--script-file", o->scriptFile, "A file holding the script");
    auto* record = voiceover->add_flag("--record", o->record, "Record your own voice from the microphone instead");
    text->excludes(scriptFile)->excludes(record);
    scriptFile->excludes(record);
    voiceover->add_option("--provider", o->provider, std::string("Provider: ") + kProviderHelp);
    voiceover->add_option("--voice", o->voice, "Voice id (see orvane voices)");
    voiceover->add_option("--model", o->model, "Model id (see orvane voices)");
    voiceover->add_option("--at", o->at, "Output time in seconds where the clip starts (default 0)")
        ->check(CLI::NonNegativeNumber);
    voiceover->add_option("--duration", o->duration, "With --record: seconds to record (default: until Ctrl-C)")
        ->check(CLI::Range(0.1, kMaxRecordSeconds));
    voiceover->add_flag("--json", o->json, "Print JSON");
    voiceover->callback([&services, o] {
        if (!o->record && o->text.empty() && o->scriptFile.empty()) {
            throw CommandFailed(kUsage, "Give the script with --text or --script-file, or record with --record.");
        }
        Interrupts interrupts(services.mainLoop());
        auto& library = services.library();
        const auto& meta = library.find(o->id);
        EditorSession session(library.folderOf(meta.id), meta, editorSettings(services.preferences()),
                              EditorSession::Access::edit);
        warnIfSavedEditUnreadable(session);
        const auto temporary = std::filesystem::temp_directory_path();

        if (o->record) {
            auto& audio = services.soundServer();
            VoiceRecorder recorder(audio, services.mainLoop(), temporary);
            const auto microphone = services.preferences().defaultMicrophoneID();
            if (!recorder.start(microphone.empty() ? std::nullopt : std::optional(microphone))) {
                throw CommandFailed(kFailure, "Couldn't record your voice: " + recorder.errorMessage().value_or(""));
            }
            const bool terminal = ::isatty(STDERR_FILENO) == 1;
            std::fprintf(stderr, o->duration ? "Recording for %.1f s...\n" : "Recording... press Ctrl-C to stop.\n",
                         o->duration.value_or(0));
            bool finished = false;
            TimerHandle timer;
            if (o->duration) {
                timer = services.mainLoop().postAfter(
                    std::chrono::duration_cast<Duration>(std::chrono::duration<double>(*o->duration)), [&] {
                        finished = true;
                        recorder.changed.emit();
                    });
            }
            auto meter = recorder.changed.subscribe([&] {
                if (!terminal) return;
                const int bars = static_cast<int>(recorder.level() * 30);
                std::fprintf(stderr, "\r\033[K[%-30s]", std::string(static_cast<std::size_t>(bars), '#').c_str());
                std::fflush(stderr);
            });
            runUntil(
                services, interrupts, recorder.changed, [&] { return finished; },
                [&] {
                    finished = true;
                    recorder.changed.emit();
                });
            timer.cancel();
            if (terminal) std::fprintf(stderr, "\n");
            const auto file = recorder.stop();
            if (!file) {
                throw CommandFailed(kFailure,
                                    "Couldn't record your voice: " +
                                        recorder.errorMessage().value_or("the microphone delivered no sound."));
            }
            placeAndSave(session, *file, o->at, std::string(kRecordedVoiceLabel), std::nullopt,
                         {{"provider", "microphone"}}, o->json);
            return;
        }

        const auto script = readScript(o->text, o->scriptFile);
        const auto kind = providerKind(services, o->provider);
        auto& registry = services.voiceProviders();
        VoiceoverState initial;
        initial.script = script;
        initial.providerKind = kind;
        initial.customEndpoint = registry.customEndpoint();
        initial.selectedVoiceID = o->voice;
        if (kind == VoiceProviderKind::zantHosted) {
            initial.selectedModelID = o->model.empty() ? std::string(kHostedDefaultModel) : o->model;
        } else {
            auto provider = registry.provider(kind);
            initial.selectedModelID = o->model.empty() ? provider->defaultModel() : o->model;
            if (initial.selectedVoiceID.empty() && kind == VoiceProviderKind::local) {
                initial.selectedVoiceID = std::string(FliteVoiceProvider::kDefaultVoice);
            }
        }

        SerialQueue background("orvane.voice");
        VoiceoverController controller(initial, registry, hostedServices(services, meta), services.mainLoop(),
                                       background, temporary);
        // Without a voice given, the provider's first voice is used, as the panel selects it.
        if (controller.state().selectedVoiceID.empty() && !controller.state().script.empty()) {
            controller.loadVoices(true);
            runUntil(
                services, interrupts, controller.changed, [&] { return !controller.state().isLoadingVoices; },
                [&] { controller.cancel(); });
            if (const auto& error = controller.state().errorMessage) {
                throw CommandFailed(kFailure, "Couldn't list the voices: " + *error);
            }
            if (!controller.state().voices.empty()) {
                controller.update([](VoiceoverState& s) { s.selectedVoiceID = s.voices.front().voice_id; });
            }
        }
        controller.generate();
        runUntil(
            services, interrupts, controller.changed, [&] { return !controller.state().isGenerating; },
            [&] { controller.cancel(); });
        const auto& state = controller.state();
        if (state.errorMessage || !state.audioURL) {
            throw CommandFailed(
                kFailure, "Couldn't generate the voiceover: " +
                              withKeyHint(state.errorMessage.value_or("no audio was made."), state.missingKeyAccount));
        }
        placeAndSave(session, *state.audioURL, o->at, std::string(kGeneratedVoiceLabel), script,
                     {{"provider", rawValue(kind)}, {"voice", state.selectedVoiceID}, {"model", state.selectedModelID}},
                     o->json);
    });
}

}  // namespace

void registerVoiceCommands(CLI::App& app, app::Services& services) {
    registerVoicesCommand(app, services);
    registerVoiceoverCommand(app, services);
}

}  // namespace orvane::cli
