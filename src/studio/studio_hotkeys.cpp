#include "studio/studio_hotkeys.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <exception>

#include "app/preference_adapters.h"
#include "app/preferences.h"
#include "app/services.h"
#include "base/log.h"
#include "base/log_areas.h"
#include "recording/screenshots/screenshot_service.h"
#include "studio/home_window.h"
#include "studio/studio_shell.h"

namespace orvane::studio {

StudioHotkeys::StudioHotkeys(StudioShell& shell, QObject* parent) : QObject(parent) {
    try {
        manager_ = makeSystemGlobalHotkeyManager();
    } catch (const std::exception& e) {
        log::warning(log_area::kStudio, "no global hot keys: %s", e.what());
        return;
    }
    app::Services& services = shell.services();
    wiring_ = std::make_unique<GlobalHotkeyWiring>(
        services.preferences(), *manager_, services.toasts(), shell.router(),
        [this, &services] { takeScreenshot(services); }, &services.mainLoop());
    notifier_ = std::make_unique<QSocketNotifier>(manager_->fd(), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &StudioHotkeys::dispatch);
    // Grabbing talks to the server, and Xlib may read events ahead into its queue where the
    // descriptor no longer shows them; they are taken on the next turn.
    preferenceChanges_ = services.preferences().store().observe(
        [this](const std::string&) { QTimer::singleShot(0, this, &StudioHotkeys::dispatch); });
    wiring_->syncFromPreferences();
    dispatch();
    if (wiring_->showHotkeyOnboarding()) introduce(shell);
}

// Once per user: the hot keys are off until switched on, so people learn they exist and where.
void StudioHotkeys::introduce(StudioShell& shell) {
    GlobalHotkeyWiring& wiring = *wiring_;
    auto* box = new QMessageBox(QMessageBox::Information, "Global shortcuts",
                                QString::fromStdString("Start a new recording from any application with " +
                                                       hotkeyChordText(wiring.chord(HotkeyAction::newRecording)) +
                                                       ", or take a screenshot with " +
                                                       hotkeyChordText(wiring.chord(HotkeyAction::screenshot)) + "."),
                                QMessageBox::NoButton, &shell.home());
    box->setAccessibleName("Global shortcuts");
    box->setInformativeText("Switch them on, or pick other keys, in Settings \u2192 Shortcuts.");
    QPushButton* settings = box->addButton("Open Settings", QMessageBox::ActionRole);
    box->addButton("Got It", QMessageBox::AcceptRole);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    connect(box, &QMessageBox::finished, this, [this, box, settings, &shell] {
        if (wiring_) wiring_->dismissHotkeyOnboarding();
        if (box->clickedButton() == settings) shell.requestSettings();
    });
    box->show();
}

StudioHotkeys::~StudioHotkeys() {
    notifier_.reset();
    wiring_.reset();
}

void StudioHotkeys::takeScreenshot(app::Services& services) {
    try {
        DesktopScreenshot* desktop = services.desktopScreenshot();
        if (!screenshots_) {
            screenshots_ = std::make_unique<ScreenshotService>(services.screenCapture(), services.pointer(),
                                                               screenshotDestination(services.preferences()),
                                                               services.toasts(), services.mainLoop());
        }
        screenshots_->useDesktopScreenshots(desktop);
        screenshots_->setDefaultDestination(screenshotDestination(services.preferences()));
        screenshots_->takeScreenshot(std::nullopt);
    } catch (const std::exception& e) {
        services.toasts().post(ToastLevel::warning, "Screenshot failed", std::string(e.what()));
    }
}

void StudioHotkeys::dispatch() {
    if (!manager_) return;
    try {
        manager_->dispatchPending();
    } catch (const std::exception& e) {
        log::error(log_area::kStudio, "a hot key could not be handled: %s", e.what());
    }
}

}  // namespace orvane::studio
