#pragma once

namespace CLI {
class App;
}

namespace orvane {
class RecordingLibrary;
namespace app {
class Services;
}  // namespace app
}  // namespace orvane

namespace orvane::cli {

void registerLibraryCommands(CLI::App& app, app::Services& services);
void registerProjectCommands(CLI::App& app, app::Services& services);
void registerConfigCommands(CLI::App& app, app::Services& services);
// `orvane demo`: the whole job in a private temporary world.
void registerDemoCommand(CLI::App& app);
void registerEditorCommands(CLI::App& app, app::Services& services);
void registerRenderCommands(CLI::App& app, app::Services& services);
// `orvane export ID --out FILE`: the edit rendered through the export queue.
void registerExportCommand(CLI::App& app, app::Services& services);
// `orvane sources` and `orvane record`.
void registerRecordCommands(CLI::App& app, app::Services& services);
// `orvane agent-record`: an action plan recorded by a running studio or here, then exported.
void registerAgentRecordCommand(CLI::App& app, app::Services& services);

// `orvane captions ID [--locale L] [--remove-fillers]`: captions from the recording's speech.
void registerCaptionCommands(CLI::App& app, app::Services& services);
// `orvane voices` and `orvane voiceover ID --text|--script-file|--record`: narration on the timeline.
void registerVoiceCommands(CLI::App& app, app::Services& services);
// `orvane login`, `orvane logout` and `orvane whoami`.
void registerAccountCommands(CLI::App& app, app::Services& services);
// `orvane byo set-token|clear-token|check`: the bring-your-own share backend.
void registerBYOCommands(CLI::App& app, app::Services& services);
// `orvane supabase set-key|clear-key|setup-script`: the user's own Supabase project.
void registerSupabaseCommands(CLI::App& app, app::Services& services);
// `orvane share ID`: the edit exported and uploaded to the chosen share backend.
void registerShareCommand(CLI::App& app, app::Services& services);

// `orvane open URL`: the link handed to the running studio, or the studio started with it.
void registerOpenCommand(CLI::App& app, app::Services& services);
// `orvane teams`, `orvane library` and `orvane invite accept CODE`: the account's teams.
void registerTeamCommands(CLI::App& app, app::Services& services);
// `orvane pull-edits ID [--watch]`: the backend's edit record of a shared recording applied to it.
void registerPullEditsCommand(CLI::App& app, app::Services& services);

// `orvane screenshot [--project NAME] [--desktop]`.
void registerScreenshotCommand(CLI::App& app, app::Services& services);

// `orvane update [--check] [--json]`, `orvane install-app`, `orvane cli-status`, `orvane install-cli`
// and `orvane remove-cli`.
void registerUpdateCommands(CLI::App& app, app::Services& services);

// The library listing as `orvane list` prints it.
void printLibraryListing(RecordingLibrary& library, bool json);

}  // namespace orvane::cli
