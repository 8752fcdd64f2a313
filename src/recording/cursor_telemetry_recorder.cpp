#include "recording/cursor_telemetry_recorder.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include "base/log.h"
#include "base/log_areas.h"

namespace orvane {

namespace {

// Values above 1 become 1; negatives and NaN become 0 (NaN fails every comparison).
double clampUnit(double value) {
    if (!(value > 0)) return 0;
    return value > 1 ? 1 : value;
}

}  // namespace

std::pair<double, double> normalizedCursorPosition(PointerLocation location, const Rect& displayFrame) {
    // X reports the pointer in root-window pixels with the origin at the top left, the space the
    // displays' rectangles are given in too. A system with bottom-left screen coordinates would
    // first flip y with the primary screen's height; here that flip is the identity, so the
    // primary screen plays no part and a display left of or above it needs nothing special.
    const double cx = (location.x - displayFrame.minX()) / displayFrame.width;
    const double cy = (location.y - displayFrame.minY()) / displayFrame.height;
    return {clampUnit(cx), clampUnit(cy)};
}

// Everything the queue's tasks touch. Shared with those tasks so a button event or a timer tick
// still queued when the recorder goes away finds live memory.
struct CursorTelemetryRecorder::State {
    State(PointerSource& p, Executor& q, Rect frame, int hz) : pointer(p), queue(q), displayFrame(frame), sampleHz(hz) {}

    PointerSource& pointer;
    Executor& queue;
    const Rect displayFrame;
    const int sampleHz;

    // Owned by the queue once sampling has started.
    SteadyTime startMonotonic{};
    std::vector<CursorTelemetryPoint> points;
    bool leftDown = false;
    // A press since the previous sample. A tap or a synthetic click can press and release between
    // two ticks; without this the click would leave no trace in the samples at all.
    bool pressedSinceSample = false;

    void button(bool down) {
        leftDown = down;
        if (down) pressedSinceSample = true;
    }

    void sample() {
        const auto [cx, cy] = normalizedCursorPosition(pointer.location(), displayFrame);
        const auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(queue.now() - startMonotonic);
        points.push_back({elapsed.count() / 1'000'000, cx, cy, leftDown || pressedSinceSample});
        pressedSinceSample = false;
    }
};

CursorTelemetryRecorder::CursorTelemetryRecorder(PointerSource& pointer, Executor& queue, Rect displayFrame,
                                                 int sampleHz)
    : pointer_(pointer), queue_(queue),
      state_(std::make_shared<State>(pointer, queue, displayFrame, std::max(sampleHz, 1))) {}

CursorTelemetryRecorder::~CursorTelemetryRecorder() {
    if (!running_) return;
    timer_.cancel();
    if (clickMonitorActive_) pointer_.stopButtonMonitor();
}

void CursorTelemetryRecorder::start() {
    if (running_) return;
    running_ = true;

    // No queue task touches the state before the first post below, so it is set up from here; the
    // post orders these writes before the queue's reads.
    state_->startMonotonic = queue_.now();
    state_->points.clear();
    state_->leftDown = false;
    state_->pressedSinceSample = false;

    std::weak_ptr<State> weak = state_;
    Executor* queue = &queue_;
    clickMonitorActive_ = pointer_.startButtonMonitor([weak, queue](bool leftDown) {
        queue->post([weak, leftDown] {
            if (auto state = weak.lock()) state->button(leftDown);
        });
    });
    if (!clickMonitorActive_) {
        log::warning(log_area::kCursor, "no global button monitor; clicks are not recorded");
    }

    const auto interval = std::chrono::round<Duration>(std::chrono::duration<double>(1.0 / state_->sampleHz));
    auto state = state_;
    timer_ = queue_.postRepeating(Duration::zero(), interval, [state] { state->sample(); });
}

CursorTelemetry CursorTelemetryRecorder::stop() {
    CursorTelemetry result;
    result.sampleHz = state_->sampleHz;
    if (!running_) return result;
    running_ = false;

    timer_.cancel();
    if (clickMonitorActive_) pointer_.stopButtonMonitor();
    // A tick already running finishes before this task; the cancelled timer posts no further tick.
    auto state = state_;
    queue_.runSync([state, &result] {
        result.points = std::move(state->points);
        state->points.clear();
    });
    log::debug(log_area::kCursor, "stopped with %zu samples", result.points.size());
    return result;
}

}  // namespace orvane
