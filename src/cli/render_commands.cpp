#include <CLI/CLI.hpp>
#include <cstdio>

#include "app/preference_adapters.h"
#include "app/preferences.h"
#include "app/services.h"
#include "cli/command_error.h"
#include "cli/commands.h"
#include "cli/number_arguments.h"
#include "cli/output.h"
#include "editor/editor_session.h"
#include "export/output_frame.h"
#include "media/video_frame.h"
#include "model/scene_render_snapshot.h"
#include "render/backdrop/background_swatches.h"

namespace orvane::cli {

void registerRenderCommands(CLI::App& app, app::Services& services) {
    struct Options {
        std::string out;
        int width = 1920;
        int height = 1080;
    };
    auto o = std::make_shared<Options>();

    struct FrameOptions {
        std::string id;
        double time = 0;
        std::string out;
        std::string size = "1920x1080";
    };
    auto f = std::make_shared<FrameOptions>();
    auto* renderFrame = app.add_subcommand("render-frame", "Render the finished output frame at an output time as PNG");
    renderFrame->add_option("ID", f->id, "Recording id or unique prefix")->required();
    renderFrame->add_option("--time", f->time, "Output time in seconds (after trim and speed ramps)")->required();
    renderFrame->add_option("--out", f->out, "PNG file to write")->required();
    renderFrame->add_option("--size", f->size, "Output size, WIDTHxHEIGHT (default 1920x1080)");
    renderFrame->callback([&services, f] {
        const auto [width, height] = parseFrameSize(f->size);
        requireWritableOutput(services, f->out);
        auto& library = services.library();
        const auto& meta = library.find(f->id);
        EditorSession session(library.folderOf(meta.id), meta, editorSettings(services.preferences()));
        warnIfSavedEditUnreadable(session);
        auto snapshot = std::make_shared<const SceneRenderSnapshot>(session.renderSnapshot());

        const auto frame = renderOutputFrame(snapshot, session.folder().directory, f->time, width, height);
        if (!frame) throw std::runtime_error("Couldn't render the frame");
        if (!writePng(frame->image, f->out)) throw std::runtime_error("Couldn't write " + f->out);
        std::printf("Wrote %s (%dx%d, output %.3f s = composition %.3f s%s)\n", f->out.c_str(), width, height, f->time,
                    frame->compositionTime, frame->hasRecordingFrame ? "" : ", no recording frame here");
    });

    auto* backgrounds = app.add_subcommand("backgrounds", "Write one PNG per background style");
    backgrounds->add_option("--out", o->out, "Folder to write into (created when missing)")->required();
    backgrounds->add_option("--width", o->width, "Width in pixels")->check(CLI::Range(16, 8192));
    backgrounds->add_option("--height", o->height, "Height in pixels")->check(CLI::Range(16, 8192));
    backgrounds->callback([o] {
        std::string error;
        const auto written = writeBackgroundSwatches(o->out, o->width, o->height, &error);
        if (written.empty()) throw std::runtime_error("Couldn't write the backgrounds: " + error);
        for (const auto& file : written) std::printf("%s\n", file.c_str());
    });
}

}  // namespace orvane::cli
