#pragma once

// The two global hot keys as the settings screen sees them: switches in the preferences that
// register and unregister the chords, what a press does, and the one-time introduction.

#include <functional>

#include "base/signal.h"
#include "platform/global_hotkey_manager.h"

namespace orvane {

class Preferences;
class RecordingCommandRouter;
class ToastCenter;

// A main-loop object.
class GlobalHotkeyWiring {
public:
    static constexpr const char* kBindFailedTitle = "Couldn't bind the shortcut";
    static constexpr const char* kBindFailedDetail =
        "Another app may already use this chord. Pick a different shortcut from Orvane \u2192 Settings \u2192 "
        "Shortcuts.";

    // Takes over `manager`'s handler. `takeScreenshot` starts a screenshot the way the screenshot
    // command does.
    GlobalHotkeyWiring(Preferences& preferences, GlobalHotkeyManager& manager, ToastCenter& toasts,
                       RecordingCommandRouter& router, std::function<void()> takeScreenshot);

    // Registers the hot keys whose switches are on; called once at start-up. Later changes of the
    // switches, from any writer of the preferences, sync on their own.
    void syncFromPreferences();

    bool hotkeyNewRecordingEnabled() const;
    void setHotkeyNewRecordingEnabled(bool on);
    bool hotkeyScreenshotEnabled() const;
    void setHotkeyScreenshotEnabled(bool on);

    // Registers or unregisters one action's chords; a refused registration shows the warning toast.
    void onSync(HotkeyAction action, bool enabled);
    // What a press of the action's chord does.
    void onDispatch(HotkeyAction action);

    // The introduction is shown while it has never been dismissed.
    bool showHotkeyOnboarding() const { return showHotkeyOnboarding_; }
    void dismissHotkeyOnboarding();

private:
    Preferences& preferences_;
    GlobalHotkeyManager& manager_;
    ToastCenter& toasts_;
    RecordingCommandRouter& router_;
    std::function<void()> takeScreenshot_;
    bool showHotkeyOnboarding_ = false;
    Subscription preferenceChanges_;
};

}  // namespace orvane
