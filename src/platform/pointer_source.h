#pragma once

#include <functional>

namespace orvane {

// A pointer position in global pixels, origin at the top left of the X screen (the root window),
// the same space the capture's display rectangles are given in.
struct PointerLocation {
    double x = 0;
    double y = 0;
};

// The global pointer: its position and a monitor of the left button. The X11 implementation queries
// the pointer on the root window and listens to raw button events; tests use a fake.
//
// location() is called from the cursor sampler's own serial queue, startButtonMonitor() and
// stopButtonMonitor() from the thread that owns the sampler; `onChange` may be called on any thread
// until stopButtonMonitor() returns.
class PointerSource {
public:
    virtual ~PointerSource() = default;

    virtual PointerLocation location() = 0;

    // Reports left-button down (true) and up (false) events delivered anywhere on the display.
    // Answers false when no monitor can be installed; `onChange` is then never called.
    virtual bool startButtonMonitor(std::function<void(bool leftDown)> onChange) = 0;
    virtual void stopButtonMonitor() = 0;
};

}  // namespace orvane
