#pragma once

#include <memory>

#include "platform/screen_capture.h"

namespace orvane {

// Screen capture on an X11 desktop: XRandR outputs for displays, the window manager's EWMH client
// list for windows, MIT-SHM grabs of the root window (plain XGetImage when shared memory is not
// available, e.g. over a remote connection) with the pointer drawn in from XFixes; XComposite for
// windows' own pictures.
class X11ScreenCapture final : public ScreenCaptureSystem {
public:
    // Connects to $DISPLAY; throws ScreenCaptureError when no X server answers.
    X11ScreenCapture();
    ~X11ScreenCapture() override;

    ShareableContent shareableContent() override;
    std::unique_ptr<FrameGrabber> grabRegion(const Rect& region, bool showCursor,
                                             const std::vector<std::uint64_t>& leftOut) override;
    std::unique_ptr<FrameGrabber> grabWindow(std::uint64_t windowID, const Rect& crop, bool showCursor) override;
    void activateWindow(std::uint64_t windowID) override;
    std::vector<CaptureWindow> normalWindowsOn(const Rect& displayFrame) override;
    std::unique_ptr<FrameGrabber> grabWindowsOverTransparency(const Rect& displayFrame,
                                                              const std::vector<std::uint64_t>& windowIDs,
                                                              bool showCursor) override;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace orvane
