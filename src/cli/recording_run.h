#pragma once

// One recording made from the command line. `record` and `agent-record` start capture the same way:
// through the recording flow, stopped by Ctrl-C or SIGTERM, with the main loop turning until the flow
// answers.

#include <functional>
#include <memory>
#include <optional>

#include "platform/linux/stop_signals.h"
#include "recording/recording_flow.h"
#include "recording/screen_recorder.h"

namespace orvane {

class ScreenCaptureSystem;

namespace app {
class Services;
}

namespace cli {

// The sources a recording can choose from; a failure to list them is the command's error.
SourceCatalogSnapshot loadCatalog(ScreenCaptureSystem& capture);

class RecordingRun {
public:
    using StateObserver = std::function<void(ScreenRecorder&, const ScreenRecorder::State&)>;

    // Watches Ctrl-C and SIGTERM, so build it before any thread starts: every thread then inherits
    // the blocked signals.
    explicit RecordingRun(app::Services& services);

    // Starts `request` through the recording flow and turns the main loop until the flow answers.
    // `onState` sees each state of the recorder while the loop turns. Returns the flow's answer; none
    // when it never gave one.
    std::optional<RecordingReply> run(RecordingRequest request, const SourceCatalogSnapshot& catalog,
                                      const StateObserver& onState);

    // Valid once run() has been called.
    ScreenRecorder& recorder() { return *recorder_; }
    const RecordingFlow& flow() const { return *flow_; }

private:
    app::Services& services_;
    ScreenRecorder* running_ = nullptr;
    StopSignals signals_;
    RecordingSelectionStore selection_;
    std::unique_ptr<ScreenRecorder> recorder_;
    std::unique_ptr<RecordingFlow> flow_;
};

}  // namespace cli
}  // namespace orvane
