#include "platform/x11/x11_global_hotkeys.h"

#include <X11/XKBlib.h>
#include <X11/keysym.h>

#include <array>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "base/log.h"
#include "base/log_areas.h"
#include "platform/x11/x11_connection.h"

namespace orvane {

namespace {

struct Grab {
    KeyCode keycode = 0;
    unsigned modifiers = 0;  // X modifier mask, without the lock modifiers
};

unsigned xModifiers(std::uint32_t modifiers) {
    unsigned mask = 0;
    if (modifiers & kHotkeyShift) mask |= ShiftMask;
    if (modifiers & kHotkeyControl) mask |= ControlMask;
    if (modifiers & kHotkeyAlt) mask |= Mod1Mask;
    if (modifiers & kHotkeySuper) mask |= Mod4Mask;
    return mask;
}

// The modifier bit Num Lock sets on this server (usually Mod2), read from the modifier map.
unsigned numLockMask(Display* display) {
    const KeyCode numLock = XKeysymToKeycode(display, XK_Num_Lock);
    if (numLock == 0) return 0;
    XModifierKeymap* map = XGetModifierMapping(display);
    if (!map) return 0;
    unsigned mask = 0;
    for (int modifier = 0; modifier < 8; ++modifier) {
        for (int k = 0; k < map->max_keypermod; ++k) {
            if (map->modifiermap[modifier * map->max_keypermod + k] == numLock) mask = 1u << modifier;
        }
    }
    XFreeModifiermap(map);
    return mask;
}

class X11GlobalHotkeyManager final : public GlobalHotkeyManager {
public:
    explicit X11GlobalHotkeyManager(const char* displayName)
        : connection_(x11::openConnection(displayName)),
          root_(DefaultRootWindow(connection_.get())),
          numLock_(numLockMask(connection_.get())) {
        // Without detectable auto-repeat a held key sends a release before every repeated press,
        // and a held chord could not be told from one pressed again.
        XkbSetDetectableAutoRepeat(connection_.get(), True, nullptr);
    }

    ~X11GlobalHotkeyManager() override {
        for (auto& [action, grabs] : grabs_) ungrab(grabs);
        XSync(connection_.get(), False);
    }

    void setHandler(Handler handler) override { handler_ = std::move(handler); }

    bool registerHotkey(HotkeyAction action, const HotkeyChord& chord) override {
        unregisterHotkey(action);
        Display* display = connection_.get();
        const KeyCode keycode = XKeysymToKeycode(display, chord.keysym);
        if (keycode == 0) {
            log::warning(log_area::kApp, "hot key %s: no key for keysym 0x%x", rawValue(action).data(), chord.keysym);
            return false;
        }
        std::vector<Grab>& taken = grabs_[action];
        for (const auto& variant : hotkeyVariants(chord)) {
            const Grab grab{keycode, xModifiers(variant.modifiers)};
            if (grabWithLocks(grab)) {
                taken.push_back(grab);
            } else {
                log::warning(log_area::kApp, "hot key %s: chord 0x%x+%u is held by another program",
                             rawValue(action).data(), chord.keysym, variant.modifiers);
            }
        }
        return !taken.empty();
    }

    void unregisterHotkey(HotkeyAction action) override {
        const auto found = grabs_.find(action);
        if (found == grabs_.end()) return;
        ungrab(found->second);
        grabs_.erase(found);
        XFlush(connection_.get());
    }

    int fd() const override { return ConnectionNumber(connection_.get()); }

    void dispatchPending() override {
        Display* display = connection_.get();
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == KeyRelease) {
                down_.erase(event.xkey.keycode);
                continue;
            }
            if (event.type != KeyPress) continue;
            // A held chord repeats its press (detectable auto-repeat leaves out the releases in
            // between); it starts one recording, not one per repeat.
            if (!down_.insert(event.xkey.keycode).second) continue;
            const unsigned held = event.xkey.state & (ShiftMask | ControlMask | Mod1Mask | Mod4Mask);
            if (const auto action = actionFor(event.xkey.keycode, held); action && handler_) handler_(*action);
        }
    }

private:
    std::optional<HotkeyAction> actionFor(unsigned keycode, unsigned held) const {
        for (const auto& [action, grabs] : grabs_) {
            for (const auto& grab : grabs) {
                if (grab.keycode == keycode && grab.modifiers == held) return action;
            }
        }
        return std::nullopt;
    }

    // The same chord with Caps Lock, Num Lock and both: X matches modifiers exactly, so without
    // these a chord would stop working whenever a lock is on.
    std::array<unsigned, 4> lockVariants() const {
        return {0u, static_cast<unsigned>(LockMask), numLock_, LockMask | numLock_};
    }

    // All four lock variants or none: a chord that works only while Caps Lock is off would
    // look broken at random.
    bool grabWithLocks(const Grab& grab) {
        Display* display = connection_.get();
        x11::ErrorTrap trap(display);
        for (const unsigned locks : lockVariants()) {
            XGrabKey(display, grab.keycode, grab.modifiers | locks, root_, False, GrabModeAsync, GrabModeAsync);
        }
        if (!trap.failedAfterSync()) return true;
        // BadAccess: another client holds at least one variant; release the ones we did get.
        ungrab({grab});
        return false;
    }

    void ungrab(const std::vector<Grab>& grabs) {
        Display* display = connection_.get();
        x11::ErrorTrap trap(display);
        for (const auto& grab : grabs) {
            for (const unsigned locks : lockVariants()) {
                XUngrabKey(display, grab.keycode, grab.modifiers | locks, root_);
            }
        }
    }

    x11::Connection connection_;
    Window root_;
    unsigned numLock_;
    Handler handler_;
    std::map<HotkeyAction, std::vector<Grab>> grabs_;
    std::set<unsigned> down_;  // grabbed keys pressed and not yet released
};

}  // namespace

std::unique_ptr<GlobalHotkeyManager> makeX11GlobalHotkeyManager(const char* displayName) {
    return std::make_unique<X11GlobalHotkeyManager>(displayName);
}

}  // namespace orvane
