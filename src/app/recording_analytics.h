#pragma once

// Reports one recording to product analytics: that it was asked for, that capture began, and how it
// ended. The command line and the studio each keep one beside the recorder they start, so a
// recording reports the same events whichever front end made it.

#include "recording/recording_flow.h"
#include "recording/screen_recorder.h"

namespace orvane {

class AppAnalyticsClient;

// A main-loop object, like the analytics client it reports to.
class RecordingAnalytics {
public:
    // Reports the request.
    explicit RecordingAnalytics(AppAnalyticsClient& analytics);

    // Each state the recorder reports; the first `recording` is the start.
    void recorderChanged(const ScreenRecorder::State& state);
    // The flow's answer and the recorder's state when it came: completed, cancelled before capture
    // began, or failed with the recorder's own reason when it has one.
    void answered(const RecordingReply& reply, const ScreenRecorder::State& recorder);

private:
    AppAnalyticsClient& analytics_;
    bool started_ = false;
    bool answered_ = false;
};

}  // namespace orvane
