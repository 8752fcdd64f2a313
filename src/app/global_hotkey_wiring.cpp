#include "app/global_hotkey_wiring.h"

#include "app/preferences.h"
#include "app/recording_commands.h"
#include "base/toast_center.h"

namespace orvane {

GlobalHotkeyWiring::GlobalHotkeyWiring(Preferences& preferences, GlobalHotkeyManager& manager, ToastCenter& toasts,
                                       RecordingCommandRouter& router, std::function<void()> takeScreenshot)
    : preferences_(preferences),
      manager_(manager),
      toasts_(toasts),
      router_(router),
      takeScreenshot_(std::move(takeScreenshot)),
      showHotkeyOnboarding_(!preferences.hotkeyOnboardingShown()) {
    manager_.setHandler([this](HotkeyAction action) { onDispatch(action); });
    preferenceChanges_ = preferences_.store().observe([this](const std::string& key) {
        if (key == preference_keys::hotkeyNewRecordingEnabled) {
            onSync(HotkeyAction::newRecording, hotkeyNewRecordingEnabled());
        } else if (key == preference_keys::hotkeyScreenshotEnabled) {
            onSync(HotkeyAction::screenshot, hotkeyScreenshotEnabled());
        }
    });
}

void GlobalHotkeyWiring::syncFromPreferences() {
    if (hotkeyNewRecordingEnabled()) onSync(HotkeyAction::newRecording, true);
    if (hotkeyScreenshotEnabled()) onSync(HotkeyAction::screenshot, true);
}

bool GlobalHotkeyWiring::hotkeyNewRecordingEnabled() const { return preferences_.hotkeyNewRecordingEnabled(); }
void GlobalHotkeyWiring::setHotkeyNewRecordingEnabled(bool on) { preferences_.setHotkeyNewRecordingEnabled(on); }
bool GlobalHotkeyWiring::hotkeyScreenshotEnabled() const { return preferences_.hotkeyScreenshotEnabled(); }
void GlobalHotkeyWiring::setHotkeyScreenshotEnabled(bool on) { preferences_.setHotkeyScreenshotEnabled(on); }

void GlobalHotkeyWiring::onSync(HotkeyAction action, bool enabled) {
    if (!enabled) {
        manager_.unregisterHotkey(action);
        return;
    }
    if (!manager_.registerHotkey(action, defaultHotkeyChord(action))) {
        toasts_.post(ToastLevel::warning, kBindFailedTitle, std::string(kBindFailedDetail));
    }
}

void GlobalHotkeyWiring::onDispatch(HotkeyAction action) {
    switch (action) {
        case HotkeyAction::newRecording: router_.requestNewRecording(); break;
        case HotkeyAction::screenshot:
            if (takeScreenshot_) takeScreenshot_();
            break;
    }
}

void GlobalHotkeyWiring::dismissHotkeyOnboarding() {
    showHotkeyOnboarding_ = false;
    preferences_.setHotkeyOnboardingShown(true);
}

}  // namespace orvane
