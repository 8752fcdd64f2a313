#pragma once

// The two global hot keys as the settings screen sees them: switches in the preferences that
// register and unregister the chords, what a press does, and the one-time introduction.

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "base/signal.h"
#include "platform/global_hotkey_manager.h"

namespace orvane {

class Executor;
class Preferences;
class RecordingCommandRouter;
class ToastCenter;

// The session's hot-key service: on Wayland the desktop's GlobalShortcuts portal, elsewhere X11 key
// grabs on a connection of their own. Throws std::runtime_error on a Wayland desktop without that
// portal (see desktop_shortcuts.h), ScreenCaptureError when no X server answers.
std::unique_ptr<GlobalHotkeyManager> makeSystemGlobalHotkeyManager();

// A main-loop object.
class GlobalHotkeyWiring {
public:
    static constexpr const char* kBindFailedTitle = "Couldn't bind the shortcut";
    static constexpr const char* kBindFailedDetail =
        "Another app may already use this chord. Pick a different shortcut from Orvane \u2192 Settings \u2192 "
        "Shortcuts.";

    // Custom chords live in the preferences as text ("Ctrl+Alt+R", see parseHotkeyChord); absent or
    // empty means the default chord.
    static constexpr std::string_view kNewRecordingChordKey = "orvaneHotkeyNewRecordingChord";
    static constexpr std::string_view kScreenshotChordKey = "orvaneHotkeyScreenshotChord";
    static std::string_view chordKey(HotkeyAction action);
    static std::string customChordText(const Preferences& preferences, HotkeyAction action);
    static void setCustomChordText(Preferences& preferences, HotkeyAction action, std::string_view text);

    // Takes over `manager`'s handler. `takeScreenshot` starts a screenshot the way the screenshot
    // command does. With `mainLoop`, a change of the switches is synced on it whichever thread wrote
    // the preference, as the grabs and the failure toast belong to the main loop; without it the
    // sync runs on the writer's thread.
    GlobalHotkeyWiring(Preferences& preferences, GlobalHotkeyManager& manager, ToastCenter& toasts,
                       RecordingCommandRouter& router, std::function<void()> takeScreenshot,
                       Executor* mainLoop = nullptr);
    ~GlobalHotkeyWiring();

    // Registers the hot keys whose switches are on; called once at start-up. Later changes of the
    // switches, from any writer of the preferences, sync on their own.
    void syncFromPreferences();

    bool hotkeyNewRecordingEnabled() const;
    void setHotkeyNewRecordingEnabled(bool on);
    bool hotkeyScreenshotEnabled() const;
    void setHotkeyScreenshotEnabled(bool on);

    // The chord the action is bound to: the custom one from the preferences, else the default.
    HotkeyChord chord(HotkeyAction action) const;

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
    Executor* mainLoop_;
    // Syncs posted to the main loop check it, so none runs after the wiring is gone.
    std::shared_ptr<GlobalHotkeyWiring*> self_ = std::make_shared<GlobalHotkeyWiring*>(this);
    Subscription preferenceChanges_;
};

}  // namespace orvane
