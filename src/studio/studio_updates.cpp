#include "studio/studio_updates.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>

#include <filesystem>

#include "app/configuration.h"
#include "app/preferences.h"
#include "app/services.h"
#include "app/update_wiring.h"
#include "base/log.h"
#include "base/log_areas.h"
#include "platform/executable_path.h"
#include "platform/url_opener.h"
#include "recording/screen_recorder.h"
#include "studio/recording_controller.h"
#include "studio/studio_shell.h"
#include "update/release_archive.h"

namespace orvane::studio {

namespace fs = std::filesystem;

namespace {

// The studio of the installed copy, started on its own so this process can quit.
bool startInstalledStudio(const fs::path& installed) {
    return QProcess::startDetached(QString::fromStdString((installed / "bin" / "orvane-studio").string()), {});
}

}  // namespace

StudioUpdates::StudioUpdates(StudioShell& shell) : shell_(shell), opener_(makeXdgUrlOpener()) {}

StudioUpdates::~StudioUpdates() {
    *alive_ = false;
    stop_.request_stop();
}

bool StudioUpdates::runsFromRelease() {
    const auto root = runningReleaseRoot();
    std::error_code error;
    return root && fs::is_regular_file(*root / ReleaseIdentity::kRelativePath, error);
}

void StudioUpdates::checkAtLaunch() {
    if (runsFromRelease()) check(false);
}

void StudioUpdates::check(bool userInitiated) {
    if (busy_) return;
    busy_ = true;
    app::Services& services = shell_.services();
    const auto request = app::updateCheckRequest(services.configuration(), services.preferences(), userInitiated);
    auto transport = services.httpTransport();
    Executor& main = services.mainLoop();
    shell_.background().post([this, request, transport, &main, stop = stop_.get_token(), alive = alive_] {
        auto result = checkForUpdates(*transport, request, stop);
        main.post([this, result = std::move(result), alive] {
            if (*alive) answered(result);
        });
    });
}

void StudioUpdates::answered(const UpdateCheckResult& result) {
    busy_ = false;
    log::info(log_area::kStudio, "update check: outcome %d", static_cast<int>(result.outcome));
    if (result.outcome == UpdateCheckResult::Outcome::available && result.release) {
        shell_.services().preferences().setLastPromptedUpdateVersion(result.release->version);
    }
    if (!result.notice) return;
    QMessageBox* box = present(*result.notice);
    if (result.outcome != UpdateCheckResult::Outcome::available || !result.release) return;
    const AppRelease release = *result.release;
    connect(box, &QMessageBox::buttonClicked, this, [this, release](QAbstractButton* button) {
        if (button->text() == kInstallAndRelaunch) install(release);
    });
}

QMessageBox* StudioUpdates::present(const UpdateNotice& notice) {
    auto* box = new QMessageBox(QMessageBox::Information, QString::fromStdString(notice.title),
                                QString::fromStdString(notice.message), QMessageBox::NoButton);
    box->setAccessibleName(QString::fromStdString(notice.title));
    box->setAttribute(Qt::WA_DeleteOnClose);
    if (notice.buttons.empty()) box->addButton(QMessageBox::Ok);
    for (const auto& title : notice.buttons) {
        const bool declines = title == kLater;
        box->addButton(QString::fromStdString(title), declines ? QMessageBox::RejectRole : QMessageBox::AcceptRole);
    }
    if (!notice.buttons.empty() && notice.buttons.back() != kLater) box->addButton(QMessageBox::Close);
    connect(box, &QObject::destroyed, this, [this, box] {
        if (notice_ == box) notice_ = nullptr;
    });
    notice_ = box;
    box->open();
    return box;
}

void StudioUpdates::install(const AppRelease& release) {
    using Phase = ScreenRecorder::Phase;
    const Phase phase = shell_.recording().phase();
    if (phase == Phase::starting || phase == Phase::recording || phase == Phase::stopping) {
        installFailed("A recording is running. Stop it, then install the update.");
        return;
    }
    app::Services& services = shell_.services();
    auto transport = services.httpTransport();
    const auto settings = app::updateSettings(services.configuration());
    progress_ = new QProgressDialog(QString::fromStdString("Downloading Orvane " + release.releaseVersion().display()),
                                    "Cancel", 0, 100);
    progress_->setWindowTitle(kUpdatingTitle);
    progress_->setAccessibleName(kUpdatingTitle);
    progress_->setAttribute(Qt::WA_DeleteOnClose);
    progress_->setMinimumDuration(0);
    progress_->setAutoClose(false);
    progress_->setAutoReset(false);
    progress_->setValue(0);
    std::stop_source cancel;
    connect(progress_, &QProgressDialog::canceled, this, [cancel]() mutable { cancel.request_stop(); });
    connect(progress_, &QObject::destroyed, this, [this] { progress_ = nullptr; });
    progress_->show();

    Executor& main = services.mainLoop();
    const auto relaunch = runningExecutablePath();
    shell_.background().post([this, transport, settings, release, relaunch, cancel, &main, alive = alive_] {
        UpdateInstaller installer(transport, settings);
        auto progress = [&main, this, alive, lastPercent = -1](std::uint64_t received, std::uint64_t total) mutable {
            if (total == 0) return;
            const int percent = static_cast<int>(received * 100 / total);
            if (percent == lastPercent) return;
            lastPercent = percent;
            main.post([this, percent, alive] {
                if (*alive && progress_) progress_->setValue(percent);
            });
        };
        try {
            const auto plan = installer.prepare(release, progress, cancel.get_token());
            // The launcher starts the new copy's studio at the path this one was started from.
            std::vector<std::string> command;
            if (relaunch) command = {(plan.target / "bin" / relaunch->filename()).string()};
            installer.launch(plan, command);
            main.post([this, alive] {
                if (!*alive) return;
                if (progress_) progress_->setLabelText(kRelaunchingMessage);
                log::info(log_area::kStudio, "update staged; quitting so the launcher can swap it in");
                Q_EMIT relaunchRequested();
            });
        } catch (const std::exception& error) {
            const bool cancelled = cancel.stop_requested();
            const std::string reason = error.what();
            main.post([this, reason, cancelled, alive] {
                if (!*alive) return;
                if (progress_) progress_->close();
                if (!cancelled) installFailed(reason);
            });
        }
    });
}

void StudioUpdates::installFailed(const std::string& reason) {
    log::warning(log_area::kStudio, "update not installed: %s", reason.c_str());
    QMessageBox* box = present(installFailureNotice(reason));
    const std::string download = shell_.services().configuration().downloadURL();
    connect(box, &QMessageBox::buttonClicked, this, [this, download](QAbstractButton* button) {
        if (button->text() == kDownloadInstaller) opener_->open(download);
    });
}

bool passInstalledLocationGate() {
    if (!StudioUpdates::runsFromRelease()) return true;
    const auto locations = app::updateLocations();
    if (locations.decision.installedIsCurrent || !locations.running) return true;
    const UpdateNotice gate = installedLocationGate(locations.decision);
    QMessageBox box(QMessageBox::Information, QString::fromStdString(gate.title), QString::fromStdString(gate.message));
    for (const auto& title : gate.buttons) {
        box.addButton(QString::fromStdString(title),
                      title == kQuit ? QMessageBox::RejectRole : QMessageBox::AcceptRole);
    }
    box.exec();
    const QString chosen = box.clickedButton() ? box.clickedButton()->text() : QString(kQuit);
    if (chosen == kInstallReplace) {
        try {
            installRunningCopy(*locations.running, locations.installed);
        } catch (const InstallAppError& error) {
            QMessageBox failed(QMessageBox::Warning, InstallAppError::kTitle, error.what());
            QAbstractButton* reveal = failed.addButton(kRevealThisCopy, QMessageBox::ActionRole);
            failed.addButton(kQuit, QMessageBox::RejectRole);
            failed.exec();
            if (failed.clickedButton() == reveal) makeXdgUrlOpener()->revealFile(*locations.running / "bin");
            return false;
        }
    }
    if (chosen != kQuit && !startInstalledStudio(locations.installed)) {
        QMessageBox::warning(nullptr, "Could not start the installed Orvane",
                             QString::fromStdString((locations.installed / "bin" / "orvane-studio").string()));
    }
    return false;
}

}  // namespace orvane::studio
