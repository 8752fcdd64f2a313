#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "platform/screen_capture.h"

namespace orvane {

// Grabs frames at a fixed rate on a thread of its own ("orvane.capture") and hands each new picture
// on. A picture identical to the previous one is an idle frame and is not delivered, the way a
// compositor sends nothing while the screen is still (the writer's tail frame covers the gap), except
// once every `stillFrameInterval`, which keeps the movie's fragments closing.
//
// Two frame buffers take turns: the newest picture and the last one delivered, which a new grab is
// compared with. `deliver` sees the frame only while it runs, on the capture thread, and answers
// false when it dropped it. `onError` runs
// there once when grabbing fails (the window closed, the server went away); capture then ends.
class ScreenCaptureStream {
public:
    using Deliver = std::function<bool(const ScreenFrame&)>;
    using OnError = std::function<void(const std::string& description)>;

    ScreenCaptureStream(std::unique_ptr<FrameGrabber> grabber, int fps, std::chrono::milliseconds stillFrameInterval,
                        Deliver deliver, OnError onError);
    ~ScreenCaptureStream();
    ScreenCaptureStream(const ScreenCaptureStream&) = delete;
    ScreenCaptureStream& operator=(const ScreenCaptureStream&) = delete;

    void start();
    // Ends capture and waits for the thread; no delivery happens after it returns.
    void stop();

    std::uint64_t deliveredFrames() const { return delivered_.load(); }
    std::uint64_t idleFrames() const { return idle_.load(); }
    // Ticks of the frame clock that passed with no grab because the previous one ran too long: frames
    // the movie never got, even though nothing downstream refused them.
    std::uint64_t missedTicks() const { return missed_.load(); }

private:
    void run();

    std::unique_ptr<FrameGrabber> grabber_;
    int fps_;
    std::chrono::milliseconds stillFrameInterval_;
    Deliver deliver_;
    OnError onError_;
    std::atomic<bool> stopping_{false};
    std::atomic<std::uint64_t> delivered_{0};
    std::atomic<std::uint64_t> idle_{0};
    std::atomic<std::uint64_t> missed_{0};
    std::thread thread_;
};

}  // namespace orvane
