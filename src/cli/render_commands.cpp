#include <CLI/CLI.hpp>
#include <cstdio>

#include "cli/cli_context.h"
#include "cli/commands.h"
#include "render/background_swatches.h"

namespace orvane::cli {

void registerRenderCommands(CLI::App& app, CliContext&) {
    struct Options {
        std::string out;
        int width = 1920;
        int height = 1080;
    };
    auto o = std::make_shared<Options>();

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
