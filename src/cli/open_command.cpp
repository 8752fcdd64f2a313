#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "app/configuration.h"
#include "app/services.h"
#include "base/text.h"
#include "cli/command_error.h"
#include "cli/commands.h"
#include "cli/output.h"
#include "net/url_components.h"
#include "platform/executable_path.h"
#include "platform/linux/detached_launch.h"
#include "platform/linux/instance_channel.h"

namespace orvane::cli {

namespace {

// $ORVANE_STUDIO when set (a studio run from its own build folder), else orvane-studio beside this
// program, as both are installed together.
std::filesystem::path studioProgram() {
    if (const char* named = std::getenv("ORVANE_STUDIO"); named && *named) return named;
    const auto self = runningExecutablePath();
    if (!self)
        throw CommandFailed(kNotFound, "Couldn't tell where orvane is installed, so the studio cannot be found.");
    return self->parent_path() / "orvane-studio";
}

}  // namespace

void registerOpenCommand(CLI::App& app, app::Services& services) {
    struct Options {
        std::string url;
        bool json = false;
    };
    auto options = std::make_shared<Options>();
    auto* command = app.add_subcommand("open", "Hand a deep link to the studio, starting it when it is not running");
    command->add_option("url", options->url, "An orvane: (or zant:) link, e.g. orvane://record?source=window")
        ->required();
    command->add_flag("--json", options->json, "Print JSON");
    command->callback([options, &services] {
        const auto schemes = services.configuration().acceptedURLSchemes();
        const auto url = URLComponents::parse(options->url);
        if (!url || !schemes.count(url->scheme())) {
            std::string expected;
            for (const auto& scheme : schemes) expected += (expected.empty() ? "" : " or ") + scheme + ":";
            throw CommandFailed(kUsage, "Not an Orvane link: " + options->url + " (expected a " + expected + " URL).");
        }

        const auto socket = InstanceChannel::defaultSocketPath();
        std::string where;
        std::string how;
        if (InstanceChannel::handOver({options->url}, socket)) {
            how = "running";
            where = socket.string();
        } else {
            const auto studio = studioProgram();
            std::error_code error;
            if (!std::filesystem::is_regular_file(studio, error)) {
                throw CommandFailed(kNotFound, "The studio is not installed: " + studio.string() +
                                                   " does not exist. Install orvane-studio beside orvane, or name "
                                                   "it in ORVANE_STUDIO.");
            }
            launchDetached(studio, {options->url});
            how = "started";
            where = studio.string();
        }
        if (options->json) {
            printJson({{"url", options->url}, {"studio", how}, {"via", where}});
        } else if (how == "running") {
            std::printf("Handed the link to the running studio (%s).\n", terminalSafeText(where).c_str());
        } else {
            std::printf("Started the studio with the link: %s\n", terminalSafeText(where).c_str());
        }
    });
}

}  // namespace orvane::cli
