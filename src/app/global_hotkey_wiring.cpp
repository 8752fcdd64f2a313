#include "app/global_hotkey_wiring.h"

#include "app/preferences.h"
#include "app/recording_commands.h"
#include "base/executor.h"
#include "base/log.h"
#include "base/log_areas.h"
#include "base/toast_center.h"
#include "platform/portal/portal_global_hotkeys.h"
#include "platform/x11/x11_global_hotkeys.h"

#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <variant>

namespace orvane {

std::unique_ptr<GlobalHotkeyManager> makeSystemGlobalHotkeyManager() {
    if (const char* wayland = std::getenv("WAYLAND_DISPLAY"); wayland && *wayland) {
        if (auto portal = PortalGlobalHotkeys::connect()) return portal;
        // Xwayland's key grabs see only keys pressed in X11 windows: worse than none.
        throw std::runtime_error("this Wayland desktop offers no shortcuts portal; keys are bound in its own settings");
    }
    return makeX11GlobalHotkeyManager();
}

GlobalHotkeyWiring::GlobalHotkeyWiring(Preferences& preferences, GlobalHotkeyManager& manager, ToastCenter& toasts,
                                       RecordingCommandRouter& router, std::function<void()> takeScreenshot,
                                       Executor* mainLoop)
    : preferences_(preferences),
      manager_(manager),
      toasts_(toasts),
      router_(router),
      takeScreenshot_(std::move(takeScreenshot)),
      showHotkeyOnboarding_(!preferences.hotkeyOnboardingShown()),
      mainLoop_(mainLoop) {
    manager_.setHandler([this](HotkeyAction action) { onDispatch(action); });
    preferenceChanges_ = preferences_.store().observe([this](const std::string& key) {
        std::optional<HotkeyAction> action;
        if (key == preference_keys::hotkeyNewRecordingEnabled || key == kNewRecordingChordKey) {
            action = HotkeyAction::newRecording;
        }
        if (key == preference_keys::hotkeyScreenshotEnabled || key == kScreenshotChordKey) {
            action = HotkeyAction::screenshot;
        }
        if (!action) return;
        if (!mainLoop_) {
            onSync(*action,
                   *action == HotkeyAction::newRecording ? hotkeyNewRecordingEnabled() : hotkeyScreenshotEnabled());
            return;
        }
        // The value is read when the sync runs, so two quick flips end in the last one.
        std::weak_ptr<GlobalHotkeyWiring*> weak = self_;
        mainLoop_->post([weak, action = *action] {
            auto self = weak.lock();
            if (!self) return;
            GlobalHotkeyWiring& wiring = **self;
            wiring.onSync(action, action == HotkeyAction::newRecording ? wiring.hotkeyNewRecordingEnabled()
                                                                       : wiring.hotkeyScreenshotEnabled());
        });
    });
}

GlobalHotkeyWiring::~GlobalHotkeyWiring() = default;

void GlobalHotkeyWiring::syncFromPreferences() {
    if (hotkeyNewRecordingEnabled()) onSync(HotkeyAction::newRecording, true);
    if (hotkeyScreenshotEnabled()) onSync(HotkeyAction::screenshot, true);
}

bool GlobalHotkeyWiring::hotkeyNewRecordingEnabled() const { return preferences_.hotkeyNewRecordingEnabled(); }
void GlobalHotkeyWiring::setHotkeyNewRecordingEnabled(bool on) { preferences_.setHotkeyNewRecordingEnabled(on); }
bool GlobalHotkeyWiring::hotkeyScreenshotEnabled() const { return preferences_.hotkeyScreenshotEnabled(); }
void GlobalHotkeyWiring::setHotkeyScreenshotEnabled(bool on) { preferences_.setHotkeyScreenshotEnabled(on); }

std::string_view GlobalHotkeyWiring::chordKey(HotkeyAction action) {
    return action == HotkeyAction::newRecording ? kNewRecordingChordKey : kScreenshotChordKey;
}

std::string GlobalHotkeyWiring::customChordText(const Preferences& preferences, HotkeyAction action) {
    const auto value = preferences.store().get(chordKey(action));
    if (const auto* text = value ? std::get_if<std::string>(&*value) : nullptr) return *text;
    return {};
}

void GlobalHotkeyWiring::setCustomChordText(Preferences& preferences, HotkeyAction action, std::string_view text) {
    if (text.empty()) {
        preferences.store().remove(chordKey(action));
    } else {
        preferences.store().set(chordKey(action), std::string(text));
    }
}

HotkeyChord GlobalHotkeyWiring::chord(HotkeyAction action) const {
    const std::string custom = customChordText(preferences_, action);
    if (custom.empty()) return defaultHotkeyChord(action);
    if (auto parsed = parseHotkeyChord(custom)) return *parsed;
    // Written by hand into the file; the default chord keeps the shortcut working.
    log::warning(log_area::kApp, "the %s shortcut \"%s\" is not a chord; using the default",
                 std::string(rawValue(action)).c_str(), custom.c_str());
    return defaultHotkeyChord(action);
}

void GlobalHotkeyWiring::onSync(HotkeyAction action, bool enabled) {
    if (!enabled) {
        manager_.unregisterHotkey(action);
        return;
    }
    if (!manager_.registerHotkey(action, chord(action))) {
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
