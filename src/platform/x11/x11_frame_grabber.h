#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/screen_capture.h"

namespace orvane::x11 {

// A grabber of a fixed rectangle of the root window. Where a window of `leftOut` is mapped over the
// rectangle, that part is composed again from the other windows' XComposite pictures over the root's
// background. Throws ScreenCaptureError when the rectangle is empty or not inside the screen.
std::unique_ptr<FrameGrabber> makeRegionGrabber(const Rect& region, bool showCursor,
                                                const std::vector<std::uint64_t>& leftOut = {});

// A grabber of `crop` (relative to the window's client area) that follows the window as it moves.
// Throws ScreenCaptureError when the window does not exist.
std::unique_ptr<FrameGrabber> makeWindowGrabber(std::uint64_t windowID, const Rect& crop, bool showCursor);

// A grabber of `displayFrame` composing `windowIDs` from their XComposite pictures over transparency.
// Throws ScreenCaptureError when the server has no XComposite or the rectangle is not on the screen.
std::unique_ptr<FrameGrabber> makeWindowCompositeGrabber(const Rect& displayFrame,
                                                         const std::vector<std::uint64_t>& windowIDs, bool showCursor);

}  // namespace orvane::x11
