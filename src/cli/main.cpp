#include <CLI/CLI.hpp>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/preferences.h"
#include "app/services.h"
#include "base/file_error.h"
#include "base/log.h"
#include "base/text.h"
#include "cli/command_error.h"
#include "cli/commands.h"
#include "cli/number_arguments.h"
#include "cli/toast_printer.h"
#include "update/release_version.h"

using namespace orvane;

namespace {

int exitCodeFor(const LibraryError& error) {
    switch (error.code()) {
        case LibraryError::Code::recordingNotFound:
        case LibraryError::Code::ambiguousRecording:
        case LibraryError::Code::projectNotFound: return cli::kNotFound;
        default: return cli::kFailure;
    }
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Orvane: record, edit and export screen recordings"};
    app.name("orvane");
    app.require_subcommand(1);
    bool verbose = false;
    app.add_flag("-v,--verbose", verbose, "Also print log lines to stderr");
    // The updater's launcher runs this to know the new copy starts and is the promised version.
    app.set_version_flag("--version", "orvane " + runningReleaseVersion().display());
    app.parse_complete_callback([&verbose] { log::setEchoToStderr(verbose); });

    // Files skipped for being unreadable are named on stderr, once each, whatever the command.
    const log::ScopedNoticeHandler notices(
        [](const std::string& text) { std::fprintf(stderr, "warning: %s\n", terminalSafeText(text).c_str()); });
    app::Services services;
    cli::ToastPrinter toastPrinter(services.toasts());
    cli::registerLibraryCommands(app, services);
    cli::registerProjectCommands(app, services);
    cli::registerConfigCommands(app, services);
    cli::registerDemoCommand(app);
    cli::registerEditorCommands(app, services);
    cli::registerRenderCommands(app, services);
    cli::registerRecordCommands(app, services);
    cli::registerAgentRecordCommand(app, services);
    cli::registerExportCommand(app, services);
    cli::registerScreenshotCommand(app, services);
    cli::registerCaptionCommands(app, services);
    cli::registerVoiceCommands(app, services);
    cli::registerAccountCommands(app, services);
    cli::registerBYOCommands(app, services);
    cli::registerSupabaseCommands(app, services);
    cli::registerShareCommand(app, services);
    cli::registerOpenCommand(app, services);
    cli::registerTeamCommands(app, services);
    cli::registerPullEditsCommand(app, services);
    cli::registerUpdateCommands(app, services);
    cli::refuseNonFiniteNumbers(app);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? cli::kOk : cli::kUsage;
    } catch (const PreferenceInputError& e) {
        std::fprintf(stderr, "error: %s\n", terminalSafeText(e.what()).c_str());
        return cli::kUsage;
    } catch (const cli::CommandFailed& e) {
        std::fprintf(stderr, "error: %s\n", terminalSafeText(e.what()).c_str());
        return e.exitCode();
    } catch (const LibraryError& e) {
        std::fprintf(stderr, "error: %s\n", terminalSafeText(e.what()).c_str());
        return exitCodeFor(e);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "error: %s\n", terminalSafeText(e.what()).c_str());
        return cli::kFailure;
    }
    // Output to a full disk or a closed pipe is lost; a script must not take it for success.
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        const int error = errno;
        std::string message = "Couldn't write the output";
        if (error != 0) message += ": " + fileErrorText(std::error_code(error, std::generic_category()));
        std::fprintf(stderr, "error: %s\n", message.c_str());
        return cli::kFailure;
    }
    return cli::kOk;
}
