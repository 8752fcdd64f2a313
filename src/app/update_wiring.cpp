#include "app/update_wiring.h"

#include <cstdlib>

#include "app/built_in_configuration.h"
#include "app/configuration.h"
#include "app/preferences.h"
#include "net/service_url.h"
#include "platform/executable_path.h"
#include "platform/xdg_paths.h"
#include "update/release_archive.h"

namespace fs = std::filesystem;

namespace orvane::app {

namespace {

fs::path homeFolder() {
    const char* home = std::getenv("HOME");
    return home && *home ? fs::path(home) : fs::path("/");
}

}  // namespace

UpdateLocations updateLocations() {
    UpdateLocations locations;
    locations.running = runningReleaseRoot();
    locations.installed =
        chooseInstalledLocation(locations.running, userInstalledLocation(homeFolder()), kSystemInstalledLocation);
    locations.decision = decideInstalledApp(locations.running.value_or(locations.installed), locations.installed);
    if (!locations.running) locations.decision.installedIsCurrent = true;
    return locations;
}

std::string updateWebSiteOrigin() { return serviceBaseURL("SITE", built_in::webSiteOrigin); }

UpdateCheckRequest updateCheckRequest(const AppConfiguration& configuration, const Preferences& preferences,
                                      bool userInitiated) {
    UpdateCheckRequest request;
    request.buildChannel = configuration.buildChannel();
    request.webSiteOrigin = updateWebSiteOrigin();
    request.running = runningReleaseVersion();
    request.installedLocation = updateLocations().installed;
    request.userInitiated = userInitiated;
    request.lastPromptedVersion = preferences.lastPromptedUpdateVersion();
    return request;
}

UpdateSettings updateSettings(const AppConfiguration& configuration) {
    UpdateSettings settings;
    settings.webSiteOrigin = updateWebSiteOrigin();
    settings.installedLocation = updateLocations().installed;
    settings.updatesFolder = XdgPaths::orvaneDataRoot() / "Updates";
    settings.publicKeyBase64 = configuration.updatePublicKey();
    settings.fallbackURL = configuration.downloadURL();
    settings.expectedIdentifier = kOrvaneProductIdentifier;
    return settings;
}

CliInstallerSettings cliInstallerSettings(const AppConfiguration& configuration) {
    const auto locations = updateLocations();
    CliInstallerSettings settings;
    // The tool beside the running program; once this copy is the installed one, that is the path
    // updates replace in place, so the link keeps working across updates.
    const auto executable = runningExecutablePath();
    settings.bundledTool = executable ? executable->parent_path() / "orvane" : locations.installed / "bin" / "orvane";
    settings.appIsInstalled = locations.decision.installedIsCurrent;
    settings.installedLocation = locations.installed;
    settings.commandName = configuration.cliCommandName();
    settings.systemLink = configuration.cliInstallPath();
    settings.userLink = homeFolder() / ".local" / "bin" / configuration.cliCommandName();
    return settings;
}

}  // namespace orvane::app
