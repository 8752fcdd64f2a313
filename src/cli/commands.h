#pragma once

namespace CLI {
class App;
}

namespace orvane {
class RecordingLibrary;
}

namespace orvane::cli {

class CliContext;

void registerLibraryCommands(CLI::App& app, CliContext& context);
void registerProjectCommands(CLI::App& app, CliContext& context);
void registerConfigCommands(CLI::App& app, CliContext& context);
void registerDemoCommand(CLI::App& app, CliContext& context);
void registerEditorCommands(CLI::App& app, CliContext& context);
void registerRenderCommands(CLI::App& app, CliContext& context);
// `orvane export ID --out FILE`: the edit rendered through the export queue.
void registerExportCommand(CLI::App& app, CliContext& context);
// `orvane sources` and `orvane record`.
void registerRecordCommands(CLI::App& app, CliContext& context);

// `orvane screenshot [--project NAME] [--desktop]`.
void registerScreenshotCommand(CLI::App& app, CliContext& context);

// The library listing as `orvane list` prints it.
void printLibraryListing(RecordingLibrary& library, bool json);

}  // namespace orvane::cli
