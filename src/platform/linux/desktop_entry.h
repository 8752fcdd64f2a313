#pragma once

// Freedesktop desktop entries: the studio's launcher entry, which also makes it the handler of our
// URL schemes, and its autostart entry.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

struct DesktopEntry {
    std::string name = "Orvane";
    std::string comment;
    std::filesystem::path executable;
    std::vector<std::string> arguments;  // "%u" and the other field codes are passed as written
    std::string icon;
    std::vector<std::string> mimeTypes;  // "x-scheme-handler/orvane"...
    bool noDisplay = false;

    // The file's text. Paths and arguments are quoted and escaped as the desktop-entry standard asks, so
    // a path with spaces, quotes or "$" starts the right program.
    std::string text() const;
};

// One argument of an Exec line, quoted when it needs to be.
std::string desktopExecArgument(std::string_view argument);

// $XDG_DATA_HOME/applications/orvane-studio.desktop
std::filesystem::path studioDesktopEntryPath();

// Writes the studio's entry (atomically) naming `studioExecutable` as the handler of every scheme
// in `schemes`, then refreshes the desktop's handler cache (update-desktop-database) and makes it
// the default handler (xdg-mime). Either tool missing is not an error: the entry alone is
// read by desktops that look. Throws std::system_error when the entry cannot be written.
void installStudioDesktopEntry(const std::filesystem::path& studioExecutable, const std::vector<std::string>& schemes);
// Removes the entry and refreshes the cache; a missing entry is not an error.
void removeStudioDesktopEntry();

}  // namespace orvane
