#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/executor.h"
#include "base/signal.h"
#include "base/toast_center.h"
#include "platform/desktop_screenshot.h"
#include "platform/pointer_source.h"
#include "platform/screen_capture.h"
#include "recording/screenshots/screenshot_files.h"

namespace orvane {

// Why a screenshot could not be taken; the message is what the "Screenshot failed" toast shows.
class ScreenshotError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    static ScreenshotError encodingFailed() { return ScreenshotError("Couldn't encode the captured image as PNG."); }
    static ScreenshotError noDisplay() { return ScreenshotError("No display was reported by the X server."); }
};

// The display under the pointer; the primary display (the one at the desktop's origin, else the
// first) when the pointer is on none. Throws ScreenshotError::noDisplay() for an empty list.
const CaptureDisplay& chooseScreenshotDisplay(const std::vector<CaptureDisplay>& displays, PointerLocation pointer);

struct ScreenshotResult {
    std::filesystem::path file;
    int width = 0;  // pixels
    int height = 0;
    ScreenshotDestination destination = ScreenshotDestination::project;
    bool projectActive = false;
};

// Still screenshots of the display under the pointer, saved as PNG. A main-loop object; capture()
// blocks for the grab and the write (a few milliseconds), which the hot key and the CLI accept.
class ScreenshotService {
public:
    // `defaultDestination`: where a screenshot goes unless a capture says otherwise (the user's setting).
    ScreenshotService(ScreenCaptureSystem& capture, PointerSource& pointer, ScreenshotDestination defaultDestination,
                      ToastCenter& toasts, Clock& clock, ScreenshotFolders folders = ScreenshotFolders::system());

    // Where the desktop takes screenshots itself (Wayland), it is asked instead of grabbing the
    // display under the pointer; null goes back to grabbing. Must outlive the service.
    void useDesktopScreenshots(DesktopScreenshot* desktop) { desktop_ = desktop; }

    // Follows a changed setting.
    void setDefaultDestination(ScreenshotDestination destination) { defaultDestination_ = destination; }

    // Captures and saves. `destination` overrides the default one. Throws ScreenshotError,
    // ScreenCaptureError or std::filesystem::filesystem_error; nothing is left on disk then.
    ScreenshotResult capture(const std::optional<std::string>& projectName,
                             std::optional<ScreenshotDestination> destination = std::nullopt);

    // capture(), with a failure shown as the warning toast "Screenshot failed" and logged.
    std::optional<ScreenshotResult> takeScreenshot(const std::optional<std::string>& projectName,
                                                   std::optional<ScreenshotDestination> destination = std::nullopt);

    // A screenshot was saved: lists of screenshots refresh and the cropper opens on the file.
    Signal<std::filesystem::path> screenshotSaved;

private:
    ScreenCaptureSystem& capture_;
    PointerSource& pointer_;
    ScreenshotDestination defaultDestination_;
    ToastCenter& toasts_;
    Clock& clock_;
    ScreenshotFolders folders_;
    DesktopScreenshot* desktop_ = nullptr;
};

}  // namespace orvane
