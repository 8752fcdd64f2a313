#pragma once

#include "platform/pointer_source.h"
#include "platform/portal/portal_screen_capture.h"

namespace orvane {

// The pointer as the screen-cast stream reports it, in the picked picture's pixels (the picture is
// the one display, at 0,0). Wayland gives clients no global pointer and no global button events, so
// there is no button monitor here.
class PortalPointerSource final : public PointerSource {
public:
    explicit PortalPointerSource(PortalScreenCapture& capture) : capture_(capture) {}

    // Where the stream last saw the pointer; before its first report, the picture's top left.
    PointerLocation location() override {
        if (auto seen = capture_.pointerInPicture()) last_ = *seen;
        return last_;
    }
    bool startButtonMonitor(std::function<void(bool)>) override { return false; }
    void stopButtonMonitor() override {}

private:
    PortalScreenCapture& capture_;
    PointerLocation last_;
};

}  // namespace orvane
