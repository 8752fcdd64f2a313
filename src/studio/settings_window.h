#pragma once

#include <QDialog>

#include <functional>
#include <memory>
#include <string>

#include "base/signal.h"

class QFormLayout;
class QLineEdit;
class QListWidget;
class QStackedWidget;

namespace orvane {
class Executor;
class LaunchAtLoginController;
enum class HotkeyAction;
class Preferences;
class SecretStore;
}  // namespace orvane

namespace orvane::studio {

// The settings window (Ctrl+,): one page per area. Every control writes its preference as it
// changes, so the Recording menu and the next recording see it at once. Keys and tokens go to the
// keychain, never into the preferences file; keychain calls may wait on D-Bus, so they run on
// `background` and report back on `main`.
class SettingsWindow : public QDialog {
    Q_OBJECT
public:
    SettingsWindow(Preferences& preferences, SecretStore& secrets, Executor& main, Executor& background,
                   QWidget* parent);
    ~SettingsWindow() override;

    // Shows `page` ("General", "Recording", "Shortcuts", "Export", "Sharing", "Voice", "Privacy").
    void showPage(const QString& page);

protected:
    void showEvent(QShowEvent* event) override;

private:
    QFormLayout* addPage(const QString& name);
    void addLaunchAtLogin(QFormLayout* page);
    void addChordField(QFormLayout* page, const QString& label, HotkeyAction action);
    // Wayland: the commands to bind in the desktop's own keyboard settings, each with a Copy button.
    void addDesktopBindings(QFormLayout* page);
    void addSecretField(QFormLayout* page, const QString& label, const std::string& account);

    Preferences& preferences_;
    SecretStore& secrets_;
    Executor& main_;
    Executor& background_;
    QListWidget* pages_;
    QStackedWidget* stack_;
    std::unique_ptr<LaunchAtLoginController> launchAtLogin_;
    Subscription launchAtLoginSubscription_;
    std::shared_ptr<SettingsWindow*> self_ = std::make_shared<SettingsWindow*>(this);
};

}  // namespace orvane::studio
