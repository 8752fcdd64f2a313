#pragma once

#include <cairo.h>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "base/geometry.h"
#include "render/paint/pixel_box.h"
#include "render/scene/scene_downscale.h"
#include "render/scene/scene_shape.h"

namespace orvane {

// The recording shrunk straight into the frame's pixels inside the window, rather than into a
// buffer that is then painted through the window's rounded clip (which costs Cairo a mask the size
// of the window every frame). Coordinates are the frame's pixels, top-left origin, y down.
//
// The pixels the window covers completely (`inner`) simply take the recording. The rest of the
// recording's box is a thin ring of rounded corners and fractional edges: its pixels are kept
// aside, the layers under the window are drawn there as usual, and then the kept pixels are laid
// over them by how much of each the clip covers, as painting through the clip would.
//
// One per compositor; it keeps the ring's coverage while the window holds still. Not thread-safe.
class WindowRecordingWriter {
public:
    // Shrinks `region` of `source` (source pixels) as stretched over `destination` into `target`'s
    // pixels of `box`, and keeps aside those outside `inner` (a part of `box`). `clip` is the
    // window's shape; the recording shows where both it and `destination` cover a pixel. `target`
    // must be an ARGB32 image surface and `source` an ARGB32 image.
    //
    // False when it cannot be done this way: the downscaler cannot read the source, or the result is
    // not opaque (what shows through it must be drawn first). `target`'s pixels in `box` may then
    // have been written, and the caller draws the frame the other way.
    bool write(cairo_surface_t* target, cairo_surface_t* source, const Rect& region, const Rect& destination,
               const PixelBox& box, const PixelBox& inner, const RoundedShape& clip, AreaDownscaler& downscaler);

    // After the layers under the window have been drawn outside `inner`: the kept pixels over them.
    // Does nothing unless the last write succeeded.
    void finish(cairo_surface_t* target);

private:
    // One side of the ring: its pixels, how much of each the clip covers (0-255), and the recording
    // kept there.
    struct Strip {
        PixelBox box;
        std::vector<std::uint8_t> coverage;
        std::vector<std::uint32_t> kept;
    };
    struct Geometry {
        Rect destination;
        PixelBox box;
        PixelBox inner;
        RoundedShape clip;
        bool operator==(const Geometry&) const = default;
    };

    void measureCoverage(Strip& strip) const;

    std::optional<Geometry> geometry_;
    std::array<Strip, 4> strips_;  // above, below, left and right of `inner`
    bool pending_ = false;         // a write waits for its finish
};

}  // namespace orvane
