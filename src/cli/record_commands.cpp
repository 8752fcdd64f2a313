#include <CLI/CLI.hpp>
#include <pthread.h>
#include <signal.h>

#include <cmath>
#include <cstdio>
#include <optional>
#include <thread>

#include "base/log.h"
#include "cli/cli_context.h"
#include "cli/command_error.h"
#include "cli/commands.h"
#include "cli/output.h"
#include "platform/linux/json_preferences_store.h"
#include "platform/preferences.h"
#include "platform/pulse/pulse_audio_system.h"
#include "platform/x11/x11_pointer_source.h"
#include "platform/v4l2/v4l2_camera_system.h"
#include "platform/x11/x11_screen_capture.h"
#include "platform/xdg_paths.h"
#include "recording/alpha_probe_memo.h"
#include "recording/screen_movie_writer.h"
#include "recording/screen_recorder.h"
#include "recording/side_track_starters.h"
#include "recording/system_audio_capture.h"

namespace orvane::cli {

namespace {

constexpr const char* kArea = "Orvane.CLI";

std::string sizeText(int width, int height) { return std::to_string(width) + "x" + std::to_string(height); }

std::string kindText(const RecordingSource& source) { return std::string(rawValue(sourceKind(source))); }

nlohmann::json sourceJson(const RecordingSource& source) {
    nlohmann::json json{{"id", sourceID(source)}, {"kind", kindText(source)}, {"title", sourceTitle(source)}};
    if (const auto* d = std::get_if<DisplaySource>(&source)) {
        json["width"] = d->width;
        json["height"] = d->height;
        json["x"] = d->frame.x;
        json["y"] = d->frame.y;
    } else if (const auto* w = std::get_if<WindowSource>(&source)) {
        json["width"] = w->width;
        json["height"] = w->height;
        json["x"] = w->frame.x;
        json["y"] = w->frame.y;
        json["appName"] = w->appName;
        if (w->bundleIdentifier) json["bundleIdentifier"] = *w->bundleIdentifier;
        if (w->processID) json["processID"] = *w->processID;
    } else if (const auto* a = std::get_if<ApplicationSource>(&source)) {
        json["displayID"] = "display:" + std::to_string(a->displayID);
        json["windowCount"] = a->windowIDs.size();
        if (a->bundleIdentifier) json["bundleIdentifier"] = *a->bundleIdentifier;
    }
    return json;
}

std::vector<RecordingSource> allSources(const SourceCatalogSnapshot& snapshot) {
    std::vector<RecordingSource> sources(snapshot.displays.begin(), snapshot.displays.end());
    sources.insert(sources.end(), snapshot.windows.begin(), snapshot.windows.end());
    sources.insert(sources.end(), snapshot.applications.begin(), snapshot.applications.end());
    return sources;
}

SourceCatalogSnapshot loadCatalog(ScreenCaptureSystem& capture) {
    try {
        return buildSourceCatalog(capture.shareableContent(), false);
    } catch (const std::exception& e) {
        throw std::runtime_error(std::string("Could not load sources: ") + e.what());
    }
}

void printSources(const SourceCatalogSnapshot& snapshot, bool json) {
    const auto sources = allSources(snapshot);
    if (json) {
        auto array = nlohmann::json::array();
        for (const auto& source : sources) array.push_back(sourceJson(source));
        printJson(array);
        return;
    }
    std::vector<std::vector<std::string>> rows{{"ID", "KIND", "SIZE", "TITLE"}};
    for (const auto& source : sources) {
        std::string size = "-";
        if (const auto* d = std::get_if<DisplaySource>(&source)) size = sizeText(d->width, d->height);
        if (const auto* w = std::get_if<WindowSource>(&source)) size = sizeText(w->width, w->height);
        std::string title = sourceTitle(source);
        if (const auto* w = std::get_if<WindowSource>(&source); w && !w->title.empty()) title += " (" + w->appName + ")";
        rows.push_back({sourceID(source), kindText(source), size, title});
    }
    printTable(rows);
}

// Ctrl-C and SIGTERM end the recording cleanly: the signals are blocked in every thread and one
// thread waits for them and hands the stop to the main loop, so nothing runs inside a handler.
class StopSignals {
public:
    explicit StopSignals(std::function<void()> onSignal) {
        sigemptyset(&set_);
        sigaddset(&set_, SIGINT);
        sigaddset(&set_, SIGTERM);
        sigaddset(&set_, SIGUSR2);  // our own wake-up at the end
        pthread_sigmask(SIG_BLOCK, &set_, &previous_);
        thread_ = std::thread([this, onSignal = std::move(onSignal)] {
            for (;;) {
                int received = 0;
                if (sigwait(&set_, &received) != 0 || received == SIGUSR2) return;
                onSignal();
            }
        });
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;
    ~StopSignals() {
        pthread_kill(thread_.native_handle(), SIGUSR2);
        thread_.join();
        pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }

private:
    sigset_t set_{};
    sigset_t previous_{};
    std::thread thread_;
};

struct RecordArguments {
    std::string sourceID;
    double duration = 0;
    bool systemAudio = false;
    bool microphone = false;
    bool webcam = false;
    std::string cursorMode;
    bool json = false;
};

void record(CliContext& context, const RecordArguments& arguments) {
    if (arguments.duration < 0 || !std::isfinite(arguments.duration)) {
        throw CommandFailed(kUsage, "--duration must be a positive number of seconds");
    }
    // Block the stop signals before any thread starts, so each one inherits the mask.
    EventLoop& loop = context.mainLoop();
    ScreenRecorder* running = nullptr;
    StopSignals signals([&loop, &running] {
        loop.post([&running] {
            if (running) running->stop();
        });
    });

    X11ScreenCapture capture;
    const auto snapshot = loadCatalog(capture);
    JsonPreferencesStore store;
    Preferences preferences(store);
    std::optional<RecordingSource> source;
    if (!arguments.sourceID.empty()) {
        source = findSource(snapshot, arguments.sourceID);
        if (!source) {
            throw CommandFailed(kNotFound,
                                "No recording source matches \"" + arguments.sourceID + "\" (see `orvane sources`)");
        }
    } else {
        source = defaultSource(snapshot, preferences.lastUsedSourceID());
        if (!source) throw CommandFailed(kNotFound, "No matching recording source was available.");
    }

    // Devices are recorded only when asked for on the command line, whatever the desktop defaults say.
    auto options = optionsFromPreferences(preferences);
    options.includeSystemAudio = arguments.systemAudio;
    options.includeMicrophone = arguments.microphone;
    options.includeWebcam = arguments.webcam;
    if (!arguments.cursorMode.empty()) applyCursorMode(options, arguments.cursorMode, preferences);

    RecordingLibrary& library = context.library();
    VolumeFreeSpace freeSpace(library.location().recordingsRoot);
    X11PointerSource pointer;
    SerialQueue cursorQueue("orvane.cursor");
    ScreenRecorderServices services(loop, context.toasts(), capture, freeSpace);
    services.pointer = &pointer;
    services.cursorQueue = &cursorQueue;
    services.alphaProbe = [](int fps) {
        return alphaWriterUsable(XdgPaths::orvaneCacheFolder() / "alpha-probe.json", fps, [fps] {
            std::error_code error;
            const auto folder = std::filesystem::temp_directory_path(error);
            if (error) return AlphaProbeResult{false, 0, "no temporary folder: " + error.message()};
            return probeAlphaWriter(folder, fps);
        });
    };

    std::unique_ptr<AudioSystem> audio;
    if (options.includeSystemAudio || options.includeMicrophone || options.includeWebcam) {
        try {
            audio = makePulseAudioSystem();
        } catch (const std::exception& e) {
            // System audio is part of the screen movie, so without a sound server it cannot start; the
            // side tracks go on without it and say so.
            if (options.includeSystemAudio) {
                throw CommandFailed(kFailure, std::string("System audio is unavailable: ") + e.what());
            }
            log::warning(kArea, "no sound server: %s", e.what());
        }
    }
    if (audio) {
        AudioSystem* sound = audio.get();
        services.systemAudio = [sound] { return std::make_unique<SystemAudioCapture>(*sound); };
        if (options.includeMicrophone) {
            services.microphone =
                makeMicrophoneTrackStarter(*sound, resolveMicrophone(*sound, preferences.defaultMicrophoneID()));
        }
    }
    std::unique_ptr<CameraSystem> cameras;
    if (options.includeWebcam) {
        cameras = makeV4l2CameraSystem();
        if (auto device = resolveCamera(*cameras, preferences.defaultCameraID())) {
            // Without a separate microphone track the face-camera file carries the voice.
            const bool withVoice = !options.includeMicrophone && audio;
            std::optional<std::string> microphone;
            if (audio) microphone = resolveMicrophone(*audio, preferences.defaultMicrophoneID());
            services.faceCamera = makeFaceCameraTrackStarter(*cameras, audio.get(), *device, withVoice, microphone);
        }
    }

    ScreenRecorder recorder(services);
    running = &recorder;
    std::optional<RecordingSession> finished;
    std::string failure;
    TimerHandle durationTimer;
    auto subscription = recorder.observeState([&](const ScreenRecorder::State& state) {
        switch (state.phase) {
            case ScreenRecorder::Phase::recording:
                std::fprintf(stderr, "Recording %s (%s)%s\n", sourceID(*source).c_str(), sourceTitle(*source).c_str(),
                             arguments.duration > 0 ? "" : "; press Ctrl-C to stop");
                if (arguments.duration > 0) {
                    durationTimer = loop.postAfter(
                        std::chrono::duration_cast<Duration>(std::chrono::duration<double>(arguments.duration)),
                        [&recorder] { recorder.stop(); });
                }
                break;
            case ScreenRecorder::Phase::finished:
                finished = state.session;
                loop.post([&loop] { loop.stop(); });
                break;
            case ScreenRecorder::Phase::failed:
                failure = state.failure;
                loop.post([&loop] { loop.stop(); });
                break;
            case ScreenRecorder::Phase::idle:
                // Ctrl-C before capture got going cancels it.
                if (!finished) failure = "Recording was cancelled before it started.";
                loop.post([&loop] { loop.stop(); });
                break;
            default: break;
        }
    });
    preferences.setLastUsedSourceID(sourceID(*source));
    recorder.start(*source, options, library, 60);
    if (recorder.state().phase != ScreenRecorder::Phase::failed) loop.run();
    durationTimer.cancel();
    running = nullptr;
    if (recorder.state().phase == ScreenRecorder::Phase::failed) failure = recorder.state().failure;

    if (!finished) throw CommandFailed(kFailure, failure.empty() ? "Recording did not finish cleanly." : failure);
    const auto meta = readRecordingMeta(finished->folder).value_or(finished->meta);
    if (arguments.json) {
        auto json = recordingJson(meta, finished->folder);
        json["source"] = sourceID(*source);
        const auto statistics = recorder.statistics();
        json["droppedFrames"] = statistics.dropped();
        json["missedCaptureFrames"] = statistics.missedTicks;
        json["encoderDroppedFrames"] = statistics.encoderDrops;
        json["unchangedFrames"] = statistics.unchangedTicks;
        printJson(json);
        return;
    }
    std::string tracks = "screen";
    if (meta.hasSystemAudio) tracks += ", system audio";
    if (meta.hasMicrophone) tracks += ", microphone";
    if (meta.hasWebcam) tracks += ", face camera";
    if (meta.hasCursor) tracks += ", cursor";
    printTable({{"ID", meta.id.string()},
                {"Title", displayTitle(meta)},
                {"Source", sourceID(*source)},
                {"Duration", formatDuration(meta.durationMs)},
                {"Size", sizeText(static_cast<int>(meta.displayWidth), static_cast<int>(meta.displayHeight))},
                {"Tracks", tracks},
                {"Folder", finished->folder.directory.string()}});
}

}  // namespace

void registerRecordCommands(CLI::App& app, CliContext& context) {
    auto* sources = app.add_subcommand("sources", "List the displays, windows and applications that can be recorded");
    auto sourcesJson = std::make_shared<bool>(false);
    sources->add_flag("--json", *sourcesJson, "Print JSON");
    sources->callback([sourcesJson] {
        X11ScreenCapture capture;
        printSources(loadCatalog(capture), *sourcesJson);
    });

    auto arguments = std::make_shared<RecordArguments>();
    auto* record = app.add_subcommand("record", "Record a display, window or application until Ctrl-C or --duration");
    record->add_option("--source", arguments->sourceID, "Source ID as `orvane sources` prints it (default: the last used, else the first display)");
    record->add_option("--duration", arguments->duration, "Stop after this many seconds");
    record->add_flag("--system-audio", arguments->systemAudio, "Record what the speakers play");
    record->add_flag("--mic", arguments->microphone, "Record the microphone to mic.m4a");
    record->add_flag("--webcam", arguments->webcam, "Record the face camera to webcam.mp4");
    record->add_option("--cursor-mode", arguments->cursorMode, "How the pointer is shown: system, pointer or touch")
        ->check(CLI::IsMember({"system", "pointer", "touch"}));
    record->add_flag("--json", arguments->json, "Print the finished recording as JSON");
    record->callback([&context, arguments] { cli::record(context, *arguments); });
}

}  // namespace orvane::cli
