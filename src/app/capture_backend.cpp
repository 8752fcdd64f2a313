#include "app/capture_backend.h"

#include <string_view>

namespace orvane::app {

CaptureBackendChoice chooseCaptureBackend(const char* captureOverride, const char* waylandDisplay) {
    if (captureOverride && *captureOverride) {
        const std::string_view value(captureOverride);
        if (value == "x11") return {CaptureBackend::x11, true};
        if (value == "portal") return {CaptureBackend::portal, true};
        throw std::invalid_argument("ORVANE_CAPTURE must be \"x11\" or \"portal\", not \"" + std::string(value) +
                                    "\".");
    }
    if (waylandDisplay && *waylandDisplay) return {CaptureBackend::portal, false};
    return {CaptureBackend::x11, false};
}

}  // namespace orvane::app
