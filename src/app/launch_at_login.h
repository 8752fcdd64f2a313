#pragma once

// Starting the studio when the user logs in, through an XDG autostart entry
// ($XDG_CONFIG_HOME/autostart/orvane-studio.desktop), which every freedesktop session reads.

#include <filesystem>
#include <optional>
#include <string>

#include "base/signal.h"

namespace orvane {

class Preferences;

// What the session will do at the next login.
enum class LaunchAtLoginStatus {
    enabled,
    // Kept for the shape of the settings screen; an autostart entry needs no approval, so this
    // status never occurs here.
    requiresApproval,
    // The program to start cannot be located (a deleted or moved executable).
    notFound,
    notRegistered,
};

// A main-loop object.
class LaunchAtLoginController {
public:
    // `studioExecutable` is what the entry starts; nothing when it cannot be found. `installed`
    // says whether it runs from where it was installed, not from a build or unpacked archive.
    LaunchAtLoginController(Preferences& preferences, std::optional<std::filesystem::path> studioExecutable,
                            bool installed);

    // $XDG_CONFIG_HOME/autostart/orvane-studio.desktop
    static std::filesystem::path autostartEntryPath();
    // Whether `executable` sits in an installation: an AppImage, or <prefix>/bin with its
    // <prefix>/share/orvane beside it.
    static bool runsFromInstalledLocation(const std::filesystem::path& executable);

    bool isEnabled() const { return status_ == LaunchAtLoginStatus::enabled; }
    bool needsApproval() const { return status_ == LaunchAtLoginStatus::requiresApproval; }
    LaunchAtLoginStatus status() const { return status_; }
    // "Starts at login", "Approve in System Settings", "Unavailable", "Off".
    std::string statusText() const;
    const std::optional<std::string>& errorMessage() const { return errorMessage_; }

    // Reads the entry again (the user may have edited or removed it).
    void refresh();
    void setEnabled(bool enabled);
    // At every launch: the first one turns starting at login on for an installed program; later
    // launches never change the user's choice.
    void applyDefaultIfNeeded();

    [[nodiscard]] Subscription observe(std::function<void()> observer) {
        return changed_.subscribe([observer = std::move(observer)] { observer(); });
    }

private:
    Preferences& preferences_;
    std::optional<std::filesystem::path> studioExecutable_;
    bool installed_;
    LaunchAtLoginStatus status_ = LaunchAtLoginStatus::notRegistered;
    std::optional<std::string> errorMessage_;
    Signal<> changed_;
};

}  // namespace orvane
