#include "app/export_analytics.h"

#include <stdexcept>

namespace orvane {

namespace {

struct Events {
    AnalyticsEvent started, completed, failed;
};

Events eventsOf(const ExportTaskKind& kind) {
    struct Visitor {
        Events operator()(const ExportKind&) const {
            return {AnalyticsEvent::exportStarted, AnalyticsEvent::exportCompleted, AnalyticsEvent::exportFailed};
        }
        Events operator()(const ShareKind&) const {
            return {AnalyticsEvent::shareStarted, AnalyticsEvent::shareCompleted, AnalyticsEvent::shareFailed};
        }
        Events operator()(const ShareUpdateKind&) const {
            return {AnalyticsEvent::shareUpdateStarted, AnalyticsEvent::shareUpdateCompleted,
                    AnalyticsEvent::shareUpdateFailed};
        }
        Events operator()(const PostKind&) const {
            return {AnalyticsEvent::socialExportStarted, AnalyticsEvent::socialExportCompleted,
                    AnalyticsEvent::socialExportFailed};
        }
    };
    return std::visit(Visitor{}, kind);
}

AnalyticsProperties describe(const ExportTask& task) {
    AnalyticsProperties properties;
    if (const auto* share = std::get_if<ShareKind>(&task.kind)) properties["permission"] = share->permission;
    if (const auto* post = std::get_if<PostKind>(&task.kind)) {
        properties["social_platform"] = std::string(rawValue(post->platform));
    }
    return properties;
}

}  // namespace

ExportAnalytics::ExportAnalytics(ExportController& controller, AppAnalyticsClient& analytics, const Clock& clock)
    : controller_(controller), analytics_(analytics), clock_(clock) {
    subscription_ = controller_.changed.subscribe([this] { update(); });
    update();
}

void ExportAnalytics::update() {
    using Kind = ExportTaskStage::Kind;
    for (const auto& task : controller_.tasks()) {
        auto [entry, added] = seen_.try_emplace(task.id);
        auto& seen = entry->second;
        if (!added && seen.kind == task.stage.kind) continue;
        const auto before = added ? Kind::queued : seen.kind;
        seen.kind = task.stage.kind;
        if (before != Kind::queued && before != Kind::running) continue;  // already reported as finished
        const auto events = eventsOf(task.kind);
        auto properties = describe(task);
        if (before == Kind::queued && task.stage.kind != Kind::queued) {
            seen.startedAt = clock_.now();
            analytics_.track(events.started, properties);
        }
        switch (task.stage.kind) {
            case Kind::succeeded:
                properties["duration_bucket"] =
                    analyticsDurationBucket(std::chrono::duration<double>(clock_.now() - seen.startedAt).count());
                analytics_.track(events.completed, std::move(properties));
                break;
            case Kind::failed: {
                const std::runtime_error error(task.stage.message.value_or("unknown"));
                properties.merge(analyticsFailureProperties(error));
                analytics_.track(events.failed, std::move(properties));
                break;
            }
            default: break;
        }
    }
}

}  // namespace orvane
