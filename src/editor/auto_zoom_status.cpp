#include "editor/auto_zoom_status.h"

namespace orvane {

std::optional<AutoZoomBanner> autoZoomBanner(const AutoZoomStatus& status) {
    using Kind = AutoZoomStatus::Kind;
    switch (status.kind) {
    case Kind::ready: {
        if (status.count < 1) return std::nullopt;
        std::string text = "Auto-zoomed " + std::to_string(status.count) + " click cluster";
        if (status.count != 1) text += "s";
        text += " \u00b7 right-click to delete";
        return AutoZoomBanner{"plus.magnifyingglass", text};
    }
    case Kind::noClicks:
        return AutoZoomBanner{"hand.tap", "No clicks detected \u2014 add zooms manually with the toolbar"};
    case Kind::noCursorTrack:
        return AutoZoomBanner{"cursorarrow.slash", "Imported video \u2014 no cursor data, auto-zoom unavailable"};
    case Kind::clickCaptureDisabled:
        return AutoZoomBanner{"hand.raised.slash.fill",
                              "Click capture disabled \u2014 grant Input Monitoring in System Settings"};
    case Kind::unknown:
    case Kind::computing:
    case Kind::pendingDuration:
        return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace orvane
