#pragma once

#include <memory>
#include <optional>

#include "platform/desktop_screenshot.h"

namespace orvane {

namespace portal {
class PortalBus;
}

// Screenshots through xdg-desktop-portal's Screenshot interface over the session bus (sd-bus), not
// interactive: the desktop may still ask the user once whether Orvane may take screenshots.
class PortalScreenshot final : public DesktopScreenshot {
public:
    // Nothing when no session bus answers or the desktop offers no Screenshot portal.
    static std::unique_ptr<PortalScreenshot> connect();
    explicit PortalScreenshot(std::unique_ptr<portal::PortalBus> bus);
    ~PortalScreenshot() override;

    std::filesystem::path take() override;

private:
    std::unique_ptr<portal::PortalBus> bus_;
};

}  // namespace orvane
