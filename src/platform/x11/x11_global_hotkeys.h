#pragma once

#include <memory>

#include "platform/global_hotkey_manager.h"

namespace orvane {

// Passive key grabs on the root window of a connection of its own. Throws ScreenCaptureError when
// no X server answers (a Wayland session without Xwayland).
std::unique_ptr<GlobalHotkeyManager> makeX11GlobalHotkeyManager(const char* displayName = nullptr);

}  // namespace orvane
