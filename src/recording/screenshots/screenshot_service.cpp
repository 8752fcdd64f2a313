#include "recording/screenshots/screenshot_service.h"

#include <algorithm>

#include "base/log.h"
#include "base/log_areas.h"
#include "recording/screenshots/screenshot_crop.h"

namespace orvane {

namespace fs = std::filesystem;

namespace {

bool contains(const Rect& frame, PointerLocation point) {
    return point.x >= frame.minX() && point.x < frame.maxX() && point.y >= frame.minY() && point.y < frame.maxY();
}

// Screens are opaque: whatever the server leaves in the alpha byte, the picture is fully opaque,
// which also makes the BGRA bytes valid premultiplied ARGB32.
RgbaImage opaqueImage(const ScreenFrame& frame) {
    RgbaImage image;
    image.width = frame.width;
    image.height = frame.height;
    image.stride = frame.width * 4;
    image.pixels.resize(static_cast<std::size_t>(image.stride) * image.height);
    for (int y = 0; y < frame.height; ++y) {
        const std::uint8_t* source = frame.bgra.data() + static_cast<std::size_t>(y) * frame.stride;
        std::uint8_t* target = image.pixels.data() + static_cast<std::size_t>(y) * image.stride;
        for (int x = 0; x < frame.width; ++x) {
            target[4 * x] = source[4 * x];
            target[4 * x + 1] = source[4 * x + 1];
            target[4 * x + 2] = source[4 * x + 2];
            target[4 * x + 3] = 0xFF;
        }
    }
    return image;
}

// Two screenshots within one second would share a name; the second gets " 2" rather than
// replacing the first.
fs::path unusedName(const fs::path& folder, const std::string& name) {
    auto candidate = folder / name;
    const auto stem = fs::path(name).stem().string();
    for (int number = 2; fs::exists(candidate); ++number) {
        candidate = folder / (stem + " " + std::to_string(number) + ".png");
    }
    return candidate;
}

}  // namespace

const CaptureDisplay& chooseScreenshotDisplay(const std::vector<CaptureDisplay>& displays, PointerLocation pointer) {
    if (displays.empty()) throw ScreenshotError::noDisplay();
    const auto under = std::find_if(displays.begin(), displays.end(),
                                    [&](const CaptureDisplay& display) { return contains(display.frame, pointer); });
    if (under != displays.end()) return *under;
    const auto primary = std::find_if(displays.begin(), displays.end(), [](const CaptureDisplay& display) {
        return display.frame.x == 0 && display.frame.y == 0;
    });
    return primary != displays.end() ? *primary : displays.front();
}

ScreenshotService::ScreenshotService(ScreenCaptureSystem& capture, PointerSource& pointer,
                                     ScreenshotDestination defaultDestination, ToastCenter& toasts, Clock& clock,
                                     ScreenshotFolders folders)
    : capture_(capture),
      pointer_(pointer),
      defaultDestination_(defaultDestination),
      toasts_(toasts),
      clock_(clock),
      folders_(std::move(folders)) {}

ScreenshotResult ScreenshotService::capture(const std::optional<std::string>& projectName,
                                            std::optional<ScreenshotDestination> destination) {
    ScreenshotResult result;
    result.destination = destination.value_or(defaultDestination_);
    result.projectActive = projectName.has_value();

    std::string source;
    RgbaImage image;
    if (desktop_) {
        // The desktop's own file stays where it put it; ours is written by the same rules as a grab.
        const auto taken = desktop_->take();
        try {
            image = readScreenshotPng(taken);
        } catch (const ScreenshotCropError&) {
            throw ScreenshotError("The desktop's screenshot could not be read.");
        }
        source = "desktop";
    } else {
        const auto content = capture_.shareableContent();
        const auto& display = chooseScreenshotDisplay(content.displays, pointer_.location());
        // The display's native pixels: X11 reports displays in pixels, so there is no scale to apply.
        auto grabber = capture_.grabRegion(display.frame, true, {});
        ScreenFrame frame;
        grabber->grab(frame);
        if (frame.width <= 0 || frame.height <= 0 || frame.bgra.empty()) throw ScreenshotError::encodingFailed();
        image = opaqueImage(frame);
        source = display.outputName;
    }

    const auto folder = screenshotFolder(result.destination, projectName, folders_);
    fs::create_directories(folder);
    result.file = unusedName(folder, screenshotFileName(clock_.wallNow()));
    try {
        writeScreenshotPng(image, result.file);
    } catch (const ScreenshotCropError&) {
        throw ScreenshotError::encodingFailed();
    }
    result.width = image.width;
    result.height = image.height;
    log::info(log_area::kScreenshot, "saved %s destination=%s projectActive=%d size=%dx%d display=%s",
              result.file.c_str(), std::string(rawValue(result.destination)).c_str(), result.projectActive ? 1 : 0,
              result.width, result.height, source.c_str());
    screenshotSaved.emit(result.file);
    return result;
}

std::optional<ScreenshotResult> ScreenshotService::takeScreenshot(const std::optional<std::string>& projectName,
                                                                  std::optional<ScreenshotDestination> destination) {
    try {
        return capture(projectName, destination);
    } catch (const std::exception& e) {
        log::warning(log_area::kScreenshot, "screenshot failed: %s", e.what());
        toasts_.post(ToastLevel::warning, "Screenshot failed", std::string(e.what()));
        return std::nullopt;
    }
}

}  // namespace orvane
