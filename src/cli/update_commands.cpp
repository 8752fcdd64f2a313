#include <CLI/CLI.hpp>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "app/configuration.h"
#include "app/preferences.h"
#include "app/services.h"
#include "app/update_wiring.h"
#include "base/text.h"
#include "cli/command_error.h"
#include "cli/commands.h"
#include "cli/output.h"

namespace orvane::cli {

namespace {

const char* outcomeName(UpdateCheckResult::Outcome outcome) {
    using Outcome = UpdateCheckResult::Outcome;
    switch (outcome) {
        case Outcome::notChecked: return "notChecked";
        case Outcome::unreachable: return "unreachable";
        case Outcome::undecodable: return "undecodable";
        case Outcome::upToDate: return "upToDate";
        case Outcome::available: return "available";
        case Outcome::alreadyOffered: return "alreadyOffered";
    }
    return "unknown";
}

const char* stateName(CliInstallState state) {
    switch (state) {
        case CliInstallState::missingBundledCLI: return "missingBundledCLI";
        case CliInstallState::appNotInstalled: return "appNotInstalled";
        case CliInstallState::notInstalled: return "notInstalled";
        case CliInstallState::installed: return "installed";
        case CliInstallState::needsRepair: return "needsRepair";
        case CliInstallState::blockedByExistingFile: return "blockedByExistingFile";
        case CliInstallState::blockedByExistingSymlink: return "blockedByExistingSymlink";
    }
    return "unknown";
}

void printNotice(const UpdateNotice& notice) {
    std::printf("%s\n%s\n", terminalSafeText(notice.title).c_str(), terminalSafeText(notice.message).c_str());
}

// Progress on stderr, redrawn in place, so stdout stays the command's answer.
UpdateInstaller::Progress downloadProgress() {
    return [lastPercent = -1](std::uint64_t received, std::uint64_t total) mutable {
        if (total == 0) return;
        const int percent = static_cast<int>(received * 100 / total);
        if (percent == lastPercent) return;
        lastPercent = percent;
        std::fprintf(stderr, "\r%3d%%", percent);
        if (percent == 100) std::fprintf(stderr, "\n");
    };
}

void installRelease(app::Services& services, const AppRelease& release) {
    const auto settings = app::updateSettings(services.configuration());
    UpdateInstaller installer(services.httpTransport(), settings);
    std::fprintf(stderr, "%s\nDownloading Orvane %s\n", kUpdatingTitle,
                 terminalSafeText(release.releaseVersion().display()).c_str());
    try {
        const auto plan = installer.prepare(release, downloadProgress());
        // A command-line run has nothing to relaunch: the next `orvane` is the new one.
        installer.launch(plan, {});
    } catch (const std::exception& error) {
        // Download, verification, unpacking or a full disk: nothing installed was touched.
        // The notice's text spans lines; the error line holds its first, the way out follows.
        const auto notice = installFailureNotice(error.what());
        const auto lines = notice.message.substr(notice.message.find("\n\n") + 2);
        std::fprintf(stderr, "%s\n", terminalSafeText(lines).c_str());
        throw CommandFailed(kFailure, notice.title + ": " + error.what());
    }
    std::printf("%s\n", kRelaunchingMessage);
}

}  // namespace

void registerUpdateCommands(CLI::App& app, app::Services& services) {
    struct Options {
        bool check = false;
        bool json = false;
    };
    auto options = std::make_shared<Options>();

    auto* update = app.add_subcommand("update", "Check for a newer Orvane and install it");
    update->add_flag("--check", options->check, "Only say whether a newer release exists");
    update->add_flag("--json", options->json, "Print the check's outcome as JSON");
    update->callback([&services, options] {
        auto request = app::updateCheckRequest(services.configuration(), services.preferences(), true);
        const auto locations = app::updateLocations();
        if (!locations.decision.installedIsCurrent && !options->json) {
            std::fprintf(stderr, "note: %s\n",
                         terminalSafeText(installedLocationGate(locations.decision).message).c_str());
        }
        const auto result = checkForUpdates(*services.httpTransport(), request);
        if (result.outcome == UpdateCheckResult::Outcome::available) {
            services.preferences().setLastPromptedUpdateVersion(result.release->version);
        }
        if (options->json) {
            nlohmann::json answer{{"outcome", outcomeName(result.outcome)},
                                  {"current", request.running.display()},
                                  {"installedLocation", request.installedLocation.string()}};
            if (result.release) {
                answer["release"] = {{"version", result.release->version}};
                if (result.release->build) answer["release"]["build"] = *result.release->build;
            }
            if (result.notice)
                answer["notice"] = {{"title", result.notice->title}, {"message", result.notice->message}};
            printJson(answer);
        } else if (result.outcome == UpdateCheckResult::Outcome::notChecked) {
            std::printf("Updates are published for production builds only; this is a %s build.\n",
                        terminalSafeText(request.buildChannel).c_str());
        } else if (result.notice) {
            printNotice(*result.notice);
        }
        switch (result.outcome) {
            case UpdateCheckResult::Outcome::unreachable:
            case UpdateCheckResult::Outcome::undecodable: throw CommandFailed(kFailure, result.notice->message);
            case UpdateCheckResult::Outcome::available:
                if (!options->check && !options->json) installRelease(services, *result.release);
                break;
            default: break;
        }
    });

    auto* installApp = app.add_subcommand(
        "install-app", "Copy this Orvane over the installed one (~/.local/lib/orvane or /opt/orvane)");
    installApp->callback([] {
        const auto locations = app::updateLocations();
        if (!locations.running) throw CommandFailed(kFailure, "Couldn't tell where this Orvane runs from.");
        if (locations.decision.installedIsCurrent) {
            std::printf("This Orvane is the installed one (%s).\n", locations.installed.c_str());
            return;
        }
        try {
            installRunningCopy(*locations.running, locations.installed);
        } catch (const InstallAppError& error) {
            throw CommandFailed(kFailure, std::string(InstallAppError::kTitle) + ": " + error.what());
        }
        std::printf("Installed Orvane in %s\n", terminalSafeText(locations.installed.string()).c_str());
    });

    auto statusJson = std::make_shared<bool>(false);
    auto* cliStatus = app.add_subcommand("cli-status", "Whether the `orvane` command is linked onto the path");
    cliStatus->add_flag("--json", *statusJson, "Print JSON");
    cliStatus->callback([&services, statusJson] {
        const CliInstaller installer(app::cliInstallerSettings(services.configuration()));
        const auto status = installer.status();
        if (*statusJson) {
            printJson(
                {{"state", stateName(status.state)}, {"detail", status.detail}, {"link", status.linkPath.string()}});
            return;
        }
        std::printf("%s\n", status.detail.empty() ? "Not installed." : terminalSafeText(status.detail).c_str());
    });

    auto* installCli = app.add_subcommand(
        "install-cli", "Link the `orvane` command into /usr/local/bin (administrator) or ~/.local/bin");
    installCli->callback([&services] {
        const CliInstaller installer(app::cliInstallerSettings(services.configuration()));
        try {
            const auto outcome = installer.install();
            std::printf("%s\n", outcome.message.c_str());
            if (!outcome.detail.empty()) std::printf("%s\n", terminalSafeText(outcome.detail).c_str());
        } catch (const CliInstallError& error) {
            throw CommandFailed(kFailure, error.what());
        }
    });

    auto* removeCli = app.add_subcommand("remove-cli", "Remove the `orvane` command's link");
    removeCli->callback([&services] {
        const CliInstaller installer(app::cliInstallerSettings(services.configuration()));
        try {
            const auto outcome = installer.remove();
            std::printf("%s\n", outcome.message.c_str());
            if (!outcome.detail.empty()) std::printf("%s\n", terminalSafeText(outcome.detail).c_str());
        } catch (const CliInstallError& error) {
            throw CommandFailed(kFailure, error.what());
        }
    });
}

}  // namespace orvane::cli
