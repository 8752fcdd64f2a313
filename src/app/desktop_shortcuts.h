#pragma once

// Global shortcuts where Orvane cannot take them itself. A Wayland desktop gives global shortcuts
// only to itself or through its GlobalShortcuts portal; where that portal is missing, the user binds
// a key to an `orvane` command in the desktop's own keyboard settings instead.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace orvane::app {

struct DesktopShortcutCommand {
    std::string action;   // what the key does, as the settings name it
    std::string command;  // what the desktop runs, exactly as the user pastes it
};

// How the desktop finds the `orvane` command: "orvane" when a program of that name is on `path` (a
// PATH-style list), else the one in `programFolder` (beside the studio) as an absolute path,
// quoted for a shell when it needs to be; "orvane" when neither exists.
std::string orvaneCommandForDesktop(const std::string& path, const std::filesystem::path& programFolder);

// The commands to bind: a new recording through the running studio, and a screenshot.
std::vector<DesktopShortcutCommand> desktopShortcutCommands(const std::string& orvaneCommand);

// What this session offers for global shortcuts.
struct GlobalShortcutSupport {
    bool wayland = false;                        // a Wayland session: X11 key grabs reach nothing
    std::optional<std::uint32_t> portalVersion;  // the GlobalShortcuts portal's version, when offered
    // Keys must be bound in the desktop's own settings.
    bool needsDesktopBinding() const { return wayland && !portalVersion; }
};
// Reads the session (WAYLAND_DISPLAY) and, on Wayland, asks the session bus whether the desktop
// offers the GlobalShortcuts portal (a bounded call).
GlobalShortcutSupport globalShortcutSupport();

}  // namespace orvane::app
