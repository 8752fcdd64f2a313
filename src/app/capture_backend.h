#pragma once

#include <stdexcept>
#include <string>

namespace orvane::app {

enum class CaptureBackend { x11, portal };

struct CaptureBackendChoice {
    CaptureBackend backend = CaptureBackend::x11;
    // Chosen by ORVANE_CAPTURE: a failure of that backend is reported, never replaced by another.
    bool forced = false;
};

// ORVANE_CAPTURE ("x11" or "portal") decides when set; otherwise a Wayland session (WAYLAND_DISPLAY
// set and not empty) tries the screen-cast portal first, since X11 grabs see nothing of a Wayland
// desktop. Throws std::invalid_argument for another ORVANE_CAPTURE value.
CaptureBackendChoice chooseCaptureBackend(const char* captureOverride, const char* waylandDisplay);

}  // namespace orvane::app
