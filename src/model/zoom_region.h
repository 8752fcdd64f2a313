#pragma once

#include <cstddef>
#include <functional>

#include "base/uuid.h"

namespace orvane {

// The strongest magnification a zoom may have: a tenth of the recording fills the frame. Files,
// remote edits and commands are held to 1...this, and the renderer never goes past it.
inline constexpr double kMaximumZoomScale = 10;

// A camera zoom over a composition-time range. The defaults are those of a zoom the editor adds by
// command: a gentle push-in that follows the cursor.
struct ZoomRegion {
    Uuid id = Uuid::random();
    double start = 0;
    double end = 0;
    double scale = 1.2;  // 1 means no magnification
    double focusX = 0.5;
    double focusY = 0.5;
    bool followCursor = true;
    double easeSpeed = 0.5;

    bool operator==(const ZoomRegion&) const = default;
};

}  // namespace orvane

template <>
struct std::hash<orvane::ZoomRegion> {
    std::size_t operator()(const orvane::ZoomRegion& zoom) const noexcept;
};
