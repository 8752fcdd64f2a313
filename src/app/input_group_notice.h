#pragma once

#include <string>

namespace orvane {
class Preferences;
class ToastCenter;
}  // namespace orvane

namespace orvane::app {

// The notice's words, also for the documentation's readers.
inline constexpr const char* kInputGroupNoticeTitle = "Clicks aren't being recorded";
inline constexpr const char* kInputGroupNoticeDetail =
    "On Wayland, Orvane reads mouse buttons from your input devices, and your account may not read them. "
    "To record clicks, add yourself to the input group (sudo usermod -aG input $USER), then sign out and back in.";

// Once per user (the preference "orvaneInputGroupNoticeShown"): explains, as a toast that stays until
// dismissed, why a Wayland recording has no clicks and how the user can allow them. Main loop only.
void showInputGroupNoticeOnce(Preferences& preferences, ToastCenter& toasts);

}  // namespace orvane::app
