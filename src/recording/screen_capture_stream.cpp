#include "recording/screen_capture_stream.h"

#include <chrono>
#include <cstring>
#include <utility>

#include "base/log.h"
#include "base/log_areas.h"
#include "base/thread_name.h"

namespace orvane {

ScreenCaptureStream::ScreenCaptureStream(std::unique_ptr<FrameGrabber> grabber, int fps,
                                         std::chrono::milliseconds stillFrameInterval, Deliver deliver, OnError onError)
    : grabber_(std::move(grabber)), fps_(fps > 0 ? fps : 60), stillFrameInterval_(stillFrameInterval),
      deliver_(std::move(deliver)), onError_(std::move(onError)) {}

ScreenCaptureStream::~ScreenCaptureStream() { stop(); }

void ScreenCaptureStream::start() {
    if (thread_.joinable()) return;
    stopping_ = false;
    thread_ = std::thread([this] { run(); });
}

void ScreenCaptureStream::stop() {
    stopping_ = true;
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void ScreenCaptureStream::run() {
    setCurrentThreadName("orvane.capture");
    using Clock = std::chrono::steady_clock;
    const auto interval = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / fps_));
    auto next = Clock::now();
    ScreenFrame frame;
    ScreenFrame previous;
    Clock::time_point lastDelivered{};
    while (!stopping_) {
        // A still screen still gets a frame now and then: the movie is written in fragments that
        // close only when frames arrive, and a process killed during a long still stretch should
        // lose no more than during motion.
        const bool stillFrameDue = previous.bgra.empty() || Clock::now() - lastDelivered >= stillFrameInterval_;
        bool unchanged = false;
        try {
            // A grabber that knows nothing changed spares the grab and the compare.
            unchanged = !stillFrameDue && !grabber_->mayHaveChanged();
            if (!unchanged) grabber_->grab(frame);
        } catch (const std::exception& e) {
            log::error(log_area::kRecorder, "capture stopped: %s", e.what());
            if (!stopping_) onError_(e.what());
            return;
        }
        if (!unchanged) {
            unchanged = !previous.bgra.empty() && previous.bgra.size() == frame.bgra.size() &&
                        std::memcmp(previous.bgra.data(), frame.bgra.data(), frame.bgra.size()) == 0;
        }
        if (unchanged && !stillFrameDue) {
            ++idle_;
        } else {
            lastDelivered = frame.time;
            if (deliver_(frame)) ++delivered_;
            // No copy: the picture just delivered becomes the one to compare with, and the next
            // grab overwrites the older buffer.
            if (!unchanged) std::swap(frame, previous);
        }
        // Ticks that passed during a slow grab are skipped rather than caught up (a burst of grabs
        // would only show the same moment) but counted, and the clock keeps its phase. A grab less
        // than a tick late still serves its tick.
        next += interval;
        const auto now = Clock::now();
        if (now - next >= interval) {
            const auto late = static_cast<std::uint64_t>((now - next) / interval);
            missed_ += late;
            next += interval * static_cast<Clock::rep>(late);
        }
        std::this_thread::sleep_until(next);
    }
}

}  // namespace orvane
