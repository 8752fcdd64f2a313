#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/iso8601.h"

namespace orvane {

// Where a screenshot goes: the Desktop, or the Pictures folder's "Orvane Screenshots" (with a
// sub-folder for the active project). Raw values "desktop" and "project".
enum class ScreenshotDestination { project, desktop };
std::string_view rawValue(ScreenshotDestination destination);
// Anything but "desktop" (missing, misspelt) means project, so screenshots never get lost.
ScreenshotDestination screenshotDestinationFromRaw(std::string_view raw);

// "Orvane 2026-12-05 at 14.03.27.png", in local time.
std::string screenshotFileName(SystemTime now);

// A project name made safe as one folder name: trimmed, path and shell-hostile characters turned
// into hyphens, leading full stops removed (no hidden folders, no ".."), at most 96 characters.
// May be empty, and then no sub-folder is used.
std::string sanitizedProjectFolderName(std::string_view projectName);

// The user's special folders. `userDirectory` answers what `xdg-user-dir NAME` reports for
// "PICTURES" or "DESKTOP", nothing when it cannot tell.
struct ScreenshotFolders {
    std::function<std::optional<std::filesystem::path>(std::string_view name)> userDirectory;
    std::filesystem::path home;

    // Runs the real `xdg-user-dir` program; home from $HOME.
    static ScreenshotFolders system();

    std::filesystem::path desktop() const;
    std::filesystem::path pictures() const;
};

// The folder a screenshot is saved in (not created here).
std::filesystem::path screenshotFolder(ScreenshotDestination destination, const std::optional<std::string>& projectName,
                                       const ScreenshotFolders& folders);

}  // namespace orvane
