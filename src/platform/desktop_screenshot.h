#pragma once

#include <filesystem>

namespace orvane {

// A still picture of the screen taken by the desktop itself, where clients may not read the screen
// (Wayland). The desktop chooses what it shows: the whole desktop, or what the user picked.
class DesktopScreenshot {
public:
    virtual ~DesktopScreenshot() = default;

    // Asks the desktop for a screenshot and answers the PNG file it wrote. The file is the
    // desktop's: read it, never move or remove it. Throws ScreenCaptureError when the desktop
    // refuses, the user declines or nothing answers in time.
    virtual std::filesystem::path take() = 0;
};

}  // namespace orvane
