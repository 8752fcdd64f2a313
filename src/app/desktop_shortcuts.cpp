#include "app/desktop_shortcuts.h"

#include <unistd.h>

#include <cstdlib>
#include <sstream>

#include "platform/portal/portal_offers.h"

namespace orvane::app {

namespace {

bool executable(const std::filesystem::path& file) {
    std::error_code error;
    return std::filesystem::is_regular_file(file, error) && ::access(file.c_str(), X_OK) == 0;
}

// Single quotes keep every character as it is; a quote inside becomes '\''.
std::string shellQuoted(const std::string& text) {
    if (text.find_first_of(" \t'\"\\$`!*?[]{}()<>|&;#~") == std::string::npos) return text;
    std::string quoted = "'";
    for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

}  // namespace

std::string orvaneCommandForDesktop(const std::string& path, const std::filesystem::path& programFolder) {
    std::istringstream folders(path);
    for (std::string folder; std::getline(folders, folder, ':');) {
        if (!folder.empty() && executable(std::filesystem::path(folder) / "orvane")) return "orvane";
    }
    const auto beside = programFolder / "orvane";
    if (!programFolder.empty() && executable(beside)) return shellQuoted(beside.string());
    return "orvane";
}

std::vector<DesktopShortcutCommand> desktopShortcutCommands(const std::string& orvaneCommand) {
    return {{"New recording", orvaneCommand + " open \"orvane://record\""},
            {"Screenshot", orvaneCommand + " screenshot"}};
}

GlobalShortcutSupport globalShortcutSupport() {
    GlobalShortcutSupport support;
    const char* display = std::getenv("WAYLAND_DISPLAY");
    support.wayland = display && *display;
    if (!support.wayland) return support;
    support.portalVersion = offeredPortalVersion("org.freedesktop.portal.GlobalShortcuts");
    return support;
}

}  // namespace orvane::app
