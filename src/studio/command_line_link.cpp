#include "studio/command_line_link.h"

#include <string>

#include "app/services.h"
#include "app/update_wiring.h"
#include "base/log.h"
#include "base/log_areas.h"
#include "base/toast_center.h"
#include "update/cli_installer.h"

namespace orvane::studio {

CommandLineLink::CommandLineLink(app::Services& services, Executor& background)
    : services_(services), background_(background) {}

CommandLineLink::~CommandLineLink() { *alive_ = false; }

void CommandLineLink::refresh() {
    const auto settings = app::cliInstallerSettings(services_.configuration());
    Executor& main = services_.mainLoop();
    background_.post([this, settings, &main, alive = alive_] {
        const bool installed = CliInstaller(settings).status().state == CliInstallState::installed;
        main.post([this, installed, alive] {
            if (!*alive) return;
            installed_ = installed;
        });
    });
}

void CommandLineLink::install() { change(true); }

void CommandLineLink::remove() { change(false); }

void CommandLineLink::change(bool install) {
    if (busy_) return;
    busy_ = true;
    const auto settings = app::cliInstallerSettings(services_.configuration());
    Executor& main = services_.mainLoop();
    background_.post([this, settings, install, &main, alive = alive_] {
        const CliInstaller installer(settings);
        std::string title;
        std::string detail;
        bool failed = false;
        try {
            const auto outcome = install ? installer.install() : installer.remove();
            title = outcome.message;
            detail = outcome.detail;
        } catch (const CliInstallError& error) {
            failed = true;
            title = install ? "Couldn't install the CLI" : "Couldn't remove the CLI";
            detail = error.what();
        }
        const bool installed = installer.status().state == CliInstallState::installed;
        main.post([this, failed, title, detail, installed, alive] {
            if (!*alive) return;
            busy_ = false;
            installed_ = installed;
            if (failed) log::warning(log_area::kStudio, "%s: %s", title.c_str(), detail.c_str());
            services_.toasts().post(failed ? ToastLevel::error : ToastLevel::success, title,
                                    detail.empty() ? std::nullopt : std::optional<std::string>(detail));
        });
    });
}

}  // namespace orvane::studio
