#include "update/cli_installer.h"

#include <unistd.h>

#include "base/log.h"
#include "base/log_areas.h"
#include "update/child_process.h"

namespace fs = std::filesystem;

namespace orvane {

namespace {

constexpr std::string_view kToolSuffix = "/orvane/bin/orvane";

// pkexec's own statuses: the dialog was dismissed (126) or authentication failed (127).
bool authorizationRefused(int status) { return status == 126 || status == 127; }

constexpr const char* kAuthorizationFailed = "Administrator authorization was cancelled or failed.";

// Run as the administrator, so every check is made again there: the link may have changed since
// status() looked. Messages come out on standard output and reach the user as they are.
constexpr const char* kInstallScript = R"sh(tool=$1
link=$2
name=$3
[ -x "$tool" ] || { echo "This Orvane build does not include the command-line tool."; exit 1; }
if [ -L "$link" ]; then
  target=$(readlink "$link")
  case "$target" in
    */orvane/bin/orvane) ;;
    *) echo "$link points at $target, not a bundled Orvane CLI. Move it before installing the bundled $name CLI."; exit 1 ;;
  esac
elif [ -e "$link" ]; then
  echo "$link already exists and is not a symlink. Move it before installing the bundled Orvane CLI."
  exit 1
fi
mkdir -p "$(dirname "$link")" && ln -sfn "$tool" "$link"
)sh";

constexpr const char* kRemoveScript = R"sh(link=$1
name=$2
if [ -L "$link" ]; then
  target=$(readlink "$link")
  case "$target" in
    */orvane/bin/orvane) rm -f "$link"; exit $? ;;
    *) echo "$link points at $target, not a bundled Orvane CLI. Move it before installing the bundled $name CLI."; exit 1 ;;
  esac
elif [ -e "$link" ]; then
  echo "$link already exists and is not a symlink. Move it before installing the bundled Orvane CLI."
  exit 1
fi
)sh";

std::string trimmedOutput(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    return text;
}

fs::path resolvedTarget(const fs::path& link, const fs::path& target) {
    return (target.is_absolute() ? target : link.parent_path() / target).lexically_normal();
}

// Points `link` at `tool` in one step: a new link beside it renamed over the old one.
void replaceLink(const fs::path& tool, const fs::path& link) {
    fs::create_directories(link.parent_path());
    const fs::path fresh = link.parent_path() / ("." + link.filename().string() + ".new");
    std::error_code ignored;
    fs::remove(fresh, ignored);
    fs::create_symlink(tool, fresh);
    fs::rename(fresh, link);
}

}  // namespace

CliInstallerStatus CliInstaller::linkStatus(const fs::path& link) const {
    CliInstallerStatus status;
    status.linkPath = link;
    const std::string& command = settings_.commandName;
    std::error_code error;
    const auto kind = fs::symlink_status(link, error);
    if (!fs::exists(kind) && !fs::is_symlink(kind)) {
        status.state = CliInstallState::notInstalled;
        return status;
    }
    if (!fs::is_symlink(kind)) {
        status.state = CliInstallState::blockedByExistingFile;
        status.detail = link.string() +
                        " already exists and is not a symlink. Move it before installing the "
                        "bundled Orvane CLI.";
        return status;
    }
    const fs::path target = fs::read_symlink(link, error);
    if (!target.string().ends_with(kToolSuffix)) {
        status.state = CliInstallState::blockedByExistingSymlink;
        status.detail = link.string() + " points at " + target.string() +
                        ", not a bundled Orvane CLI. Move it before installing the bundled Orvane CLI.";
        return status;
    }
    if (resolvedTarget(link, target) == settings_.bundledTool.lexically_normal()) {
        status.state = CliInstallState::installed;
        status.detail = "`" + command +
                        "` is installed and points at this Orvane app. It updates automatically when Orvane updates.";
    } else {
        status.state = CliInstallState::needsRepair;
        status.detail = "`" + command + "` points at another Orvane app. Repair to use this Orvane build.";
    }
    return status;
}

CliInstallerStatus CliInstaller::status() const {
    if (::access(settings_.bundledTool.c_str(), X_OK) != 0) {
        return {CliInstallState::missingBundledCLI, "This Orvane build does not include the command-line tool.", {}};
    }
    if (!settings_.appIsInstalled) {
        return {CliInstallState::appNotInstalled,
                "Move Orvane to " + settings_.installedLocation.string() + " before installing the CLI so the `" +
                    settings_.commandName + "` command keeps working after the unpacked archive is removed.",
                {}};
    }
    auto system = linkStatus(settings_.systemLink);
    if (system.state != CliInstallState::notInstalled || settings_.userLink.empty()) return system;
    auto user = linkStatus(settings_.userLink);
    return user.state == CliInstallState::installed ? user : system;
}

