#pragma once

#include <memory>

#include "base/executor.h"
#include "model/cursor_telemetry.h"
#include "base/geometry.h"
#include "platform/pointer_source.h"

namespace orvane {

// Samples the global pointer at `sampleHz` during one capture and returns the samples on stop.
// A sample reads pressed while the left button is held, and also when a press came since the
// previous sample, so a click shorter than one interval is never lost.
//
// Threads: start(), stop() and clickMonitorActive() are called from the owning thread (the main
// loop). Sampling and every change to the samples and the button state run on `queue`, the
// sampler's own serial queue (labelled "<bundle id>.cursor"); button events are handed to it.
// The queue and the pointer source must outlive the recorder.
class CursorTelemetryRecorder {
public:
    // `displayFrame`: the captured display in the pointer source's global pixel space.
    CursorTelemetryRecorder(PointerSource& pointer, Executor& queue, Rect displayFrame, int sampleHz = 60);
    ~CursorTelemetryRecorder();
    CursorTelemetryRecorder(const CursorTelemetryRecorder&) = delete;
    CursorTelemetryRecorder& operator=(const CursorTelemetryRecorder&) = delete;

    // Starts sampling: the first sample is taken at once, then one every 1/sampleHz seconds.
    void start();
    // Stops sampling and answers what was recorded; no sample is added afterwards.
    CursorTelemetry stop();

    // Whether the button monitor could be installed, so `pressed` in the samples means something.
    bool clickMonitorActive() const { return clickMonitorActive_; }

private:
    struct State;

    PointerSource& pointer_;
    Executor& queue_;
    std::shared_ptr<State> state_;
    TimerHandle timer_;
    bool running_ = false;
    bool clickMonitorActive_ = false;
};

// One sample's position: the pointer relative to `displayFrame` as fractions of its size, each
// clamped to 0...1 with NaN read as 0.
std::pair<double, double> normalizedCursorPosition(PointerLocation location, const Rect& displayFrame);

}  // namespace orvane
