#include "export/export_prerender.h"

#include <mutex>
#include <optional>

#include "base/log.h"
#include "base/log_areas.h"
#include "export/export_error.h"
#include "export/export_jobs.h"
#include "model/export_workspace.h"
#include "model/scene_render_snapshot.h"

namespace orvane {

namespace fs = std::filesystem;

PreRenderHook makeExportPreRenderHook(Executor& background, std::function<ExportSettings()> settings,
                                      ExportPreset preset, std::shared_ptr<ExportVideoRenderer> renderer) {
    struct Shared {
        std::mutex mutex;
        std::optional<std::stop_source> running;  // guarded by mutex
    };
    auto shared = std::make_shared<Shared>();
    return [&background, settings = std::move(settings), preset, renderer,
            shared](std::shared_ptr<const SceneRenderSnapshot> snapshot) -> Task {
        if (!snapshot || isEmptyTimeline(*snapshot) || exportDuration(*snapshot) > kMaximumEditLength) return {};
        const auto exportSettings = settings ? settings() : ExportSettings{};
        return [&background, snapshot, exportSettings, preset, renderer, shared] {
            std::stop_source stop;
            {
                std::lock_guard lock(shared->mutex);
                if (shared->running) shared->running->request_stop();
                shared->running = stop;
            }
            background.post([snapshot, exportSettings, preset, renderer, stop] {
                if (stop.stop_requested()) return;
                const auto profile = exportProfile(*snapshot, exportSettings, preset);
                try {
                    const ExportWorkspace workspace(fs::temp_directory_path(), "prerender");
                    renderer->render(
                        snapshot, profile, workspace.file("video.mp4"), [](double, std::optional<std::string>) {},
                        stop.get_token());
                    log::debug(log_area::kExport, "pre-rendered %s", displayText(profile).c_str());
                } catch (const ExportCancelled&) {
                } catch (const std::exception& error) {
                    log::info(log_area::kExport, "background pre-render failed: %s", error.what());
                }
            });
        };
    };
}

}  // namespace orvane
