#include <CLI/CLI.hpp>

#include <cstdio>
#include <nlohmann/json.hpp>

#include "app/preference_adapters.h"
#include "app/preferences.h"
#include "app/services.h"
#include "app/share_results.h"
#include "cli/command_error.h"
#include "cli/commands.h"
#include "cli/export_runner.h"
#include "cli/output.h"
#include "cloud/auth_store.h"
#include "cloud/hosted_share_client.h"
#include "editor/editor_session.h"
#include "editor/scene_snapshot_builder.h"
#include "model/scene_render_snapshot.h"

namespace orvane::cli {

namespace fs = std::filesystem;

void registerShareCommand(CLI::App& app, app::Services& services) {
    struct Options {
        std::string id;
        std::string backend;
        std::string permission;
        bool json = false;
    };
    auto o = std::make_shared<Options>();
    auto* command = app.add_subcommand("share", "Export a recording's edit and upload it for a share link");
    command->add_option("ID", o->id, "Recording id or unique prefix")->required();
    command->add_option("--backend", o->backend, "hosted or byoHTTP (default: the one chosen in Settings)");
    command->add_option("--permission", o->permission, "Permission of the link (default: the Settings default)");
    command->add_flag("--json", o->json, "Print the result as JSON");
    command->callback([&services, o] {
        std::optional<ShareBackendMode> mode;
        if (!o->backend.empty()) {
            mode = shareBackendModeFromRaw(o->backend);
            if (!mode) throw CLI::ValidationError("--backend takes hosted, customSupabase or byoHTTP");
        }
        Preferences& preferences = services.preferences();
        const auto chosen = mode.value_or(preferences.shareBackendMode());
        // Checked before the export so a signed-out user does not wait for a render that cannot be shared.
        if (chosen == ShareBackendMode::hosted && !services.auth().validAccessToken()) {
            throw CommandFailed(kFailure, kHostedSignInRequired);
        }
        auto exportServices = services.shareExportServices(mode);

        auto& library = services.library();
        const auto meta = library.find(o->id);
        EditorSession session(library.folderOf(meta.id), meta, editorSettings(preferences));
        warnIfSavedEditUnreadable(session);

        ExportRequest request;
        request.snapshot = std::make_shared<const SceneRenderSnapshot>(makeSceneRenderSnapshot(session.state()));
        request.sharePermission = o->permission.empty() ? preferences.defaultSharePermission() : o->permission;
        if (fs::exists(session.folder().sidecarFile())) request.sidecar = session.folder().sidecarFile();
        request.title = displayTitle(meta);
        // The background picture and music the edit plays, so the shared edit opens complete elsewhere.
        const auto& edit = session.state().values().edit;
        for (const auto& asset : {edit.frame.customBackgroundPath, edit.audio.backgroundMusicPath}) {
            std::error_code error;
            if (asset && fs::is_regular_file(*asset, error)) request.shareAssets.push_back(*asset);
        }

        const auto outcome = runExports(services.mainLoop(), exportServices, {request}, &services.analytics());
        const auto& stage = outcome.results.front().stage;
        if (stage.kind == ExportTaskStage::Kind::cancelled || outcome.interrupted) {
            throw std::runtime_error("Share cancelled; nothing was uploaded.");
        }
        if (stage.kind != ExportTaskStage::Kind::succeeded || !outcome.share) {
            throw std::runtime_error(stage.message.value_or("The share failed"));
        }
        const auto& share = *outcome.share;
        try {
            app::storeShareResult(library, meta.id, share);
        } catch (const std::exception& error) {
            std::fprintf(stderr, "warning: %s\n", error.what());
        }
        if (o->json) {
            nlohmann::json json{{"url", share.url}, {"backend", std::string(rawValue(chosen))}};
            if (share.permission) json["permission"] = *share.permission;
            if (share.videoID) json["remoteVideoID"] = *share.videoID;
            json["log"] = outcome.log;
            printJson(json);
        } else {
            if (!outcome.log.empty()) std::fprintf(stderr, "%s\n", outcome.log.c_str());
            std::printf("%s\n", share.url.c_str());
        }
    });
}

}  // namespace orvane::cli
