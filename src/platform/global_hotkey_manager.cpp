#include "platform/global_hotkey_manager.h"

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

std::vector<HotkeyChord> hotkeyVariants(const HotkeyChord& chord) {
    std::vector<HotkeyChord> variants{chord};
    if ((chord.modifiers & kHotkeyAlt) == 0) variants.push_back({chord.keysym, chord.modifiers | kHotkeyAlt});
    return variants;
}

}  // namespace orvane
