#pragma once

// Reports the export queue's tasks to product analytics as they start, finish and fail: exports,
// shares, share updates and social posts each have their own events.

#include <map>

#include "app/analytics.h"
#include "base/signal.h"
#include "base/uuid.h"
#include "export/export_controller.h"

namespace orvane {

// A main-loop object, living no longer than the controller it watches.
class ExportAnalytics {
public:
    ExportAnalytics(ExportController& controller, AppAnalyticsClient& analytics, const Clock& clock);
    ExportAnalytics(const ExportAnalytics&) = delete;
    ExportAnalytics& operator=(const ExportAnalytics&) = delete;

private:
    void update();

    ExportController& controller_;
    AppAnalyticsClient& analytics_;
    const Clock& clock_;
    // The stage each task was last seen in, and when it began to run.
    struct Seen {
        ExportTaskStage::Kind kind = ExportTaskStage::Kind::queued;
        SteadyTime startedAt{};
    };
    std::map<Uuid, Seen> seen_;
    Subscription subscription_;
};

}  // namespace orvane
