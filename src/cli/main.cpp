#include <CLI/CLI.hpp>
#include <cstdio>

#include "app/services.h"
#include "base/log.h"
#include "cli/command_error.h"
#include "cli/commands.h"
#include "cli/toast_printer.h"
#include "platform/preferences.h"

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
    app.parse_complete_callback([&verbose] { log::setEchoToStderr(verbose); });

    app::Services services;
    cli::ToastPrinter toastPrinter(services.toasts());
    cli::registerLibraryCommands(app, services);
    cli::registerProjectCommands(app, services);
    cli::registerConfigCommands(app, services);
    cli::registerDemoCommand(app);
    cli::registerEditorCommands(app, services);
    cli::registerRenderCommands(app, services);
    cli::registerRecordCommands(app, services);
    cli::registerExportCommand(app, services);
    cli::registerScreenshotCommand(app, services);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? cli::kOk : cli::kUsage;
    } catch (const PreferenceInputError& e) {
        std::fprintf(stderr, "error: %s\n", e.what());
        return cli::kUsage;
    } catch (const cli::CommandFailed& e) {
        std::fprintf(stderr, "error: %s\n", e.what());
        return e.exitCode();
    } catch (const LibraryError& e) {
        std::fprintf(stderr, "error: %s\n", e.what());
        return exitCodeFor(e);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "error: %s\n", e.what());
        return cli::kFailure;
    }
    return cli::kOk;
}
