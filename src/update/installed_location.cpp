#include "update/installed_location.h"

#include "base/log.h"
#include "base/log_areas.h"
#include "base/uuid.h"
#include "platform/executable_path.h"

namespace fs = std::filesystem;

namespace orvane {

fs::path userInstalledLocation(const fs::path& home) { return home / ".local" / "lib" / "orvane"; }

std::optional<fs::path> runningReleaseRoot() {
    const auto executable = runningExecutablePath();
    if (!executable) return std::nullopt;
    return executable->parent_path().parent_path();
}

fs::path chooseInstalledLocation(const std::optional<fs::path>& running, const fs::path& userLocation,
                                 const fs::path& systemLocation) {
    std::error_code error;
    if (running && fs::equivalent(*running, systemLocation, error)) return systemLocation;
    if (fs::exists(userLocation, error) || !fs::exists(systemLocation, error)) return userLocation;
    return systemLocation;
}

InstalledAppDecision decideInstalledApp(const fs::path& running, const fs::path& installed) {
    InstalledAppDecision decision;
    decision.currentURL = running;
    decision.installedURL = installed;
    std::error_code error;
    decision.installedExists = fs::is_directory(installed, error);
    decision.installedIsCurrent = decision.installedExists && fs::equivalent(running, installed, error);
    return decision;
}

UpdateNotice installedLocationGate(const InstalledAppDecision& decision) {
    UpdateNotice gate;
    gate.title = "Run the installed Orvane";
    gate.message =
        "Screen Recording permission is tied to the exact app your desktop launches. Run the installed "
        "Orvane app from " +
        decision.installedURL.string() + " so updates reuse the same permission grant.";
    if (decision.installedExists) gate.buttons.push_back("Open Installed Orvane");
    gate.buttons.push_back(kInstallReplace);
    gate.buttons.push_back(kQuit);
    return gate;
}

void installRunningCopy(const fs::path& running, const fs::path& installed) {
    const fs::path parent = installed.parent_path();
    const std::string id = Uuid::random().string();
    const fs::path copy = parent / (".orvane-install-" + id);
    const fs::path previous = parent / (".orvane-previous-" + id);
    const auto fail = [&](const std::string& reason) {
        std::error_code ignored;
        fs::remove_all(copy, ignored);
        throw InstallAppError("Orvane could not replace its previous copy in " + parent.string() + ": " + reason);
    };
    std::error_code error;
    if (fs::exists(installed, error) && fs::equivalent(running, installed, error)) return;
    fs::create_directories(parent, error);
    if (error) fail(error.message());
    fs::copy(running, copy, fs::copy_options::recursive | fs::copy_options::copy_symlinks, error);
    if (error) fail(error.message());
    const bool hadPrevious = fs::exists(installed, error);
    if (hadPrevious) {
        fs::rename(installed, previous, error);
        if (error) fail(error.message());
    }
    fs::rename(copy, installed, error);
    if (error) {
        std::error_code ignored;
        if (hadPrevious) fs::rename(previous, installed, ignored);
        fail(error.message());
    }
    if (hadPrevious) {
        fs::remove_all(previous, error);
        if (error) log::warning(log_area::kApp, "could not remove %s: %s", previous.c_str(), error.message().c_str());
    }
    log::info(log_area::kApp, "installed %s into %s", running.c_str(), installed.c_str());
}

}  // namespace orvane
