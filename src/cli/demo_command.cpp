#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstdlib>

#include "app/preference_adapters.h"
#include "app/preferences.h"
#include "app/services.h"
#include "base/atomic_file.h"
#include "cli/command_error.h"
#include "cli/commands.h"
#include "cli/export_runner.h"
#include "cli/toast_printer.h"
#include "editor/auto_zoom_status.h"
#include "editor/editor_session.h"
#include "export/export_wiring.h"
#include "export/make_profile.h"
#include "export/output_frame.h"
#include "media/media_probe.h"
#include "media/sample_video.h"
#include "model/scene_render_snapshot.h"

namespace orvane::cli {

namespace fs = std::filesystem;

namespace {

// Pointer telemetry that follows the sample's moving box, with one click at 1 s: what a capture of
// someone clicking on the box would have recorded.
CursorTelemetry telemetryFollowingTheBox(const SampleVideoLayout& video) {
    CursorTelemetry telemetry;
    telemetry.sampleHz = 60;
    const auto samples = static_cast<std::int64_t>(video.seconds * 60);
    for (std::int64_t i = 0; i < samples; ++i) {
        const auto frameIndex = i * video.fps / 60;
        const Rect box = sampleVideoBoxRect(video, frameIndex);
        const std::int64_t t = i * 1000 / 60;
        telemetry.points.push_back({t, (box.x + box.width / 2) / video.width, (box.y + box.height / 2) / video.height,
                                    t >= 1000 && t < 1120});
    }
    return telemetry;
}

}  // namespace

// The end-to-end job on built-in material: make a sample screen recording with a tone for its sound,
// import it into a throw-away library, open it as the editor does (the click becomes a zoom), let
// the editor's background pre-render fill the segment cache, and export out/demo.mp4 and
// out/demo.gif through the export controller. Needs no display and touches no user data: the
// library and the render caches live in a temporary folder.
void registerDemoCommand(CLI::App& app) {
    struct Options {
        bool keep = false;
        bool json = false;
    };
    auto options = std::make_shared<Options>();
    auto* demo = app.add_subcommand(
        "demo", "Import a generated sample into a temporary library, zoom on its click and export out/demo.mp4 and out/demo.gif");
    demo->add_flag("--keep", options->keep, "Keep the temporary library and print where it is");
    demo->add_flag("--json", options->json, "Print the listing as JSON");
    demo->callback([options] {
        std::string pattern = (fs::temp_directory_path() / "orvane-demo-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("Couldn't create a temporary folder");
        const fs::path root = pattern;
        struct Cleanup {
            fs::path root;
            bool keep;
            ~Cleanup() {
                std::error_code ignored;
                if (!keep) fs::remove_all(root, ignored);
            }
        } cleanup{root, options->keep};

        const auto sample = root / "  Orvane demo  .mp4";
        SampleVideoLayout video;
        video.width = 1280;
        video.height = 720;
        video.seconds = 3.0;
        video.withAudio = true;  // a 440 Hz tone stands in for the narration
        writeSampleVideo(sample, video);

        // A world of its own: the library, preferences and render caches all live in the temporary folder.
        app::ServiceLocations locations;
        locations.preferencesFile = root / "preferences.json";
        locations.library = LibraryLocation::explicitRoot(root / "Library" / "Recordings");
        locations.cacheRoot = root / "Caches";
        app::Services world(locations);
        ToastPrinter toastPrinter(world.toasts());
        RecordingLibrary& library = world.library();
        auto imported = library.importVideo(sample);
        library.createProject("Demo project");
        library.addToProject(library.projects().front().id, imported.id);

        // Give the recording its pointer track, then open it as the editor does: the click becomes a zoom.
        const auto folder = library.folderOf(imported.id);
        writeFileAtomically(folder.cursorFile(), encodeCursorTelemetry(telemetryFollowingTheBox(video)));
        imported.hasCursor = true;
        imported.clickCaptureActive = true;
        writeRecordingMeta(folder, imported);
        library.reload();

        EditorSession session(folder, imported, editorSettings(world.preferences()), EditorSession::Access::edit);
        session.state().setBackground(BackgroundStyle::sonomaPurple);
        session.state().setShowWindowChrome(true);
        session.state().setWindowTitle("Orvane demo");
        session.save();

        // One frame as the zoom begins to ease in and one inside it.
        auto snapshot = std::make_shared<const SceneRenderSnapshot>(session.renderSnapshot());
        fs::create_directories("out");
        std::vector<fs::path> written;
        for (const double time : {0.0, 1.2}) {
            char name[64];
            std::snprintf(name, sizeof name, "demo-frame-%.1fs.png", time);
            const fs::path file = fs::path("out") / name;
            const auto frame = renderOutputFrame(snapshot, folder.directory, time, 1920, 1080);
            if (!frame || !writePng(frame->image, file)) throw std::runtime_error("Couldn't render the demo frames");
            written.push_back(fs::absolute(file));
        }

        // What the editor does after a save: pre-render the edit so the export only joins segments.
        ExportWiringOptions wiring;
        wiring.cacheRoot = locations.cacheRoot;
        {
            SerialQueue preRenderQueue("orvane.prerender");
            const auto hook = makeExportPreRenderHook(preRenderQueue, [] { return ExportSettings{}; },
                                                      ExportPreset::web1080, wiring);
            if (const auto work = hook(snapshot)) work();
            preRenderQueue.runSync([] {});  // the queue is serial: this returns after the pre-render
        }

        std::vector<ExportRequest> requests(2);
        for (auto& request : requests) {
            request.snapshot = snapshot;
            request.sidecar = folder.sidecarFile();
            request.title = "Demo";
        }
        requests[0].destination = fs::absolute("out/demo.mp4");
        requests[1].preset = ExportPreset::gif;
        requests[1].settings.maxLongEdge = 640;  // a GIF for a README, not a wall
        requests[1].destination = fs::absolute("out/demo.gif");
        const auto outcome = runExports(world.mainLoop(), world.exportServices(), requests);
        if (outcome.interrupted) throw std::runtime_error("Demo cancelled");
        for (std::size_t i = 0; i < requests.size(); ++i) {
            const auto& stage = outcome.results[i].stage;
            if (stage.kind != ExportTaskStage::Kind::succeeded) {
                throw std::runtime_error("Couldn't export " + requests[i].destination.string() + ": " +
                                         stage.message.value_or("cancelled"));
            }
            written.push_back(requests[i].destination);
        }

        if (options->json) {
            printLibraryListing(library, true);
            return;
        }
        std::printf("Imported a generated sample into %s\n\n", library.location().recordingsRoot.c_str());
        printLibraryListing(library, false);
        if (const auto banner = autoZoomBanner(session.state().values().autoZoomStatus)) {
            std::printf("\n%s\n", banner->text.c_str());
        }
        if (!outcome.log.empty()) std::printf("\n%s\n", outcome.log.c_str());
        for (std::size_t i = 0; i < requests.size(); ++i) {
            const auto info = probeMedia(requests[i].destination);
            std::printf("Exported %s (%s%s)\n", requests[i].destination.c_str(),
                        displayText(outcome.results[i].profile).c_str(),
                        info && info->hasAudio ? ", with sound" : "");
        }
        for (std::size_t i = 0; i + requests.size() < written.size(); ++i)
            std::printf("Rendered %s\n", written[i].c_str());
        if (options->keep) std::printf("Kept the demo library at %s\n", root.c_str());
    });
}

}  // namespace orvane::cli
