#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

namespace orvane {

enum class CliInstallState {
    missingBundledCLI,
    appNotInstalled,
    notInstalled,
    installed,
    needsRepair,
    blockedByExistingFile,
    blockedByExistingSymlink,
};

struct CliInstallerStatus {
    CliInstallState state = CliInstallState::notInstalled;
    std::string detail;              // the sentence shown; empty for notInstalled
    std::filesystem::path linkPath;  // the link the state describes
};

struct CliInstallerSettings {
    std::filesystem::path bundledTool;        // <installed>/bin/orvane of the running copy
    bool appIsInstalled = false;              // the running copy is the installed one
    std::filesystem::path installedLocation;  // named when it is not
    std::string commandName;                  // "orvane", "orvane-staging"
    std::filesystem::path systemLink;         // /usr/local/bin/<command>
    std::filesystem::path userLink;           // ~/.local/bin/<command>, when administrator rights are refused
};

struct CliInstallOutcome {
    std::string message;  // "Orvane CLI installed" / "Orvane CLI removed"
    std::string detail;   // why the per-user link was used, or what was left in place
    std::filesystem::path linkPath;
};

// The install or removal was refused or failed; what() is the sentence shown. Nothing was changed.
class CliInstallError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Links the command-line tool of the installed copy onto the user's path: into /usr/local/bin through
// pkexec (the tool that runs one command as the administrator after the desktop's authentication
// dialog), or into ~/.local/bin when pkexec is missing or the user declines. A link counts as
// pointing at a copy of Orvane's tool when its target ends in "/orvane/bin/orvane" (both installed
// locations do); regular files and other links are never replaced.
class CliInstaller {
public:
    explicit CliInstaller(CliInstallerSettings settings) : settings_(std::move(settings)) {}

    // The system link decides; when there is none, a per-user link to this copy counts as installed.
    CliInstallerStatus status() const;
    CliInstallOutcome install() const;
    CliInstallOutcome remove() const;

private:
    CliInstallerStatus linkStatus(const std::filesystem::path& link) const;
    CliInstallOutcome installUserLink(const std::string& reason) const;

    CliInstallerSettings settings_;
};

}  // namespace orvane
