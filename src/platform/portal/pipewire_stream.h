#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

#include "platform/screen_capture.h"

namespace orvane {

// One PipeWire video stream handed out by the screen-cast portal, consumed on PipeWire's own thread
// ("orvane.pipewire"). The compositor sends a picture only when something changed, so the stream
// keeps the newest one and the capture thread copies it at its own rate: the movie's pacing stays
// with the writer, and a still screen repeats the last picture.
class PipeWireStream {
public:
    // Connects to the PipeWire remote `remoteFD` (taken over) and to the node `nodeID`. Throws
    // ScreenCaptureError when PipeWire refuses.
    PipeWireStream(int remoteFD, std::uint32_t nodeID, int fps);
    ~PipeWireStream();
    PipeWireStream(const PipeWireStream&) = delete;
    PipeWireStream& operator=(const PipeWireStream&) = delete;

    // Waits up to `timeout` until the stream agreed on a format; the picture's size, or nothing
    // when it did not. Throws ScreenCaptureError when the stream failed meanwhile.
    std::optional<Size> waitForFormat(std::chrono::milliseconds timeout);

    // A grabber of `region` (in the picture's pixels) that copies the newest picture. It throws
    // ScreenCaptureError once the stream has ended or no first picture came in time.
    std::unique_ptr<FrameGrabber> grabber(const Rect& region, bool drawCursor);

    // Where the pointer was in the last picture the compositor sent, in the picture's pixels, when
    // the stream carries cursor metadata. A report marked invalid (the pointer left the picture,
    // on some desktops) keeps the last valid place.
    std::optional<PointerLocation> cursor() const;

    // Pictures the compositor sent, and those replaced by a newer one before anyone copied them.
    std::uint64_t receivedFrames() const;
    std::uint64_t supersededFrames() const;

    struct Impl;

private:
    std::shared_ptr<Impl> impl_;
};

}  // namespace orvane
