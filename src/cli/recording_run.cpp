#include "cli/recording_run.h"

#include <stdexcept>
#include <string>

#include "app/preference_adapters.h"
#include "app/preferences.h"
#include "app/recording_analytics.h"
#include "app/services.h"
#include "platform/screen_capture.h"

namespace orvane::cli {

SourceCatalogSnapshot loadCatalog(ScreenCaptureSystem& capture) {
    try {
        return buildSourceCatalog(capture.shareableContent(), false);
    } catch (const std::exception& e) {
        throw std::runtime_error(std::string("Could not load sources: ") + e.what());
    }
}

RecordingRun::RecordingRun(app::Services& services)
    : services_(services), signals_(services.mainLoop(), [this] {
          if (running_) running_->stop();
      }) {}

std::optional<RecordingReply> RecordingRun::run(RecordingRequest request, const SourceCatalogSnapshot& catalog,
                                                const StateObserver& onState) {
    EventLoop& loop = services_.mainLoop();
    Preferences& preferences = services_.preferences();
    recorder_ = std::make_unique<ScreenRecorder>(services_.recorderServices(request.options));
    flow_ = std::make_unique<RecordingFlow>(*recorder_, services_.library(), selection_, preferences.lastUsedSourceID(),
                                            rememberLastUsedSource(preferences), nullptr);
    RecordingAnalytics reporting(services_.analytics());
    std::optional<RecordingReply> reply;
    request.reply = [&](const RecordingReply& answer) {
        reply = answer;
        reporting.answered(answer, recorder_->state());
        loop.post([&loop] { loop.stop(); });
    };
    // Dropped before returning: the observer belongs to the caller's locals, which may go first.
    auto subscription = recorder_->observeState([&](const ScreenRecorder::State& state) {
        reporting.recorderChanged(state);
        onState(*recorder_, state);
    });
    running_ = recorder_.get();
    // The recorder reports its first state changes on the next turns of the loop.
    if (flow_->start(std::move(request), catalog)) loop.run();
    running_ = nullptr;
    return reply;
}

}  // namespace orvane::cli
