#include <X11/extensions/XTest.h>

#include <cstdint>
#include <vector>

#include "platform/input_synthesizer.h"
#include "platform/x11/x11_connection.h"

namespace orvane {

namespace {

// Code points of UTF-8 text; a broken sequence reads as U+FFFD so nothing is silently dropped.
std::vector<char32_t> codePoints(std::string_view text) {
    std::vector<char32_t> result;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        int length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
        if (length == 0 || i + static_cast<std::size_t>(length) > text.size()) {
            result.push_back(0xFFFD);
            ++i;
            continue;
        }
        char32_t cp = length == 1 ? c : c & (0xFF >> (length + 1));
        for (int k = 1; k < length; ++k) cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        result.push_back(cp);
        i += static_cast<std::size_t>(length);
    }
    return result;
}

KeySym keysymFor(char32_t cp) {
    if (cp == '\n' || cp == '\r') return XK_Return;
    if (cp == '\t') return XK_Tab;
    if (cp == '\b') return XK_BackSpace;
    // Latin-1 keysyms equal their code points; the rest use the Unicode keysym range.
    if ((cp >= 0x20 && cp <= 0x7E) || (cp >= 0xA0 && cp <= 0xFF)) return cp;
    return 0x01000000 | cp;
}

class X11InputSynthesizer final : public InputSynthesizer {
public:
    X11InputSynthesizer() : display_(x11::openConnection()) {
        int event = 0, error = 0, major = 0, minor = 0;
        if (!XTestQueryExtension(display_.get(), &event, &error, &major, &minor)) {
            throw InputSynthesisError("The X server has no XTEST extension, so the plan cannot be performed for real.");
        }
        XDisplayKeycodes(display_.get(), &minKeycode_, &maxKeycode_);
    }

    ~X11InputSynthesizer() override {
        // A button left down would keep a grab on whatever window got the press.
        for (unsigned button = 1; button <= 3; ++button) {
            if (down_[button]) XTestFakeButtonEvent(display_.get(), button, False, CurrentTime);
        }
        restoreScratchKey();
        XSync(display_.get(), False);
    }

    void moveTo(PointerLocation location) override {
        XTestFakeMotionEvent(display_.get(), -1, static_cast<int>(location.x), static_cast<int>(location.y),
                             CurrentTime);
        XFlush(display_.get());
    }

    void setButton(Button button, bool down) override {
        const auto index = static_cast<unsigned>(button);
        if (down_[index] == down) return;
        down_[index] = down;
        XTestFakeButtonEvent(display_.get(), index, down ? True : False, CurrentTime);
        XFlush(display_.get());
    }

    void typeText(std::string_view utf8) override {
        for (const char32_t cp : codePoints(utf8)) typeKeysym(keysymFor(cp));
        XSync(display_.get(), False);
    }

private:
    void typeKeysym(KeySym keysym) {
        Display* d = display_.get();
        KeyCode code = XKeysymToKeycode(d, keysym);
        bool shift = false;
        if (code != 0) {
            // The keysym may sit on the shifted level of its key.
            shift = keysymAt(d, code, 0) != keysym && keysymAt(d, code, 1) == keysym;
        } else {
            code = scratchKeyFor(keysym);
            if (code == 0) return;
        }
        const KeyCode shiftCode = XKeysymToKeycode(d, XK_Shift_L);
        if (shift && shiftCode) XTestFakeKeyEvent(d, shiftCode, True, CurrentTime);
        XTestFakeKeyEvent(d, code, True, CurrentTime);
        XTestFakeKeyEvent(d, code, False, CurrentTime);
        if (shift && shiftCode) XTestFakeKeyEvent(d, shiftCode, False, CurrentTime);
        // The server reads the mapping when the key event is processed, so a remapped scratch key
        // must not change again before then.
        XSync(d, False);
    }

    static KeySym keysymAt(Display* d, KeyCode code, int index) {
        int perCode = 0;
        x11::XPtr<KeySym> syms(XGetKeyboardMapping(d, code, 1, &perCode));
        if (!syms || index >= perCode) return NoSymbol;
        return syms.get()[index];
    }

    // Maps `keysym` onto the highest keycode with no symbols, for characters the layout lacks.
    KeyCode scratchKeyFor(KeySym keysym) {
        Display* d = display_.get();
        if (scratch_ == 0) {
            int perCode = 0;
            const int count = maxKeycode_ - minKeycode_ + 1;
            x11::XPtr<KeySym> map(XGetKeyboardMapping(d, static_cast<KeyCode>(minKeycode_), count, &perCode));
            if (!map) return 0;
            for (int code = maxKeycode_; code >= minKeycode_ && scratch_ == 0; --code) {
                bool empty = true;
                for (int k = 0; k < perCode; ++k)
                    empty = empty && map.get()[(code - minKeycode_) * perCode + k] == NoSymbol;
                if (empty) scratch_ = static_cast<KeyCode>(code);
            }
            if (scratch_ == 0) return 0;
        }
        KeySym both[2] = {keysym, keysym};
        XChangeKeyboardMapping(d, scratch_, 2, both, 1);
        XSync(d, False);
        return scratch_;
    }

    void restoreScratchKey() {
        if (scratch_ == 0) return;
        KeySym none[1] = {NoSymbol};
        XChangeKeyboardMapping(display_.get(), scratch_, 1, none, 1);
    }

    x11::Connection display_;
    int minKeycode_ = 8;
    int maxKeycode_ = 255;
    KeyCode scratch_ = 0;
    bool down_[4] = {false, false, false, false};
};

}  // namespace

std::unique_ptr<InputSynthesizer> makeX11InputSynthesizer() {
    try {
        return std::make_unique<X11InputSynthesizer>();
    } catch (const InputSynthesisError&) {
        throw;
    } catch (const std::exception& e) {
        throw InputSynthesisError(e.what());
    }
}

}  // namespace orvane
