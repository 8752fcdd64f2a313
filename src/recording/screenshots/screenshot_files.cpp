#include "recording/screenshots/screenshot_files.h"

#include <cstdlib>
#include <ctime>
#include <string_view>

#include "base/log.h"
#include "base/log_areas.h"
#include "base/text.h"
#include "media/external_tools.h"

namespace orvane {

namespace fs = std::filesystem;

std::string_view rawValue(ScreenshotDestination destination) {
    return destination == ScreenshotDestination::desktop ? "desktop" : "project";
}

ScreenshotDestination screenshotDestinationFromRaw(std::string_view raw) {
    return raw == "desktop" ? ScreenshotDestination::desktop : ScreenshotDestination::project;
}

std::string screenshotFileName(SystemTime now) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[64];
    // Digits only, so the POSIX locale's form is every locale's form.
    std::strftime(text, sizeof text, "Orvane %Y-%m-%d at %H.%M.%S.png", &local);
    return text;
}

std::string sanitizedProjectFolderName(std::string_view projectName) {
    static constexpr std::string_view kSeparators = "/\\:|*?\"<>";
    std::string name;
    for (char c : trimWhitespaceAndNewlines(projectName)) {
        name += kSeparators.find(c) == std::string_view::npos ? c : '-';
    }
    std::size_t dots = 0;
    while (dots < name.size() && name[dots] == '.') ++dots;
    name.erase(0, dots);
    // 96 characters, not bytes: never cut a UTF-8 sequence in half.
    std::size_t characters = 0;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if ((static_cast<unsigned char>(name[i]) & 0xC0) != 0x80 && ++characters > 96) {
            name.resize(i);
            break;
        }
    }
    return name;
}

ScreenshotFolders ScreenshotFolders::system() {
    ScreenshotFolders folders;
    const char* home = std::getenv("HOME");
    folders.home = home && *home ? fs::path(home) : fs::path("/");
    folders.userDirectory = [](std::string_view name) -> std::optional<fs::path> {
        const auto tool = FFmpegTool::locate("xdg-user-dir");
        if (!tool) return std::nullopt;
        try {
            const auto output = FFmpegTool::run(*tool, {std::string(name)});
            const auto path = trimWhitespaceAndNewlines(output.standardOutput);
            if (path.empty()) return std::nullopt;
            return fs::path(path);
        } catch (const std::exception& e) {
            log::warning(log_area::kScreenshot, "xdg-user-dir %.*s failed: %s", static_cast<int>(name.size()),
                         name.data(), e.what());
            return std::nullopt;
        }
    };
    return folders;
}

namespace {

// xdg-user-dir answers the home folder itself for a folder the user never set up; saving screenshots
// loose in home would be a surprise, so that counts as unknown.
std::optional<fs::path> configured(const ScreenshotFolders& folders, std::string_view name) {
    if (!folders.userDirectory) return std::nullopt;
    auto path = folders.userDirectory(name);
    if (!path || !path->is_absolute()) return std::nullopt;
    if (path->lexically_normal() == folders.home.lexically_normal() ||
        path->lexically_normal() == (folders.home / "").lexically_normal()) {
        return std::nullopt;
    }
    return path;
}

}  // namespace

fs::path ScreenshotFolders::desktop() const { return configured(*this, "DESKTOP").value_or(home / "Desktop"); }

fs::path ScreenshotFolders::pictures() const { return configured(*this, "PICTURES").value_or(home / "Pictures"); }

fs::path screenshotFolder(ScreenshotDestination destination, const std::optional<std::string>& projectName,
                          const ScreenshotFolders& folders) {
    if (destination == ScreenshotDestination::desktop) return folders.desktop();
    auto folder = folders.pictures() / "Orvane Screenshots";
    if (projectName) {
        const auto name = sanitizedProjectFolderName(*projectName);
        if (!name.empty()) folder /= name;
    }
    return folder;
}

}  // namespace orvane
