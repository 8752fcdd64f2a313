#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>

#include <cstdio>
#include <exception>
#include <memory>
#include <optional>
#include <system_error>

#include "app/configuration.h"
#include "app/launch_at_login.h"
#include "app/services.h"
#include "base/log.h"
#include "base/log_areas.h"
#include "platform/executable_path.h"
#include "platform/linux/desktop_entry.h"
#include "platform/linux/instance_channel.h"
#include "studio/app_icon.h"
#include "studio/deep_link_runner.h"
#include "studio/instance_listener.h"
#include "studio/screenshots.h"
#include "studio/studio_hotkeys.h"
#include "studio/studio_shell.h"
#include "studio/studio_updates.h"
#include "studio/theme.h"

namespace {

using namespace orvane;

// Registers or removes the studio as the desktop's handler of our link schemes, in the user's own
// folders only.
int changeDesktopEntry(bool install) {
    try {
        if (!install) {
            removeStudioDesktopEntry();
            std::printf("Removed %s\n", studioDesktopEntryPath().c_str());
            return 0;
        }
        const auto self = runningExecutablePath();
        if (!self) {
            std::fprintf(stderr, "orvane-studio: couldn't tell where this program is, so no entry was written\n");
            return 1;
        }
        app::Services services;
        const auto schemes = services.configuration().acceptedURLSchemes();
        installStudioDesktopEntry(*self, {schemes.begin(), schemes.end()});
        std::printf("Installed %s\n", studioDesktopEntryPath().c_str());
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "orvane-studio: %s\n", e.what());
        return 1;
    }
}

// Becomes the session's studio. Nothing when another studio took the arguments (this process then
// exits). A channel that cannot be made (an unsafe runtime folder) leaves this studio running on
// its own: a second window is better than none.
enum class Claim { listening, handedOver, alone };

Claim claimInstance(InstanceChannel& channel, const InstanceMessage& arguments, std::optional<int>& listening) {
    try {
        // Twice: a studio that quits between our listen and our hand-over leaves the socket free.
        for (int attempt = 0; attempt < 2; ++attempt) {
            listening = channel.listen();
            if (listening) return Claim::listening;
            if (InstanceChannel::handOver(arguments, channel.socketPath())) return Claim::handedOver;
        }
        log::warning(log_area::kStudio, "another studio holds %s but does not answer", channel.socketPath().c_str());
    } catch (const std::exception& e) {
        log::warning(log_area::kStudio, "running without the one-studio socket: %s", e.what());
    }
    return Claim::alone;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName("Orvane");
    QApplication::setDesktopFileName("orvane-studio");
    QApplication::setWindowIcon(studio::appIcon());

    QCommandLineParser parser;
    parser.setApplicationDescription("Orvane: record, edit and export screen recordings");
    parser.addHelpOption();
    parser.addPositionalArgument("link", "orvane: links to perform, as `orvane open` hands them over", "[link...]");
    QCommandLineOption verbose({"v", "verbose"}, "Also print log lines to stderr");
    parser.addOption(verbose);
    QCommandLineOption openOption("open", "Open a recording in the editor (its id or a unique prefix)", "ID");
    parser.addOption(openOption);
    QCommandLineOption installEntry("install-desktop-entry",
                                    "Register the studio in the desktop's menu and as the handler of orvane: links");
    parser.addOption(installEntry);
    QCommandLineOption removeEntry("remove-desktop-entry", "Remove what --install-desktop-entry registered");
    parser.addOption(removeEntry);
    // For the documentation's pictures (tools/studio-screenshots.sh), not for users.
    QCommandLineOption screenshot("screenshot", "Save a picture of a window and quit", "NAME=FILE");
    screenshot.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(screenshot);
    parser.process(application);
    log::setEchoToStderr(parser.isSet(verbose));

    if (parser.isSet(installEntry) || parser.isSet(removeEntry)) return changeDesktopEntry(parser.isSet(installEntry));

    std::vector<studio::ScreenshotRun::Shot> shots;
    try {
        shots = studio::ScreenshotRun::parse(parser.values(screenshot));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "orvane-studio: %s\n", e.what());
        return 2;
    }

    InstanceMessage arguments;
    for (const QString& link : parser.positionalArguments()) arguments.push_back(link.toStdString());
    InstanceChannel channel;
    std::optional<int> listening;
    // Picture runs keep to themselves, so a studio in use never swallows them.
    // A running studio opens the recording itself.
    InstanceMessage handed = arguments;
    if (parser.isSet(openOption)) {
        handed.push_back(std::string(studio::kOpenRecordingArgument) + parser.value(openOption).toStdString());
    }
    if (shots.empty() && claimInstance(channel, handed, listening) == Claim::handedOver) {
        log::info(log_area::kStudio, "handed over to the running studio");
        return 0;
    }

    studio::applyTheme(application, studio::systemAppearance());
    if (shots.empty() && !studio::passInstalledLocationGate()) return 0;
    try {
        app::Services services;
        studio::StudioShell shell(services);
        // Links are taken in before the first window, so the one that started the studio is kept.
        studio::DeepLinkRunner links(shell);
        if (!arguments.empty()) links.route(arguments);
        std::unique_ptr<studio::InstanceListener> listener;
        if (listening) {
            listener = std::make_unique<studio::InstanceListener>(
                channel, *listening, [&links](const InstanceMessage& message) { links.route(message); });
        }
        shell.start();
        if (parser.isSet(openOption)) shell.openRecording(parser.value(openOption).toStdString());
        std::unique_ptr<studio::ScreenshotRun> pictures;
        std::unique_ptr<studio::StudioHotkeys> hotkeys;
        if (!shots.empty()) {
            pictures = std::make_unique<studio::ScreenshotRun>(shell, std::move(shots));
        } else {
            hotkeys = std::make_unique<studio::StudioHotkeys>(shell);
            const auto self = runningExecutablePath();
            LaunchAtLoginController launchAtLogin(services.preferences(), self,
                                                  self && LaunchAtLoginController::runsFromInstalledLocation(*self));
            launchAtLogin.applyDefaultIfNeeded();
            if (launchAtLogin.errorMessage()) {
                log::warning(log_area::kStudio, "starting at login not set up: %s",
                             launchAtLogin.errorMessage()->c_str());
            }
        }
        links.ready();
        const int status = QApplication::exec();
        listener.reset();
        return status;
    } catch (const std::exception& e) {
        // Start-up failed before the window could say so (an unusable data folder, no display).
        QMessageBox::critical(nullptr, "Orvane could not start", QString::fromStdString(e.what()));
        return 1;
    }
}
