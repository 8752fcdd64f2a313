#include <CLI/CLI.hpp>
#include <cstdio>

#include "base/log.h"
#include "cli/cli_context.h"
#include "cli/command_error.h"
#include "cli/commands.h"
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

    cli::CliContext context;
    cli::registerLibraryCommands(app, context);
    cli::registerProjectCommands(app, context);
    cli::registerConfigCommands(app, context);
    cli::registerDemoCommand(app, context);
    cli::registerEditorCommands(app, context);
    cli::registerRenderCommands(app, context);
    cli::registerRecordCommands(app, context);
    cli::registerExportCommand(app, context);
    cli::registerScreenshotCommand(app, context);

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
