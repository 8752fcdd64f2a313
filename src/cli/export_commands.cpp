#include <CLI/CLI.hpp>
#include <unistd.h>

#include <cstdio>
#include <nlohmann/json.hpp>

#include "app/export_analytics.h"
#include "app/preference_adapters.h"
#include "app/preferences.h"
#include "app/services.h"
#include "base/text.h"
#include "cli/command_error.h"
#include "cli/commands.h"
#include "cli/export_runner.h"
#include "cli/output.h"
#include "editor/editor_session.h"
#include "export/export_jobs.h"
#include "export/export_wiring.h"
#include "model/scene_render_snapshot.h"
#include "platform/linux/stop_signals.h"

namespace orvane::cli {

namespace fs = std::filesystem;
using Json = nlohmann::json;

namespace {

// "[##########----------]  50% Rendering video · about 5s remaining" redrawn in place on a
// terminal; on a pipe a line is printed whenever the text or the tenth changes.
class ProgressLine {
public:
    ProgressLine() : terminal_(::isatty(STDERR_FILENO) == 1) {}

    void show(const std::string& givenTitle, double fraction, const std::string& givenStatus) {
        // The title is the recording's; a status may quote a tool's output.
        const std::string title = terminalSafeText(givenTitle);
        const std::string status = terminalSafeText(givenStatus);
        const int percent = static_cast<int>(fraction * 100);
        if (!terminal_) {
            if (status == lastStatus_ && percent / 10 == lastPercent_ / 10) return;
            std::fprintf(stderr, "%s: %3d%% %s\n", title.c_str(), percent, status.c_str());
        } else {
            constexpr int kWidth = 24;
            const int filled = std::clamp(static_cast<int>(fraction * kWidth), 0, kWidth);
            std::string bar(static_cast<std::size_t>(filled), '#');
            bar.append(static_cast<std::size_t>(kWidth - filled), '-');
            std::fprintf(stderr, "\r\033[K%s [%s] %3d%% %s", title.c_str(), bar.c_str(), percent, status.c_str());
            drawn_ = true;
        }
        lastStatus_ = status;
        lastPercent_ = percent;
        std::fflush(stderr);
    }
    void end() {
        if (drawn_) std::fprintf(stderr, "\n");
        drawn_ = false;
    }

private:
    bool terminal_;
    bool drawn_ = false;
    std::string lastStatus_;
    int lastPercent_ = -100;
};

template <typename Value>
Value parseRaw(const std::string& text, const char* option, std::optional<Value> (*fromRaw)(std::string_view)) {
    if (const auto value = fromRaw(text)) return *value;
    throw CLI::ValidationError(std::string(option) + ": unknown value \"" + text + "\"");
}

ExportFPSOption parseFps(const std::string& text) {
    if (text == "auto" || text == "automatic") return ExportFPSOption::automatic;
    if (text == "24") return ExportFPSOption::fps24;
    if (text == "30") return ExportFPSOption::fps30;
    if (text == "60") return ExportFPSOption::fps60;
    throw CLI::ValidationError("--fps takes auto, 24, 30 or 60, got \"" + text + "\"");
}

Json profileJson(const OutputProfile& profile) {
    return {{"width", profile.width},
            {"height", profile.height},
            {"fps", profile.fps},
            {"bitrate", profile.bitrate},
            {"quality", std::string(rawValue(profile.quality))}};
}

}  // namespace

ExportRunOutcome runExports(EventLoop& mainLoop, const ExportServices& services,
                            const std::vector<ExportRequest>& requests, AppAnalyticsClient* analytics) {
    ProgressLine progress;
    ExportRunOutcome outcome;
    std::vector<Uuid> ids;
    ExportController* running = nullptr;
    // Ctrl-C and SIGTERM cancel the tasks, which remove what they began to write. Watched before the
    // export's threads start, so every one inherits the blocked signals.
    StopSignals interrupts(mainLoop, [&] {
        if (outcome.interrupted || !running) return;
        outcome.interrupted = true;
        progress.end();
        std::fprintf(stderr, "Cancelling the export...\n");
        for (const auto& id : ids) running->cancel(id);
    });
    SerialQueue background("orvane.export");
    ExportController controller(mainLoop, background, services);
    running = &controller;
    std::optional<ExportAnalytics> reporting;
    if (analytics) reporting.emplace(controller, *analytics, mainLoop);

    std::vector<OutputProfile> profiles;
    auto allFinished = [&] {
        return std::all_of(ids.begin(), ids.end(), [&](const Uuid& id) { return controller.task(id)->stage.finished(); });
    };
    auto subscription = controller.changed.subscribe([&] {
        if (const auto current = controller.currentRunningID()) {
            const auto* task = controller.task(*current);
            progress.show(task->title, task->progress,
                          task->stage.message.value_or(controller.state().kind == ExportControllerState::Kind::exporting
                                                           ? controller.state().text
                                                           : std::string()));
        }
        if (!ids.empty() && ids.size() == requests.size() && allFinished()) mainLoop.stop();
    });

    mainLoop.post([&] {
        for (const auto& request : requests) {
            VideoExportOptions options;
            options.preset = request.preset;
            options.sidecar = request.sidecar;
            options.title = request.title;
            options.assets = request.shareAssets;
            profiles.push_back(exportProfile(*request.snapshot, request.settings, request.preset));
            if (request.sharePermission) {
                ids.push_back(controller.share(request.snapshot, request.settings, *request.sharePermission, options));
            } else {
                ids.push_back(
                    request.preset == ExportPreset::gif
                        ? controller.exportGIF(request.snapshot, request.settings, request.destination, options)
                        : controller.exportVideo(request.snapshot, request.settings, request.destination, options));
            }
        }
        if (allFinished()) mainLoop.stop();
    });
    mainLoop.run();
    running = nullptr;
    progress.end();

    for (std::size_t i = 0; i < ids.size(); ++i) outcome.results.push_back({controller.task(ids[i])->stage, profiles[i]});
    outcome.log = controller.log();
    outcome.share = controller.lastHostedShare();
    return outcome;
}

void registerExportCommand(CLI::App& app, app::Services& services) {
    struct Options {
        std::string id;
        std::string out;
        std::string preset;
        std::string aspect = "automatic";
        std::string fps = "auto";
        std::string quality = "automatic";
        std::optional<double> maxLongEdge;
        std::optional<double> targetMegabytes;
        bool dryRun = false;
        bool json = false;
    };
    auto o = std::make_shared<Options>();
    auto* command = app.add_subcommand("export", "Render a recording's edit to an MP4 or GIF file");
    command->add_option("ID", o->id, "Recording id or unique prefix")->required();
    command->add_option("--out", o->out, "File to write (.mp4, or .gif for a GIF)")->required();
    command->add_option("--preset", o->preset, "web1080 (default), fourK, vertical, square or gif");
    command->add_option("--aspect", o->aspect, "automatic, widescreen, vertical or square");
    command->add_option("--fps", o->fps, "auto, 24, 30 or 60");
    command->add_option("--quality", o->quality, "automatic, compact, standard, high or maximum");
    command->add_option("--max-long-edge", o->maxLongEdge, "Limit the longer side to this many pixels")
        ->check(CLI::PositiveNumber);
    // A terabyte is far past any export; larger targets would overflow the byte count.
    command->add_option("--target-mb", o->targetMegabytes, "Aim for a file of about this many MB (1,000,000 bytes)")
        ->check(CLI::Range(0.001, 1'000'000.0));
    command->add_flag("--dry-run", o->dryRun, "Print the output profile and render nothing");
    command->add_flag("--json", o->json, "Print the result as JSON");
    command->callback([&services, o] {
        const fs::path destination = o->out;
        const bool gifFile = toLowerAscii(destination.extension().string()) == ".gif";
        ExportPreset preset = gifFile ? ExportPreset::gif : ExportPreset::web1080;
        if (!o->preset.empty()) {
            preset = parseRaw<ExportPreset>(o->preset, "--preset", exportPresetFromRaw);
            if (gifFile != (preset == ExportPreset::gif)) {
                throw CLI::ValidationError(gifFile ? "a .gif file needs --preset gif (or leave --preset out)"
                                                   : "--preset gif writes a GIF: give --out a .gif file");
            }
        }
        ExportSettings settings;
        settings.aspect = parseRaw<ExportAspectRatio>(o->aspect, "--aspect", exportAspectRatioFromRaw);
        settings.fps = parseFps(o->fps);
        settings.quality = parseRaw<ExportQuality>(o->quality, "--quality", exportQualityFromRaw);
        settings.maxLongEdge = o->maxLongEdge;
        if (o->targetMegabytes) settings.targetBytes = static_cast<std::int64_t>(*o->targetMegabytes * 1'000'000);

        const fs::path folder = fs::absolute(destination).parent_path();
        if (!o->dryRun && !fs::is_directory(folder)) {
            throw std::runtime_error("The folder " + folder.string() + " does not exist");
        }
        if (!o->dryRun && fs::is_directory(destination)) {
            throw std::runtime_error(destination.string() + " is a folder; give a file name");
        }
        if (!o->dryRun) requireWritableOutput(services, destination);

        auto& library = services.library();
        const auto& meta = library.find(o->id);
        Preferences& preferences = services.preferences();
        EditorSession session(library.folderOf(meta.id), meta, editorSettings(preferences));
        warnIfSavedEditUnreadable(session);
        auto snapshot = std::make_shared<const SceneRenderSnapshot>(session.renderSnapshot());
        const auto profile = exportProfile(*snapshot, settings, preset);

        if (o->dryRun) {
            if (o->json) {
                printJson(profileJson(profile));
            } else {
                std::printf("%s, %d bits/s (%s preset, %.3f s)\n", displayText(profile).c_str(), profile.bitrate,
                            std::string(rawValue(preset)).c_str(), exportDuration(*snapshot));
            }
            return;
        }

        ExportRequest request;
        request.snapshot = snapshot;
        request.settings = settings;
        request.preset = preset;
        request.destination = fs::absolute(destination);
        if (fs::exists(session.folder().sidecarFile())) request.sidecar = session.folder().sidecarFile();
        request.title = displayTitle(meta);

        const auto outcome =
            runExports(services.mainLoop(), services.exportServices(), {request}, &services.analytics());
        const auto& result = outcome.results.front();
        if (result.stage.kind == ExportTaskStage::Kind::cancelled || outcome.interrupted) {
            throw std::runtime_error("Export cancelled; nothing was written to " + destination.string());
        }
        if (result.stage.kind != ExportTaskStage::Kind::succeeded) {
            throw std::runtime_error(result.stage.message.value_or("The export failed"));
        }
        if (o->json) {
            auto json = profileJson(profile);
            json["file"] = request.destination.string();
            json["bytes"] = fs::file_size(request.destination);
            json["log"] = outcome.log;
            printJson(json);
        } else {
            if (!outcome.log.empty()) std::fprintf(stderr, "%s\n", outcome.log.c_str());
            std::printf("Exported %s (%s)\n", request.destination.c_str(), displayText(profile).c_str());
        }
    });
}

}  // namespace orvane::cli
