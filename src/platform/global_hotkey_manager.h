#pragma once

// System-wide keyboard shortcuts that reach the studio whichever window has the focus.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

enum class HotkeyAction { newRecording, screenshot };
// "newRecording", "screenshot".
std::string_view rawValue(HotkeyAction action);

// Modifier bits of a chord, independent of the window system.
enum HotkeyModifier : std::uint32_t {
    kHotkeyShift = 1u << 0,
    kHotkeyControl = 1u << 1,
    kHotkeyAlt = 1u << 2,
    kHotkeySuper = 1u << 3,
};

// A key (an X keysym: XK_6 is '6') and the modifiers held with it.
struct HotkeyChord {
    std::uint32_t keysym = 0;
    std::uint32_t modifiers = 0;
    bool operator==(const HotkeyChord&) const = default;
};

// New recording: Ctrl+Shift+6; screenshot: Ctrl+Shift+1 (see docs/platform.md for why).
HotkeyChord defaultHotkeyChord(HotkeyAction action);

// A chord as people write it: modifiers and one key joined by "+", e.g. "Ctrl+Shift+6",
// "Ctrl+Alt+R", "Super+F9". Modifiers are Ctrl (Control), Shift, Alt, Super, in any case and order;
// the key is a letter, a digit or F1...F12. Nothing for anything else, or a chord without a
// modifier (a bare key grabbed globally would take it from every application).
std::optional<HotkeyChord> parseHotkeyChord(std::string_view text);
// The same form, modifiers in the order Ctrl, Shift, Alt, Super.
std::string hotkeyChordText(const HotkeyChord& chord);

// The chords registered for `chord`: the chord itself and, when it lacks Alt, the same chord with
// Alt, so a hand that also holds Alt still triggers it.
std::vector<HotkeyChord> hotkeyVariants(const HotkeyChord& chord);

// Main-loop object. Events arrive through the descriptor: when it is readable (or right after a
// call that talked to the window system, which may have read events ahead), call dispatchPending().
class GlobalHotkeyManager {
public:
    using Handler = std::function<void(HotkeyAction)>;
    virtual ~GlobalHotkeyManager() = default;

    virtual void setHandler(Handler handler) = 0;
    // Registers every variant of `chord` for `action`, replacing what the action had. Answers
    // whether at least one variant was taken; another program holding a chord refuses it.
    virtual bool registerHotkey(HotkeyAction action, const HotkeyChord& chord) = 0;
    // Removes every registration of `action`.
    virtual void unregisterHotkey(HotkeyAction action) = 0;

    virtual int fd() const = 0;
    // Handles every event that has arrived, calling the handler for each hot-key press.
    virtual void dispatchPending() = 0;
};

}  // namespace orvane
