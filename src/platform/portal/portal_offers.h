#pragma once

#include <cstdint>
#include <optional>

namespace orvane {

// The version of the desktop portal `interface` (e.g. "org.freedesktop.portal.GlobalShortcuts"), or
// nothing when there is no session bus, no portal answers or this desktop does not offer it.
std::optional<std::uint32_t> offeredPortalVersion(const char* interface);

}  // namespace orvane
