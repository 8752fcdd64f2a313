#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/event_loop.h"
#include "export/export_controller.h"

namespace orvane {
class AppAnalyticsClient;
}

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
    // Shares: the files the sidecar refers to, offered to the backend beside the video.
    std::vector<std::filesystem::path> shareAssets;
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
// With `analytics`, the tasks are reported as they start, finish and fail.
ExportRunOutcome runExports(EventLoop& mainLoop, const ExportServices& services,
                            const std::vector<ExportRequest>& requests, AppAnalyticsClient* analytics = nullptr);

}  // namespace orvane::cli
