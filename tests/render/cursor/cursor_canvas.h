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
    int width() const { return width_; }
    int height() const { return height_; }

    // Straight (unpremultiplied) components 0...255 of one pixel.
    struct Pixel {
        int red = 0;
        int green = 0;
        int blue = 0;
        int alpha = 0;
    };
    Pixel pixel(int x, int y) const;

    // Smallest box holding every pixel with alpha above `threshold`; nothing on an empty canvas.
    struct Box {
        int minX = 0;
        int minY = 0;
        int maxX = 0;  // inclusive
        int maxY = 0;
    };
    std::optional<Box> drawnBox(int threshold = 0) const;
    std::optional<Box> drawnBoxIn(int x0, int y0, int x1, int y1, int threshold = 0) const;

    RgbaImage image() const;

private:
    int width_;
    int height_;
    cairo::Surface surface_;
    cairo::Context context_;
};

}  // namespace orvane::testing
