#pragma once

// The export queue: turns export, share and post requests into tasks that run one at a time on a
// background executor, and keeps the observable state the export interface shows.
//
// Thread ownership: every member is touched on the main executor only. Task work runs on the
// background executor and reaches back only by posting to the main executor.

#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "base/executor.h"
#include "base/signal.h"
#include "base/thread_affinity.h"
#include "base/uuid.h"
#include "export/export_services.h"
#include "export/export_task.h"
#include "export/make_profile.h"
#include "export/share_client.h"

namespace orvane {

struct SceneRenderSnapshot;

struct ExportControllerState {
    enum class Kind { idle, exporting, failed, done, shared };
    Kind kind = Kind::idle;
    std::string text;  // exporting: the step; failed: the message; done: the file; shared: the link

    static ExportControllerState idle() { return {}; }
    bool operator==(const ExportControllerState&) const = default;
};

// What a task's work sees while it runs on the background executor.
class ExportJobContext {
public:
    ExportJobContext(std::stop_token stop, std::function<void(double, std::optional<std::string>)> report,
                     std::function<void(std::string)> logLine)
        : stop_(std::move(stop)), report_(std::move(report)), logLine_(std::move(logLine)) {}

    std::stop_token stopToken() const { return stop_; }
    bool stopRequested() const { return stop_.stop_requested(); }
    // Throws ExportCancelled once the task has been cancelled.
    void throwIfCancelled() const;
    void report(double fraction, std::optional<std::string> status = std::nullopt) const {
        report_(fraction, std::move(status));
    }
    // Appends a line to the controller's log (the export sheet's details).
    void log(std::string line) const { logLine_(std::move(line)); }

private:
    std::stop_token stop_;
    std::function<void(double, std::optional<std::string>)> report_;
    std::function<void(std::string)> logLine_;
};

struct VideoExportOptions {
    ExportPreset preset = ExportPreset::web1080;
    // The project sidecar kept beside a cached export.
    std::optional<std::filesystem::path> sidecar;
    std::string title = "Export";
    // Shares only: the share page's still and the files the sidecar refers to.
    std::optional<std::filesystem::path> thumbnail;
    std::vector<std::filesystem::path> assets;
};

class ExportController {
public:
    using Work = std::function<ExportOutcome(ExportJobContext&)>;

    ExportController(Executor& mainExecutor, Executor& backgroundExecutor, ExportServices services);
    ~ExportController();
    ExportController(const ExportController&) = delete;
    ExportController& operator=(const ExportController&) = delete;

    // Adds a queued task and starts the queue when it is idle. Answers the task's id.
    Uuid enqueue(std::string title, std::string subtitle, ExportTaskKind kind, Work run);
    // A queued task is dropped and never runs; the running task's work is asked to stop. A task
    // whose work finished before it noticed keeps its real outcome.
    void cancel(const Uuid& taskID);

    Uuid exportVideo(std::shared_ptr<const SceneRenderSnapshot> snapshot, const ExportSettings& settings,
                     const std::filesystem::path& destination, VideoExportOptions options = {});
    // Uses the gif preset whatever options.preset says.
    Uuid exportGIF(std::shared_ptr<const SceneRenderSnapshot> snapshot, const ExportSettings& settings,
                   const std::filesystem::path& destination, VideoExportOptions options = {});
    Uuid share(std::shared_ptr<const SceneRenderSnapshot> snapshot, const ExportSettings& settings,
               std::string permission, VideoExportOptions options = {});
    // Replaces the file behind the last share made by this controller.
    Uuid updateShare(std::shared_ptr<const SceneRenderSnapshot> snapshot, const ExportSettings& settings,
                     std::optional<std::string> permission, VideoExportOptions options = {});
    // Exports to `destination`, then shows the file and opens the platform's upload page.
    Uuid post(std::shared_ptr<const SceneRenderSnapshot> snapshot, const ExportSettings& settings,
              SocialPlatform platform, const std::filesystem::path& destination, VideoExportOptions options = {});

    const ExportControllerState& state() const { return state_; }
    double progress() const { return progress_; }
    const std::string& log() const { return log_; }
    const std::vector<ExportTask>& tasks() const { return tasks_; }
    const ExportTask* task(const Uuid& id) const;
    std::optional<Uuid> currentRunningID() const { return currentRunningID_; }
    const std::optional<ShareResult>& lastHostedShare() const { return lastHostedShare_; }

    // Fires on the main executor after any observable field changed.
    Signal<> changed;

private:
    struct PendingWork {
        Uuid taskID;
        Work run;
    };
    struct Finished {
        std::optional<ExportOutcome> outcome;
        std::optional<std::string> failure;
        bool cancelled = false;
    };

    ExportTask* mutableTask(const Uuid& id);
    void startNext();
    void finish(const Uuid& id, Finished result);
    void applyProgress(const Uuid& id, double fraction, std::optional<std::string> status);
    void appendLog(const std::string& line);

    ThreadAffinity affinity_;  // a main-loop object
    Executor& main_;
    Executor& background_;
    ExportServices services_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);

    ExportControllerState state_;
    double progress_ = 0;
    std::string log_;
    std::vector<ExportTask> tasks_;
    std::deque<PendingWork> pending_;
    std::optional<Uuid> currentRunningID_;
    std::optional<std::stop_source> currentStop_;
    // The last hosted share, so an update can replace its file in place.
    std::optional<ShareResult> lastHostedShare_;
};

// The user-facing text of a failure: ExportError texts as they are, backend size refusals and the
// platform's "could not be completed" errors in plain words.
std::string exportFailureMessage(const std::exception& error);

}  // namespace orvane
