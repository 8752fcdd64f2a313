#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

#include "update/update_checker.h"

namespace orvane {

// The per-user and the system-wide installed locations.
std::filesystem::path userInstalledLocation(const std::filesystem::path& home);
inline const std::filesystem::path kSystemInstalledLocation = "/opt/orvane";

// The release tree the running program belongs to: <root> for <root>/bin/<program>. Nothing when
// the program's path is unknown.
std::optional<std::filesystem::path> runningReleaseRoot();

// Where updates go and where the command-line link should point: the system-wide location when this
// copy runs from it; else the per-user one when it exists or no system-wide copy does.
std::filesystem::path chooseInstalledLocation(const std::optional<std::filesystem::path>& running,
                                              const std::filesystem::path& userLocation,
                                              const std::filesystem::path& systemLocation);

// Whether the running copy is the installed one. Screen-capture grants and the command-line link
// follow the installed path, so a copy started from elsewhere (an unpacked archive in Downloads)
// offers to install itself instead of running on.
struct InstalledAppDecision {
    std::filesystem::path currentURL;
    std::filesystem::path installedURL;
    bool installedIsCurrent = false;
    bool installedExists = false;
};
InstalledAppDecision decideInstalledApp(const std::filesystem::path& running, const std::filesystem::path& installed);

inline constexpr const char* kInstallReplace = "Install / Replace";
inline constexpr const char* kQuit = "Quit";
inline constexpr const char* kRevealThisCopy = "Reveal This Copy";
// What the gate shows when the running copy is not the installed one.
UpdateNotice installedLocationGate(const InstalledAppDecision& decision);

// The copy could not replace the installed one; what() is the alert's text, and the previous
// installed copy is back in place.
class InstallAppError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    static constexpr const char* kTitle = "Could not install Orvane";
};

// Copies the running tree over the installed location: copied beside it first, then swapped in
// with renames, the previous copy removed only once the new one is in place.
void installRunningCopy(const std::filesystem::path& running, const std::filesystem::path& installed);

}  // namespace orvane
