#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdio>
#include <optional>

#include "app/preference_adapters.h"
#include "app/preferences.h"
#include "app/services.h"
#include "base/text.h"
#include "cli/command_error.h"
#include "cli/commands.h"
#include "cli/output.h"
#include "cli/recording_run.h"
#include "platform/screen_capture.h"
#include "recording/recording_flow.h"
#include "recording/screen_recorder.h"

namespace orvane::cli {

namespace {

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

// On a desktop whose own dialog picks the picture (Wayland's portal) there is nothing to list
// beforehand: the kinds that dialog offers stand for the sources.
constexpr const char* kPortalScreenID = "portal";
constexpr const char* kPortalWindowID = "portal:window";

void printDesktopPickerSources(const DesktopPickerOffer& offer, bool json) {
    struct Row {
        const char* id;
        const char* kind;
        const char* title;
    };
    std::vector<Row> rows;
    if (offer.monitors) rows.push_back({kPortalScreenID, "display", "A screen, chosen in the desktop's dialog"});
    if (offer.windows) rows.push_back({kPortalWindowID, "window", "A window, chosen in the desktop's dialog"});
    if (json) {
        auto array = nlohmann::json::array();
        for (const auto& row : rows) {
            array.push_back(
                {{"id", row.id}, {"kind", row.kind}, {"title", row.title}, {"chosenInDesktopDialog", true}});
        }
        printJson(array);
        return;
    }
    std::vector<std::vector<std::string>> table{{"ID", "KIND", "SIZE", "TITLE"}};
    for (const auto& row : rows) table.push_back({row.id, row.kind, "-", row.title});
    printTable(table);
    std::fprintf(stderr,
                 "This desktop lets you choose what to record in its own dialog; `orvane record --source portal` asks "
                 "once and remembers your choice.\n");
}

void printSourcesOf(ScreenCaptureSystem& capture, bool json) {
    if (const auto offer = capture.desktopPicker()) {
        printDesktopPickerSources(*offer, json);
        return;
    }
    printSources(loadCatalog(capture), json);
}

// Asks the desktop's dialog (or reuses the earlier grant) for the source `id` names.
SourceCatalogSnapshot pickInDesktopDialog(ScreenCaptureSystem& capture, const std::string& id) {
    DesktopPickKind kind = DesktopPickKind::monitor;
    if (id == kPortalWindowID) {
        kind = DesktopPickKind::window;
    } else if (!id.empty() && id != kPortalScreenID) {
        throw CommandFailed(kNotFound, "On this desktop the source is chosen in the desktop's dialog: use --source " +
                                           std::string(kPortalScreenID) + " or --source " + kPortalWindowID);
    }
    try {
        return buildSourceCatalog(capture.pickInDesktopDialog(kind), false);
    } catch (const ScreenCaptureError& e) {
        throw CommandFailed(kFailure, e.what());
    }
}

struct RecordArguments {
    std::string sourceID;
    double duration = 0;
    bool systemAudio = false;
    bool microphone = false;
    bool webcam = false;
    std::string cursorMode;
    bool json = false;
};

void record(app::Services& services, const RecordArguments& arguments) {
    if (arguments.duration < 0 || !std::isfinite(arguments.duration)) {
        throw CommandFailed(kUsage, "--duration must be a positive number of seconds");
    }
    // Ctrl-C and SIGTERM end the recording cleanly.
    RecordingRun run(services);
    EventLoop& loop = services.mainLoop();

    ScreenCaptureSystem& capture = services.screenCapture();
    const bool pickedByDesktop = capture.desktopPicker().has_value();
    const auto catalog = pickedByDesktop ? pickInDesktopDialog(capture, arguments.sourceID) : loadCatalog(capture);
    Preferences& preferences = services.preferences();
    RecordingRequest request;
    if (pickedByDesktop) {
        if (catalog.displays.empty()) throw CommandFailed(kFailure, "The desktop shared nothing to record.");
        request.source = catalog.displays.front();
    } else if (!arguments.sourceID.empty()) {
        request.source = findSource(catalog, arguments.sourceID);
        if (!request.source) {
            throw CommandFailed(kNotFound,
                                "No recording source matches \"" + arguments.sourceID + "\" (see `orvane sources`)");
        }
    }
    // Devices are recorded only when asked for on the command line, whatever the desktop defaults say.
    request.options = optionsFromPreferences(preferences);
    request.options.includeSystemAudio = arguments.systemAudio;
    request.options.includeMicrophone = arguments.microphone;
    request.options.includeWebcam = arguments.webcam;
    if (!arguments.cursorMode.empty()) applyCursorMode(request.options, arguments.cursorMode, preferences);

    TimerHandle durationTimer;
    bool announced = false;
    const auto reply =
        run.run(std::move(request), catalog, [&](ScreenRecorder& recorder, const ScreenRecorder::State& state) {
            if (state.phase != ScreenRecorder::Phase::recording) return;
            if (announced || !run.flow().source()) return;
            announced = true;
            const RecordingSource& source = *run.flow().source();
            std::fprintf(stderr, "Recording %s (%s)%s\n", sourceID(source).c_str(),
                         terminalSafeText(sourceTitle(source)).c_str(),
                         arguments.duration > 0 ? "" : "; press Ctrl-C to stop");
            if (arguments.duration > 0) {
                durationTimer = loop.postAfter(
                    std::chrono::duration_cast<Duration>(std::chrono::duration<double>(arguments.duration)),
                    [&recorder] { recorder.stop(); });
            }
        });
    durationTimer.cancel();
    ScreenRecorder& recorder = run.recorder();

    if (!reply || !reply->succeeded || !reply->recording) {
        using Failure = RecordingReply::Failure;
        const Failure kind = reply ? reply->failure : Failure::didNotFinish;
        // The recorder's own words say most; a stop before capture got going cancels it.
        std::string failure = recorder.state().failure;
        if (failure.empty() && kind == Failure::didNotFinish && recorder.state().phase == ScreenRecorder::Phase::idle) {
            failure = "Recording was cancelled before it started.";
        }
        if (failure.empty()) failure = reply ? reply->message : "Recording did not finish cleanly.";
        throw CommandFailed(kind == Failure::noSource ? kNotFound : kFailure, failure);
    }
    const auto& meta = *reply->recording;
    const RecordingFolder folder = services.library().folderOf(meta.id);
    const RecordingSource& source = *run.flow().source();
    if (arguments.json) {
        auto json = recordingJson(meta, folder);
        json["source"] = sourceID(source);
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
                {"Source", sourceID(source)},
                {"Duration", formatDuration(meta.durationMs)},
                {"Size", sizeText(static_cast<int>(meta.displayWidth), static_cast<int>(meta.displayHeight))},
                {"Tracks", tracks},
                {"Folder", folder.directory.string()}});
}

}  // namespace

void registerRecordCommands(CLI::App& app, app::Services& services) {
    auto* sources = app.add_subcommand("sources", "List the displays, windows and applications that can be recorded");
    auto sourcesJson = std::make_shared<bool>(false);
    sources->add_flag("--json", *sourcesJson, "Print JSON");
    sources->callback([&services, sourcesJson] { printSourcesOf(services.screenCapture(), *sourcesJson); });

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
    record->callback([&services, arguments] { cli::record(services, *arguments); });
}

}  // namespace orvane::cli
