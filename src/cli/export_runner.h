#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/event_loop.h"
#include "export/export_controller.h"

namespace orvane::cli {

// One file for `orvane export` or the demo to write.
struct ExportRequest {
    std::shared_ptr<const SceneRenderSnapshot> snapshot;
    ExportSettings settings;
    ExportPreset preset = ExportPreset::web1080;
    std::filesystem::path destination;
    std::optional<std::filesystem::path> sidecar;
    std::string title = "Export";
    // Set: the file is shared with this permission instead of written to `destination`.
    std::optional<std::string> sharePermission;
};

struct ExportRunResult {
    ExportTaskStage stage;
    OutputProfile profile;
};

struct ExportRunOutcome {
    std::vector<ExportRunResult> results;  // one per request, in order
    std::string log;                       // the controller's log lines
    bool interrupted = false;              // Ctrl-C or SIGTERM arrived
    std::optional<ShareResult> share;      // the last share made
};

// Queues the requests on an export controller driven by `mainLoop`, runs the loop until every task
// has finished, and draws a progress bar with the step text on stderr. SIGINT and SIGTERM cancel
// the running and queued tasks instead of killing the process, so nothing is left half-written.
ExportRunOutcome runExports(EventLoop& mainLoop, const ExportServices& services,
                            const std::vector<ExportRequest>& requests);

}  // namespace orvane::cli
