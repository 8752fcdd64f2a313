#include "studio/studio_tray.h"

#include <QApplication>
#include <QMenu>
#include <QSystemTrayIcon>

#include "base/log.h"
#include "base/log_areas.h"
#include "recording/screen_recorder.h"
#include "studio/app_icon.h"
#include "studio/home_window.h"
#include "studio/recording_controller.h"
#include "studio/recording_menu.h"
#include "studio/studio_shell.h"

namespace orvane::studio {

StudioTray::StudioTray(StudioShell& shell)
    : shell_(shell), menu_(std::make_unique<QMenu>()), icon_(std::make_unique<QSystemTrayIcon>()) {
    menu_->setAccessibleName("Orvane tray menu");
    connect(menu_.get(), &QMenu::aboutToShow, this, &StudioTray::rebuildMenu);
    rebuildMenu();
    icon_->setContextMenu(menu_.get());
    connect(icon_.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) showHome();
    });
    connect(&shell_.recording(), &RecordingController::phaseChanged, this, &StudioTray::phaseChanged);
    phaseChanged();
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        icon_->show();
    } else {
        log::info(log_area::kStudio, "no tray on this desktop; the recording commands stay in the menu bar");
    }
}

StudioTray::~StudioTray() = default;

bool StudioTray::isShown() const { return icon_->isVisible(); }

QString StudioTray::toolTip() const { return icon_->toolTip(); }

void StudioTray::rebuildMenu() {
    menu_->clear();
    menu_->addAction("Open Orvane", this, &StudioTray::showHome);
    menu_->addSeparator();
    fillRecordingMenu(menu_.get(), shell_.commands().menu(shell_.menuState()), this, [this] { rebuild_.schedule(); });
    menu_->addSeparator();
    menu_->addAction("Quit Orvane", qApp, &QApplication::closeAllWindows);
}

void StudioTray::showHome() {
    HomeWindow& home = shell_.home();
    home.showNormal();
    home.raise();
    home.activateWindow();
}

void StudioTray::phaseChanged() {
    using Phase = ScreenRecorder::Phase;
    const Phase phase = shell_.recording().phase();
    const bool busy = phase == Phase::starting || phase == Phase::recording || phase == Phase::stopping;
    icon_->setIcon(appIcon(busy));
    icon_->setToolTip(phase == Phase::starting    ? "Orvane — Starting a recording"
                      : phase == Phase::recording ? "Orvane — Recording"
                      : phase == Phase::stopping  ? "Orvane — Finishing the recording"
                                                  : "Orvane");
    // The titles depend on the phase ("Stop Recording", "Finalizing Recording").
    rebuild_.schedule();
}

}  // namespace orvane::studio
