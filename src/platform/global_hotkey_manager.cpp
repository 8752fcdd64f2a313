#include "platform/global_hotkey_manager.h"

#include <algorithm>

namespace orvane {

namespace {
// X keysyms of the digit keys equal their ASCII codes.
constexpr std::uint32_t kKeysym1 = '1';
constexpr std::uint32_t kKeysym6 = '6';
}  // namespace

std::string_view rawValue(HotkeyAction action) {
    switch (action) {
        case HotkeyAction::newRecording: return "newRecording";
        case HotkeyAction::screenshot: return "screenshot";
    }
    return "newRecording";
}

HotkeyChord defaultHotkeyChord(HotkeyAction action) {
    switch (action) {
        case HotkeyAction::newRecording: return {kKeysym6, kHotkeyControl | kHotkeyShift};
        case HotkeyAction::screenshot: return {kKeysym1, kHotkeyControl | kHotkeyShift};
    }
    return {};
}

namespace {
// X keysyms: digits and lower-case letters equal their ASCII codes; F1 is 0xffbe, F2 follows.
constexpr std::uint32_t kKeysymF1 = 0xffbe;

std::string lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

std::optional<std::uint32_t> keysymNamed(const std::string& name) {
    if (name.size() == 1 && ((name[0] >= '0' && name[0] <= '9') || (name[0] >= 'a' && name[0] <= 'z'))) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(name[0]));
    }
    if (name.size() >= 2 && name.size() <= 3 && name[0] == 'f') {
        int number = 0;
        for (std::size_t i = 1; i < name.size(); ++i) {
            if (name[i] < '0' || name[i] > '9') return std::nullopt;
            number = number * 10 + (name[i] - '0');
        }
        if (number >= 1 && number <= 12) return kKeysymF1 + static_cast<std::uint32_t>(number - 1);
    }
    return std::nullopt;
}
}  // namespace

std::optional<HotkeyChord> parseHotkeyChord(std::string_view text) {
    HotkeyChord chord;
    std::optional<std::uint32_t> key;
    std::size_t start = 0;
    while (start <= text.size()) {
        const auto end = std::min(text.find('+', start), text.size());
        std::string part = lowered(text.substr(start, end - start));
        while (!part.empty() && part.front() == ' ') part.erase(part.begin());
        while (!part.empty() && part.back() == ' ') part.pop_back();
        if (part.empty()) return std::nullopt;
        if (key) return std::nullopt;  // the key comes last
        if (part == "ctrl" || part == "control") {
            chord.modifiers |= kHotkeyControl;
        } else if (part == "shift") {
            chord.modifiers |= kHotkeyShift;
        } else if (part == "alt") {
            chord.modifiers |= kHotkeyAlt;
        } else if (part == "super") {
            chord.modifiers |= kHotkeySuper;
        } else if (auto named = keysymNamed(part)) {
            key = named;
        } else {
            return std::nullopt;
        }
        start = end + 1;
    }
    if (!key || chord.modifiers == 0) return std::nullopt;
    chord.keysym = *key;
    return chord;
}

std::string hotkeyChordText(const HotkeyChord& chord) {
    std::string out;
    if (chord.modifiers & kHotkeyControl) out += "Ctrl+";
    if (chord.modifiers & kHotkeyShift) out += "Shift+";
    if (chord.modifiers & kHotkeyAlt) out += "Alt+";
    if (chord.modifiers & kHotkeySuper) out += "Super+";
    if (chord.keysym >= kKeysymF1 && chord.keysym < kKeysymF1 + 12) {
        out += "F" + std::to_string(chord.keysym - kKeysymF1 + 1);
    } else if (chord.keysym >= 'a' && chord.keysym <= 'z') {
        out += static_cast<char>(chord.keysym - 'a' + 'A');
    } else {
        out += static_cast<char>(chord.keysym);
    }
    return out;
}

std::vector<HotkeyChord> hotkeyVariants(const HotkeyChord& chord) {
    std::vector<HotkeyChord> variants{chord};
    if ((chord.modifiers & kHotkeyAlt) == 0) variants.push_back({chord.keysym, chord.modifiers | kHotkeyAlt});
    return variants;
}

}  // namespace orvane
