#pragma once

// The update engine and the command-line link wired to this program's configuration: its bundle
// keys, preferences, folders and where it runs from. The engine itself takes plain values.

#include <filesystem>
#include <optional>

#include "update/cli_installer.h"
#include "update/installed_location.h"
#include "update/update_checker.h"
#include "update/update_installer.h"

namespace orvane {

class AppConfiguration;
class Preferences;

namespace app {

// The running copy's tree and the installed location it should be, with the decision between them.
// Without a known running path (a restricted /proc) the copy counts as installed, so nothing nags.
struct UpdateLocations {
    std::optional<std::filesystem::path> running;
    std::filesystem::path installed;
    InstalledAppDecision decision;
};
UpdateLocations updateLocations();

// The product web site the manifest and relative downloads come from; $ORVANE_SERVICE_URL_SITE
// points it elsewhere.
std::string updateWebSiteOrigin();

UpdateCheckRequest updateCheckRequest(const AppConfiguration& configuration, const Preferences& preferences,
                                      bool userInitiated);
UpdateSettings updateSettings(const AppConfiguration& configuration);
CliInstallerSettings cliInstallerSettings(const AppConfiguration& configuration);

}  // namespace app
}  // namespace orvane
