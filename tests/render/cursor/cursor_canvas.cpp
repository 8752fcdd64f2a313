#include "render/cursor/cursor_canvas.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace orvane::testing {

CursorCanvas::CursorCanvas(int width, int height)
    : width_(width),
      height_(height),
      surface_(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height)),
      context_(cairo_create(surface_.get())) {}

CursorCanvas::Pixel CursorCanvas::pixel(int x, int y) const {
    cairo_surface_flush(surface_.get());
    std::uint32_t argb = 0;
    const int stride = cairo_image_surface_get_stride(surface_.get());
    std::memcpy(&argb, cairo_image_surface_get_data(surface_.get()) + y * stride + x * 4, 4);
    const int alpha = static_cast<int>(argb >> 24);
    auto straight = [&](int shift) { return alpha ? static_cast<int>(((argb >> shift) & 0xff) * 255 / alpha) : 0; };
    return Pixel{straight(16), straight(8), straight(0), alpha};
}

std::optional<CursorCanvas::Box> CursorCanvas::drawnBox(int threshold, int x0) const {
    std::optional<Box> box;
    for (int y = 0; y < height_; ++y) {
        for (int x = x0; x < width_; ++x) {
            if (pixel(x, y).alpha <= threshold) continue;
            const Box here = box.value_or(Box{x, y, x, y});
            box = Box{std::min(here.minX, x), std::min(here.minY, y), std::max(here.maxX, x), std::max(here.maxY, y)};
        }
    }
    return box;
}

int CursorCanvas::darkPixels() const {
    int count = 0;
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x) {
            const Pixel p = pixel(x, y);
            count += p.alpha > 230 && std::max({p.red, p.green, p.blue}) < 40;
        }
    }
    return count;
}

RgbaImage CursorCanvas::image() const {
    cairo_surface_flush(surface_.get());
    RgbaImage image{width_, height_, cairo_image_surface_get_stride(surface_.get()), {}};
    const unsigned char* data = cairo_image_surface_get_data(surface_.get());
    image.pixels.assign(data, data + static_cast<std::size_t>(image.stride) * static_cast<std::size_t>(height_));
    return image;
}

}  // namespace orvane::testing
