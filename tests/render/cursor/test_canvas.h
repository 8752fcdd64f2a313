#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>

#include <cairo.h>

#include "media/cairo_handles.h"
#include "media/video_frame.h"

namespace orvane::testing {

// A transparent ARGB32 canvas with a context, for measuring what the layers draw.
class CursorCanvas {
public:
    CursorCanvas(int width, int height)
        : width_(width),
          height_(height),
          surface_(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height)),
          context_(cairo_create(surface_.get())) {}
    cairo_t* context() const { return context_.get(); }

    struct Pixel {
        int red = 0;  // straight (unpremultiplied) 0...255
        int green = 0;
        int blue = 0;
        int alpha = 0;
    };
    Pixel pixel(int x, int y) const {
        cairo_surface_flush(surface_.get());
        std::uint32_t argb = 0;
        const int stride = cairo_image_surface_get_stride(surface_.get());
        std::memcpy(&argb, cairo_image_surface_get_data(surface_.get()) + y * stride + x * 4, 4);
        const int alpha = static_cast<int>(argb >> 24);
        auto straight = [&](int shift) { return alpha ? static_cast<int>(((argb >> shift) & 0xff) * 255 / alpha) : 0; };
        return Pixel{straight(16), straight(8), straight(0), alpha};
    }

    struct Box {
        int minX = 0;
        int minY = 0;
        int maxX = 0;  // inclusive
        int maxY = 0;
    };
    // Smallest box holding every pixel from x0 rightwards with alpha above `threshold`.
    std::optional<Box> drawnBox(int threshold = 0, int x0 = 0) const {
        std::optional<Box> box;
        for (int y = 0; y < height_; ++y) {
            for (int x = x0; x < width_; ++x) {
                if (pixel(x, y).alpha <= threshold) continue;
                const Box here = box.value_or(Box{x, y, x, y});
                box =
                    Box{std::min(here.minX, x), std::min(here.minY, y), std::max(here.maxX, x), std::max(here.maxY, y)};
            }
        }
        return box;
    }

    // Opaque pixels that are nearly black: the arrow's body.
    int darkPixels() const {
        int count = 0;
        for (int y = 0; y < height_; ++y) {
            for (int x = 0; x < width_; ++x) {
                const Pixel p = pixel(x, y);
                count += p.alpha > 230 && std::max({p.red, p.green, p.blue}) < 40;
            }
        }
        return count;
    }

    RgbaImage image() const {
        cairo_surface_flush(surface_.get());
        RgbaImage image{width_, height_, cairo_image_surface_get_stride(surface_.get()), {}};
        const unsigned char* data = cairo_image_surface_get_data(surface_.get());
        image.pixels.assign(data, data + static_cast<std::size_t>(image.stride) * static_cast<std::size_t>(height_));
        return image;
    }

private:
    int width_;
    int height_;
    cairo::Surface surface_;
    cairo::Context context_;
};

}  // namespace orvane::testing
