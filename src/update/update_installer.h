#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <vector>

#include "update/update_manifest.h"

namespace orvane {

class HttpTransport;

// Where an update comes from and where it goes.
struct UpdateSettings {
    std::string webSiteOrigin;                // "downloadPath" is relative to it
    std::filesystem::path installedLocation;  // the tree that is replaced
    std::filesystem::path updatesFolder;      // staging when the installed location's folder is not
                                              // writable, and install.log
    std::string publicKeyBase64;              // Ed25519, from the bundle configuration
    std::string fallbackURL;                  // the download page, opened when the launcher fails
    std::string expectedIdentifier;           // release.json "identifier" of this product
};

// A verified release unpacked beside the installed location, with the scripts that swap it in.
// Nothing installed has changed yet.
struct UpdateInstallPlan {
    std::filesystem::path launcherScript;  // install-and-relaunch.sh
    std::filesystem::path replaceScript;   // replace-app.sh
    std::filesystem::path stagingFolder;   // removed by the launcher once the new copy has started
    std::filesystem::path staged;          // the new tree
    std::filesystem::path target;          // the installed location
    std::filesystem::path trashed;         // where the previous tree waits until the new one starts
    std::filesystem::path log;
    std::string version;
};

// Downloads, verifies and stages a release (`prepare`), then hands over to the launcher script that
// swaps it in after this process quits (`launch`). Every check happens before anything installed
// is touched; a failure removes what was downloaded and staged and throws UpdateInstallError (or
// HttpTransportError / HttpCancelled for the network). Blocks: run it as background work.
class UpdateInstaller {
public:
    using Progress = std::function<void(std::uint64_t received, std::uint64_t total)>;

    UpdateInstaller(std::shared_ptr<HttpTransport> transport, UpdateSettings settings);

    // "downloadUrl", else the web site joined with "downloadPath"; throws missingDownloadURL.
    std::string downloadURL(const AppRelease& release) const;

    UpdateInstallPlan prepare(const AppRelease& release, const Progress& progress = {}, std::stop_token stop = {});

    // The launcher's argument list after "/bin/sh": it waits for `appPid` to exit, and when the new
    // copy has started runs `relaunch` (a program and its arguments; empty runs nothing).
    static std::vector<std::string> launcherArguments(const UpdateInstallPlan& plan, pid_t appPid,
                                                      const std::string& fallbackURL,
                                                      const std::vector<std::string>& relaunch);
    // Starts the launcher detached, waiting for this process.
    void launch(const UpdateInstallPlan& plan, const std::vector<std::string>& relaunch) const;

private:
    std::shared_ptr<HttpTransport> transport_;
    UpdateSettings settings_;
};

}  // namespace orvane