CliInstallOutcome CliInstaller::installUserLink(const std::string& reason) const {
    const auto current = linkStatus(settings_.userLink);
    if (current.state == CliInstallState::blockedByExistingFile ||
        current.state == CliInstallState::blockedByExistingSymlink) {
        throw CliInstallError(reason.empty() ? current.detail : reason + " " + current.detail);
    }
    try {
        replaceLink(settings_.bundledTool, settings_.userLink);
    } catch (const fs::filesystem_error& error) {
        log::warning(log_area::kApp, "could not link %s: %s", settings_.userLink.c_str(), error.what());
        throw CliInstallError("CLI install command failed.");
    }
    std::string detail = "Linked " + settings_.userLink.string() + " for this user.";
    if (!reason.empty()) detail = reason + " " + detail;
    return {"Orvane CLI installed", detail, settings_.userLink};
}

CliInstallOutcome CliInstaller::install() const {
    const auto current = status();
    switch (current.state) {
        case CliInstallState::missingBundledCLI:
        case CliInstallState::appNotInstalled:
        case CliInstallState::blockedByExistingFile:
        case CliInstallState::blockedByExistingSymlink: throw CliInstallError(current.detail);
        default: break;
    }
    const auto pkexec = findOnPath("pkexec");
    if (!pkexec) return installUserLink("");
    const auto result = runChild(*pkexec, {"/bin/sh", "-c", kInstallScript, "sh", settings_.bundledTool.string(),
                                           settings_.systemLink.string(), settings_.commandName});
    if (result.exitStatus == 0) return {"Orvane CLI installed", {}, settings_.systemLink};
    if (authorizationRefused(result.exitStatus)) return installUserLink(kAuthorizationFailed);
    log::warning(log_area::kApp, "CLI install exited %d: %s", result.exitStatus, result.output.c_str());
    const auto said = trimmedOutput(result.output);
    throw CliInstallError(result.exitStatus == 1 && !said.empty() ? said : "CLI install command failed.");
}

CliInstallOutcome CliInstaller::remove() const {
    CliInstallOutcome outcome{"Orvane CLI removed", {}, {}};
    bool removedAny = false;
    // The per-user link is ours to remove without asking anyone.
    if (!settings_.userLink.empty()) {
        const auto user = linkStatus(settings_.userLink);
        if (user.state == CliInstallState::installed || user.state == CliInstallState::needsRepair) {
            std::error_code error;
            fs::remove(settings_.userLink, error);
            if (error) throw CliInstallError("CLI install command failed.");
            removedAny = true;
            outcome.linkPath = settings_.userLink;
        }
    }
    const auto system = linkStatus(settings_.systemLink);
    switch (system.state) {
        case CliInstallState::notInstalled:
            if (!removedAny) outcome.detail = "`" + settings_.commandName + "` was not installed.";
            return outcome;
        case CliInstallState::blockedByExistingFile:
        case CliInstallState::blockedByExistingSymlink:
            // Not ours: left in place, and said so.
            if (!removedAny) throw CliInstallError(system.detail);
            outcome.detail = system.detail;
            return outcome;
        default: break;
    }
    const auto pkexec = findOnPath("pkexec");
    if (!pkexec) {
        // Without pkexec only a user who may write the folder (an administrator's shell) gets further.
        std::error_code error;
        fs::remove(settings_.systemLink, error);
        if (error) throw CliInstallError(kAuthorizationFailed);
        outcome.linkPath = settings_.systemLink;
        return outcome;
    }
    const auto result =
        runChild(*pkexec, {"/bin/sh", "-c", kRemoveScript, "sh", settings_.systemLink.string(), settings_.commandName});
    if (authorizationRefused(result.exitStatus)) throw CliInstallError(kAuthorizationFailed);
    if (result.exitStatus != 0) {
        const auto said = trimmedOutput(result.output);
        throw CliInstallError(result.exitStatus == 1 && !said.empty() ? said : "CLI install command failed.");
    }
    outcome.linkPath = settings_.systemLink;
    return outcome;
}

}  // namespace orvane
