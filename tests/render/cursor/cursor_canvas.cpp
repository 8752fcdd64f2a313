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
    const unsigned char* data = cairo_image_surface_get_data(surface_.get());
    const int stride = cairo_image_surface_get_stride(surface_.get());
    std::uint32_t argb = 0;
    std::memcpy(&argb, data + y * stride + x * 4, 4);
    Pixel p;
    p.alpha = static_cast<int>(argb >> 24);
    if (p.alpha == 0) return p;
    auto straight = [&](int shift) { return static_cast<int>(((argb >> shift) & 0xff) * 255 / p.alpha); };
    p.red = straight(16);
    p.green = straight(8);
    p.blue = straight(0);
    return p;
}

std::optional<CursorCanvas::Box> CursorCanvas::drawnBox(int threshold) const {
    return drawnBoxIn(0, 0, width_, height_, threshold);
}

std::optional<CursorCanvas::Box> CursorCanvas::drawnBoxIn(int x0, int y0, int x1, int y1, int threshold) const {
    std::optional<Box> box;
    for (int y = std::max(y0, 0); y < std::min(y1, height_); ++y) {
        for (int x = std::max(x0, 0); x < std::min(x1, width_); ++x) {
            if (pixel(x, y).alpha <= threshold) continue;
            if (!box) {
                box = Box{x, y, x, y};
                continue;
            }
            box->minX = std::min(box->minX, x);
            box->minY = std::min(box->minY, y);
            box->maxX = std::max(box->maxX, x);
            box->maxY = std::max(box->maxY, y);
        }
    }
    return box;
}

RgbaImage CursorCanvas::image() const {
    cairo_surface_flush(surface_.get());
    RgbaImage image;
    image.width = width_;
    image.height = height_;
    image.stride = cairo_image_surface_get_stride(surface_.get());
    const unsigned char* data = cairo_image_surface_get_data(surface_.get());
    image.pixels.assign(data, data + static_cast<std::size_t>(image.stride) * static_cast<std::size_t>(height_));
    return image;
}

}  // namespace orvane::testing
