#pragma once

#include <optional>

#include <cairo.h>

#include "media/cairo_handles.h"
#include "media/video_frame.h"

namespace orvane::testing {

// A transparent ARGB32 canvas with a context, for measuring what the layers draw.
class CursorCanvas {
public:
    CursorCanvas(int width, int height);
    cairo_t* context() const { return context_.get(); }

    struct Pixel {
        int red = 0;  // straight (unpremultiplied) 0...255
        int green = 0;
        int blue = 0;
        int alpha = 0;
    };
    Pixel pixel(int x, int y) const;

    struct Box {
        int minX = 0;
        int minY = 0;
        int maxX = 0;  // inclusive
        int maxY = 0;
    };
    // Smallest box holding every pixel from x0 rightwards with alpha above `threshold`.
    std::optional<Box> drawnBox(int threshold = 0, int x0 = 0) const;
    // Opaque pixels that are nearly black: the arrow's body.
    int darkPixels() const;

    RgbaImage image() const;

private:
    int width_;
    int height_;
    cairo::Surface surface_;
    cairo::Context context_;
};

}  // namespace orvane::testing
