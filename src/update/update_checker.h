#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "update/update_manifest.h"

namespace orvane {

class HttpTransport;

// What the user is shown: an alert's title, its text and its buttons (none: just "OK").
struct UpdateNotice {
    std::string title;
    std::string message;
    std::vector<std::string> buttons;
};

struct UpdateCheckRequest {
    std::string buildChannel;  // lower-cased
    std::string webSiteOrigin;
    ReleaseVersion running;
    std::filesystem::path installedLocation;  // named in the offer
    bool userInitiated = false;
    // The version last offered ("orvaneLastPromptedUpdateVersion"); an automatic check does not offer it again.
    std::optional<std::string> lastPromptedVersion;
};

struct UpdateCheckResult {
    enum class Outcome {
        notChecked,      // not a production build
        unreachable,     // no answer, or a status outside 200...299
        undecodable,     // the manifest did not decode
        upToDate,        // nothing newer (or no release announced)
        available,       // a newer release, to offer
        alreadyOffered,  // newer, but an automatic check already offered this version
    };
    Outcome outcome = Outcome::notChecked;
    std::optional<AppRelease> release;
    // Nothing when the check stays silent. When a release is offered, the caller records its version
    // as the last one prompted.
    std::optional<UpdateNotice> notice;
};

// The offer's buttons.
inline constexpr const char* kInstallAndRelaunch = "Install and Relaunch";
inline constexpr const char* kLater = "Later";

// Asks the web site's "/downloads/manifest.json" (with `t`, the Unix time, so no cache answers
// with an old manifest) and decides what to show. Never throws for the network or the manifest:
// those are outcomes. Blocks: run it as background work.
UpdateCheckResult checkForUpdates(HttpTransport& transport, const UpdateCheckRequest& request,
                                  std::stop_token stop = {});

// "Could not install the update" with the reason and the way out.
UpdateNotice installFailureNotice(const std::string& reason);
inline constexpr const char* kDownloadInstaller = "Download Installer";
inline constexpr const char* kUpdatingTitle = "Updating Orvane";
inline constexpr const char* kRelaunchingMessage = "Relaunching Orvane to finish the update...";

}  // namespace orvane
