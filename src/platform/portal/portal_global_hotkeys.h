#pragma once

#include <map>
#include <memory>
#include <string>

#include "platform/global_hotkey_manager.h"

namespace orvane {

namespace portal {
class PortalBus;
}

// The trigger a chord is asked for in, as the shortcuts portal writes keys: "CTRL+SHIFT+6",
// "ALT+LOGO+r", "CTRL+F9" (modifiers upper case, the key by its keysym name).
std::string portalShortcutTrigger(const HotkeyChord& chord);

// Global shortcuts through xdg-desktop-portal's GlobalShortcuts interface (sd-bus), for Wayland
// desktops that offer it. The desktop owns the keys: it may ask the user, and may bind another
// chord than the one preferred. Each change binds every registered action again in a new session,
// since a session's shortcuts are bound once. Main-loop object; presses arrive through fd().
class PortalGlobalHotkeys final : public GlobalHotkeyManager {
public:
    // Nothing when there is no session bus or the desktop offers no GlobalShortcuts portal.
    static std::unique_ptr<PortalGlobalHotkeys> connect();
    explicit PortalGlobalHotkeys(std::unique_ptr<portal::PortalBus> bus);
    ~PortalGlobalHotkeys() override;

    void setHandler(Handler handler) override;
    // False when the desktop (or the user in its dialog) refused; the action is then not bound.
    bool registerHotkey(HotkeyAction action, const HotkeyChord& chord) override;
    void unregisterHotkey(HotkeyAction action) override;
    int fd() const override;
    void dispatchPending() override;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace orvane
