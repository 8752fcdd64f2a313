#pragma once

#include <memory>

#include "platform/pointer_source.h"

namespace orvane {

// The pointer on an X11 desktop: XQueryPointer on the root window for the position, and XInput2 raw
// button events (seen whichever window has the pointer or a grab) on a named thread for the left
// button. Throws ScreenCaptureError when no X server answers.
class X11PointerSource final : public PointerSource {
public:
    X11PointerSource();
    ~X11PointerSource() override;

    PointerLocation location() override;
    // False when the server has no XInput 2.
    bool startButtonMonitor(std::function<void(bool leftDown)> onChange) override;
    void stopButtonMonitor() override;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace orvane
