#include "platform/portal/portal_screenshot.h"

#include <curl/curl.h>

#include "base/log.h"
#include "base/log_areas.h"
#include "platform/portal/portal_bus.h"
#include "platform/screen_capture.h"

namespace orvane {

namespace {

constexpr const char* kScreenshot = "org.freedesktop.portal.Screenshot";
// The desktop may show a dialog that asks whether Orvane may take screenshots.
constexpr auto kAnswerTimeout = std::chrono::seconds(60);

}  // namespace

std::unique_ptr<PortalScreenshot> PortalScreenshot::connect() {
    try {
        auto bus = std::make_unique<portal::PortalBus>();
        const auto version = bus->interfaceVersion(kScreenshot);
        if (!version) return nullptr;
        log::info(log_area::kScreenshot, "screenshot portal version %u", *version);
        return std::make_unique<PortalScreenshot>(std::move(bus));
    } catch (const portal::PortalError& e) {
        log::info(log_area::kScreenshot, "no screenshot portal: %s", e.what());
        return nullptr;
    }
}

PortalScreenshot::PortalScreenshot(std::unique_ptr<portal::PortalBus> bus) : bus_(std::move(bus)) {}

PortalScreenshot::~PortalScreenshot() = default;

std::filesystem::path PortalScreenshot::take() {
    portal::PortalBus::Response response;
    try {
        response = bus_->request(
            kScreenshot, "Screenshot", [](sd_bus_message* call) { return sd_bus_message_append(call, "s", ""); },
            {{"interactive", false}, {"modal", false}}, kAnswerTimeout);
    } catch (const portal::PortalError& e) {
        throw ScreenCaptureError(e.what());
    }
    if (response.code == 1) throw ScreenCaptureError("The desktop's dialog declined the screenshot.");
    if (response.code != 0) throw ScreenCaptureError("The desktop could not take a screenshot.");
    std::string uri;
    portal::readDictionary(response.results.get(), [&](const std::string& key, sd_bus_message* m) {
        const char* text = nullptr;
        if (key != "uri" || sd_bus_message_read(m, "v", "s", &text) < 0) return false;
        uri = text;
        return true;
    });
    // The answer is a file: URI, with its path percent-encoded.
    constexpr std::string_view kScheme = "file://";
    if (uri.rfind(kScheme, 0) != 0) throw ScreenCaptureError("The desktop's screenshot is not a local file.");
    int length = 0;
    const std::string encoded = uri.substr(kScheme.size());
    char* decoded = curl_easy_unescape(nullptr, encoded.c_str(), static_cast<int>(encoded.size()), &length);
    if (!decoded) throw ScreenCaptureError("The desktop's screenshot is not a local file.");
    const std::string path(decoded, static_cast<std::size_t>(length));
    curl_free(decoded);
    if (path.find('\0') != std::string::npos || path.empty() || path.front() != '/')
        throw ScreenCaptureError("The desktop's screenshot is not a local file.");
    std::filesystem::path file(path);
    log::info(log_area::kScreenshot, "the desktop saved its screenshot as %s", file.c_str());
    return file;
}

}  // namespace orvane
