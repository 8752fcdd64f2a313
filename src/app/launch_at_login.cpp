#include "app/launch_at_login.h"

#include <cstdlib>
#include <exception>
#include <system_error>

#include "app/preferences.h"
#include "base/atomic_file.h"
#include "base/text.h"
#include "platform/linux/desktop_entry.h"
#include "platform/xdg_paths.h"

namespace orvane {

namespace {

// Sessions honour Hidden=true (the XDG autostart standard's way to switch an entry off) and GNOME also its own key;
// a user who disabled the entry in the session's settings has turned it off.
bool entryIsActive(const std::string& text) {
    std::size_t start = 0;
    while (start < text.size()) {
        const auto end = text.find('\n', start);
        const std::string line = trimWhitespaceAndNewlines(
            std::string_view(text).substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (line == "Hidden=true" || line == "X-GNOME-Autostart-enabled=false") return false;
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return text.find("[Desktop Entry]") != std::string::npos;
}

}  // namespace

LaunchAtLoginController::LaunchAtLoginController(Preferences& preferences,
                                                 std::optional<std::filesystem::path> studioExecutable, bool installed)
    : preferences_(preferences), studioExecutable_(std::move(studioExecutable)), installed_(installed) {
    refresh();
}

std::filesystem::path LaunchAtLoginController::autostartEntryPath() {
    return XdgPaths::configHome() / "autostart" / "orvane-studio.desktop";
}

bool LaunchAtLoginController::runsFromInstalledLocation(const std::filesystem::path& executable) {
    if (const char* image = std::getenv("APPIMAGE"); image && *image) return true;
    const auto bin = executable.parent_path();
    std::error_code error;
    return bin.filename() == "bin" && std::filesystem::is_directory(bin.parent_path() / "share" / "orvane", error);
}

std::string LaunchAtLoginController::statusText() const {
    switch (status_) {
        case LaunchAtLoginStatus::enabled: return "Starts at login";
        case LaunchAtLoginStatus::requiresApproval: return "Approve in System Settings";
        case LaunchAtLoginStatus::notFound: return "Unavailable";
        case LaunchAtLoginStatus::notRegistered: return "Off";
    }
    return "Off";
}

void LaunchAtLoginController::refresh() {
    const auto text = readFileContents(autostartEntryPath(), kSmallFileLimit);
    std::error_code error;
    if (text && entryIsActive(*text)) {
        status_ = LaunchAtLoginStatus::enabled;
    } else if (!studioExecutable_ || !std::filesystem::exists(*studioExecutable_, error)) {
        status_ = LaunchAtLoginStatus::notFound;
    } else {
        status_ = LaunchAtLoginStatus::notRegistered;
    }
    changed_.emit();
}

void LaunchAtLoginController::setEnabled(bool enabled) {
    errorMessage_.reset();
    try {
        if (enabled) {
            if (!isEnabled()) {
                if (!studioExecutable_) throw std::runtime_error("The studio's program could not be found.");
                DesktopEntry entry;
                entry.comment = "Start Orvane when you log in";
                entry.executable = *studioExecutable_;
                entry.icon = "orvane-studio";
                entry.noDisplay = true;
                const auto path = autostartEntryPath();
                std::filesystem::create_directories(path.parent_path());
                writeFileAtomically(path, entry.text());
            }
        } else {
            std::filesystem::remove(autostartEntryPath());
        }
    } catch (const std::exception& e) {
        errorMessage_ = e.what();
    }
    refresh();
}

void LaunchAtLoginController::applyDefaultIfNeeded() {
    if (preferences_.launchAtLoginDefaultConfigured()) return;
    preferences_.setLaunchAtLoginDefaultConfigured(true);
    refresh();
    if (installed_ && status_ != LaunchAtLoginStatus::enabled && status_ != LaunchAtLoginStatus::requiresApproval) {
        setEnabled(true);
    }
}

}  // namespace orvane
