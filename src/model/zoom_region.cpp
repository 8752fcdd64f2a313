#include "model/zoom_region.h"

#include "base/hash.h"

std::size_t std::hash<orvane::ZoomRegion>::operator()(const orvane::ZoomRegion& zoom) const noexcept {
    return orvane::HashBuilder()
        .add(zoom.id)
        .add(zoom.start)
        .add(zoom.end)
        .add(zoom.scale)
        .add(zoom.focusX)
        .add(zoom.focusY)
        .add(zoom.followCursor)
        .add(zoom.easeSpeed)
        .result();
}
