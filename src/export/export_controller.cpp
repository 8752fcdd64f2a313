#include "export/export_controller.h"

#include <algorithm>

#include "base/log.h"
#include "base/log_areas.h"
#include "base/text.h"
#include "export/export_error.h"
#include "export/export_jobs.h"
#include "media/external_tools.h"
#include "model/scene_render_snapshot.h"
#include "platform/url_opener.h"

namespace orvane {

namespace fs = std::filesystem;

namespace {

bool contains(const std::string& haystack, std::string_view needle) {
    return haystack.find(needle) != std::string::npos;
}

}  // namespace

std::string_view rawValue(SocialPlatform platform) {
    switch (platform) {
        case SocialPlatform::x: return "x";
        case SocialPlatform::linkedin: return "linkedin";
        case SocialPlatform::youtube: return "youtube";
        case SocialPlatform::notion: return "notion";
        case SocialPlatform::messages: return "messages";
    }
    return "x";
}

void ExportJobContext::throwIfCancelled() const {
    if (stop_.stop_requested()) throw ExportCancelled();
}

std::string exportFailureMessage(const std::exception& error) {
    if (dynamic_cast<const ExportError*>(&error)) return error.what();
    const std::string text = error.what();
    const std::string lower = toLowerAscii(text);
    if (contains(lower, "payload too large") || contains(lower, "maximum allowed size")) {
        return "This video is over the hosted-share size limit. Try a shorter recording or a lower export resolution.";
    }
    if (contains(lower, "could not be completed") || contains(lower, "couldn't be completed") ||
        contains(lower, "couldn\u2019t be completed")) {
        return "The export could not be completed.";
    }
    return text;
}

ExportController::ExportController(Executor& mainExecutor, Executor& backgroundExecutor, ExportServices services)
    : main_(mainExecutor), background_(backgroundExecutor), services_(std::move(services)) {}

ExportController::~ExportController() {
    *alive_ = false;
    if (currentStop_) currentStop_->request_stop();
}

const ExportTask* ExportController::task(const Uuid& id) const {
    const auto found = std::find_if(tasks_.begin(), tasks_.end(), [&](const ExportTask& t) { return t.id == id; });
    return found == tasks_.end() ? nullptr : &*found;
}

ExportTask* ExportController::mutableTask(const Uuid& id) { return const_cast<ExportTask*>(task(id)); }

Uuid ExportController::enqueue(std::string title, std::string subtitle, ExportTaskKind kind, Work run) {
    affinity_.check();
    ExportTask added;
    added.id = Uuid::random();
    added.createdAt = main_.wallNow();
    added.title = std::move(title);
    added.subtitle = std::move(subtitle);
    added.kind = std::move(kind);
    tasks_.push_back(added);
    pending_.push_back({added.id, std::move(run)});
    changed.emit();
    startNext();
    return added.id;
}

void ExportController::cancel(const Uuid& taskID) {
    affinity_.check();
    auto* cancelled = mutableTask(taskID);
    if (!cancelled || cancelled->stage.finished()) return;
    const auto queued =
        std::find_if(pending_.begin(), pending_.end(), [&](const PendingWork& w) { return w.taskID == taskID; });
    if (queued != pending_.end()) pending_.erase(queued);
    if (currentRunningID_ == taskID && currentStop_) currentStop_->request_stop();
    cancelled->stage = ExportTaskStage::cancelled();
    changed.emit();
}

void ExportController::startNext() {
    if (currentRunningID_ || pending_.empty()) return;
    auto next = std::move(pending_.front());
    pending_.pop_front();
    auto* started = mutableTask(next.taskID);
    if (!started) return startNext();

    currentRunningID_ = next.taskID;
    currentStop_.emplace();
    started->stage = ExportTaskStage::running();
    started->progress = 0;
    progress_ = 0;
    state_ = {ExportControllerState::Kind::exporting, "Preparing export"};
    changed.emit();

    // The work reaches the controller only through posts guarded by `alive`, so a controller that
    // goes away while its work is still running is never touched.
    const std::weak_ptr<bool> alive = alive_;
    const Uuid id = next.taskID;
    Executor& main = main_;
    auto post = [alive, &main, this](std::function<void()> action) {
        main.post([alive, action = std::move(action)] {
            if (auto live = alive.lock(); live && *live) action();
        });
    };
    auto report = [post, id, this](double fraction, std::optional<std::string> status) {
        post([this, id, fraction, status = std::move(status)] { applyProgress(id, fraction, status); });
    };
    auto logLine = [post, this](std::string line) { post([this, line = std::move(line)] { appendLog(line); }); };
    auto context = std::make_shared<ExportJobContext>(currentStop_->get_token(), report, logLine);

    background_.post([work = std::move(next.run), context, post, id, this] {
        Finished result;
        try {
            result.outcome = work(*context);
        } catch (const ExportCancelled&) {
            result.cancelled = true;
        } catch (const ToolCancelledError&) {
            result.cancelled = true;
        } catch (const std::exception& error) {
            if (context->stopRequested()) {
                result.cancelled = true;
            } else {
                result.failure = exportFailureMessage(error);
            }
        }
        post([this, id, result = std::move(result)] { finish(id, result); });
    });
}

void ExportController::finish(const Uuid& id, Finished result) {
    affinity_.check();
    if (auto* finished = mutableTask(id)) {
        if (result.outcome) {
            finished->stage = ExportTaskStage::succeeded(*result.outcome);
            finished->progress = 1;
            progress_ = 1;
            state_ = {result.outcome->kind == ExportOutcome::Kind::shared ? ExportControllerState::Kind::shared
                                                                          : ExportControllerState::Kind::done,
                      result.outcome->location};
        } else if (result.failure) {
            finished->stage = ExportTaskStage::failed(*result.failure);
            state_ = {ExportControllerState::Kind::failed, *result.failure};
            appendLog("Export failed: " + *result.failure);
            log::warning(log_area::kExport, "export failed: %s", result.failure->c_str());
        } else {
            finished->stage = ExportTaskStage::cancelled();
            state_ = ExportControllerState::idle();
        }
    }
    currentRunningID_.reset();
    currentStop_.reset();
    changed.emit();
    startNext();
}

void ExportController::applyProgress(const Uuid& id, double fraction, std::optional<std::string> status) {
    affinity_.check();
    auto* running = mutableTask(id);
    // Late reports of a task that was cancelled or has finished change nothing.
    if (!running || running->stage.kind != ExportTaskStage::Kind::running) return;
    running->progress = std::clamp(fraction, 0.0, 1.0);
    if (status) running->stage.message = status;
    progress_ = running->progress;
    if (status) state_ = {ExportControllerState::Kind::exporting, *status};
    changed.emit();
}

void ExportController::appendLog(const std::string& line) {
    if (!log_.empty()) log_ += '\n';
    log_ += line;
    log::info(log_area::kExport, "%s", line.c_str());
    changed.emit();
}

Uuid ExportController::exportVideo(std::shared_ptr<const SceneRenderSnapshot> snapshot, const ExportSettings& settings,
                                   const fs::path& destination, VideoExportOptions options) {
    const auto profile = exportProfile(*snapshot, settings, options.preset);
    auto services = services_;
    return enqueue(options.title, displayText(profile), ExportKind{std::string(rawValue(options.preset))},
                   [services, snapshot, settings, options, destination](ExportJobContext& context) {
                       exportMovieFile(services, context, snapshot, settings, options, destination);
                       return ExportOutcome::file(destination.string());
                   });
}

Uuid ExportController::exportGIF(std::shared_ptr<const SceneRenderSnapshot> snapshot, const ExportSettings& settings,
                                 const fs::path& destination, VideoExportOptions options) {
    options.preset = ExportPreset::gif;
    const auto profile = exportProfile(*snapshot, settings, ExportPreset::gif);
    auto services = services_;
    return enqueue(options.title, displayText(profile), ExportKind{"gif"},
                   [services, snapshot, settings, options, destination](ExportJobContext& context) {
                       exportGifFile(services, context, snapshot, settings, destination);
                       return ExportOutcome::file(destination.string());
                   });
}

Uuid ExportController::share(std::shared_ptr<const SceneRenderSnapshot> snapshot, const ExportSettings& settings,
                             std::string permission, VideoExportOptions options) {
    ShareRequest request{.title = options.title,
                         .permission = permission,
                         .preset = options.preset,
                         .sidecar = options.sidecar,
                         .thumbnail = options.thumbnail,
                         .assets = options.assets};
    auto services = services_;
    const std::weak_ptr<bool> alive = alive_;
    return enqueue(options.title, "Share \u00b7 " + permission, ShareKind{permission},
                   [services, snapshot, settings, options, request, alive, this](ExportJobContext& context) {
                       const auto result =
                           shareMovie(services, context, snapshot, settings, options, request, std::nullopt);
                       main_.post([alive, this, result] {
                           if (auto live = alive.lock(); live && *live) lastHostedShare_ = result;
                       });
                       return ExportOutcome::shared(result.url);
                   });
}

Uuid ExportController::updateShare(std::shared_ptr<const SceneRenderSnapshot> snapshot, const ExportSettings& settings,
                                   std::optional<std::string> permission, VideoExportOptions options) {
    ShareRequest request{.title = options.title,
                         .permission = permission.value_or(""),
                         .preset = options.preset,
                         .sidecar = options.sidecar,
                         .thumbnail = options.thumbnail,
                         .assets = options.assets};
    if (!permission && lastHostedShare_ && lastHostedShare_->permission)
        request.permission = *lastHostedShare_->permission;
    // Without an earlier share there is nothing to replace, so the update uploads a new one.
    const auto existing = lastHostedShare_;
    auto services = services_;
    const std::weak_ptr<bool> alive = alive_;
    return enqueue(options.title, "Update share", ShareUpdateKind{permission},
                   [services, snapshot, settings, options, request, existing, alive, this](ExportJobContext& context) {
                       ExportJobContext updating(
                           context.stopToken(),
                           [&context](double fraction, std::optional<std::string> status) {
                               context.report(fraction, "Updating share \u00b7 " + status.value_or("Rendering video"));
                           },
                           [&context](std::string line) { context.log(std::move(line)); });
                       const auto result =
                           shareMovie(services, updating, snapshot, settings, options, request, existing);
                       main_.post([alive, this, result] {
                           if (auto live = alive.lock(); live && *live) lastHostedShare_ = result;
                       });
                       return ExportOutcome::shared(result.url);
                   });
}

Uuid ExportController::post(std::shared_ptr<const SceneRenderSnapshot> snapshot, const ExportSettings& settings,
                            SocialPlatform platform, const fs::path& destination, VideoExportOptions options) {
    auto services = services_;
    return enqueue(options.title, "Post to " + std::string(rawValue(platform)), PostKind{platform},
                   [services, snapshot, settings, options, destination, platform](ExportJobContext& context) {
                       exportMovieFile(services, context, snapshot, settings, options, destination);
                       const auto page = socialUploadPage(platform);
                       // The file is written; failing to open the desktop only costs the shortcut.
                       if (page && services.urlOpener) {
                           try {
                               services.urlOpener->revealFile(destination);
                               services.urlOpener->open(*page);
                           } catch (const std::exception& error) {
                               log::warning(log_area::kExport, "could not hand the export to %s: %s",
                                            std::string(rawValue(platform)).c_str(), error.what());
                           }
                       }
                       return ExportOutcome::file(destination.string());
                   });
}

}  // namespace orvane
