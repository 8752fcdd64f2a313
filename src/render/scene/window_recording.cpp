#include "render/scene/window_recording.h"

#include <algorithm>
#include <cstring>

#include "media/cairo_handles.h"

namespace orvane {
namespace {

bool contains(const PixelBox& outer, const PixelBox& inner) {
    return inner.x >= outer.x && inner.y >= outer.y && inner.x + inner.width <= outer.x + outer.width &&
           inner.y + inner.height <= outer.y + outer.height;
}

// a x b / 255, rounded as Cairo's pixel library does, so the ring matches a clipped paint.
unsigned multiply(unsigned a, unsigned b) {
    const unsigned t = a * b + 128;
    return (t + (t >> 8)) >> 8;
}

// Premultiplied `source` with `coverage` over `destination`.
std::uint32_t over(std::uint32_t source, std::uint32_t destination, unsigned coverage) {
    const unsigned keep = 255 - multiply(source >> 24, coverage);
    std::uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const unsigned value =
            multiply((source >> shift) & 255u, coverage) + multiply((destination >> shift) & 255u, keep);
        out |= static_cast<std::uint32_t>(std::min(value, 255u)) << shift;
    }
    return out;
}

std::uint8_t* pixelAddress(std::uint8_t* data, int stride, int x, int y) {
    return data + static_cast<std::ptrdiff_t>(y) * stride + static_cast<std::ptrdiff_t>(x) * 4;
}

}  // namespace

bool WindowRecordingWriter::write(cairo_surface_t* target, cairo_surface_t* source, const Rect& region,
                                  const Rect& destination, const PixelBox& box, const PixelBox& inner,
                                  const RoundedShape& clip, AreaDownscaler& downscaler) {
    pending_ = false;
    if (!target || cairo_surface_get_type(target) != CAIRO_SURFACE_TYPE_IMAGE ||
        cairo_image_surface_get_format(target) != CAIRO_FORMAT_ARGB32 || !source ||
        cairo_surface_get_type(source) != CAIRO_SURFACE_TYPE_IMAGE ||
        cairo_image_surface_get_format(source) != CAIRO_FORMAT_ARGB32)
        return false;
    const PixelBox frame{0, 0, cairo_image_surface_get_width(target), cairo_image_surface_get_height(target)};
    if (box.empty() || inner.empty() || !contains(frame, box) || !contains(box, inner)) return false;

    cairo_surface_flush(target);
    std::uint8_t* data = cairo_image_surface_get_data(target);
    const int stride = cairo_image_surface_get_stride(target);
    const bool written =
        downscaler.resampleInto(source, region, destination, box, pixelAddress(data, stride, box.x, box.y), stride);
    cairo_surface_mark_dirty_rectangle(target, box.x, box.y, box.width, box.height);
    if (!written || !downscaler.opaque()) return false;

    const Geometry geometry{destination, box, inner, clip};
    if (geometry_ != geometry) {
        geometry_ = geometry;
        const int innerRight = inner.x + inner.width;
        const int innerBottom = inner.y + inner.height;
        strips_[0].box = {box.x, box.y, box.width, inner.y - box.y};
        strips_[1].box = {box.x, innerBottom, box.width, box.y + box.height - innerBottom};
        strips_[2].box = {box.x, inner.y, inner.x - box.x, inner.height};
        strips_[3].box = {innerRight, inner.y, box.x + box.width - innerRight, inner.height};
        for (Strip& strip : strips_) measureCoverage(strip);
    }
    for (Strip& strip : strips_) {
        const PixelBox& b = strip.box;
        strip.kept.resize(strip.coverage.size());
        if (b.empty()) continue;  // a window flush with the frame's edge has no strip there
        for (int y = 0; y < b.height; ++y)
            std::memcpy(strip.kept.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(b.width),
                        pixelAddress(data, stride, b.x, b.y + y), static_cast<std::size_t>(b.width) * 4);
    }
    pending_ = true;
    return true;
}

void WindowRecordingWriter::measureCoverage(Strip& strip) const {
    const PixelBox& b = strip.box;
    strip.coverage.clear();
    if (b.empty()) return;
    cairo::Surface mask(cairo_image_surface_create(CAIRO_FORMAT_A8, b.width, b.height));
    cairo::Context cr(cairo_create(mask.get()));
    cairo_translate(cr.get(), -b.x, -b.y);
    const Rect& d = geometry_->destination;
    cairo_rectangle(cr.get(), d.x, d.y, d.width, d.height);
    cairo_clip(cr.get());
    appendShapePath(cr.get(), geometry_->clip);
    cairo_fill(cr.get());
    cr.reset();
    cairo_surface_flush(mask.get());
    // A surface that could not be made reads as uncovered: the layers under the window show there.
    strip.coverage.assign(static_cast<std::size_t>(b.width) * static_cast<std::size_t>(b.height), 0);
    if (cairo_surface_status(mask.get()) != CAIRO_STATUS_SUCCESS) return;
    const std::uint8_t* data = cairo_image_surface_get_data(mask.get());
    const int stride = cairo_image_surface_get_stride(mask.get());
    for (int y = 0; y < b.height; ++y)
        std::memcpy(strip.coverage.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(b.width),
                    data + static_cast<std::ptrdiff_t>(y) * stride, static_cast<std::size_t>(b.width));
}

void WindowRecordingWriter::finish(cairo_surface_t* target) {
    if (!pending_) return;
    pending_ = false;
    cairo_surface_flush(target);
    std::uint8_t* data = cairo_image_surface_get_data(target);
    const int stride = cairo_image_surface_get_stride(target);
    for (const Strip& strip : strips_) {
        const PixelBox& b = strip.box;
        for (int y = 0; y < b.height; ++y) {
            std::uint8_t* row = pixelAddress(data, stride, b.x, b.y + y);
            const std::size_t offset = static_cast<std::size_t>(y) * static_cast<std::size_t>(b.width);
            for (int x = 0; x < b.width; ++x) {
                const unsigned coverage = strip.coverage[offset + static_cast<std::size_t>(x)];
                if (coverage == 0) continue;
                const std::uint32_t kept = strip.kept[offset + static_cast<std::size_t>(x)];
                std::uint32_t pixel = kept;
                if (coverage < 255) {
                    std::memcpy(&pixel, row + 4 * x, 4);
                    pixel = over(kept, pixel, coverage);
                }
                std::memcpy(row + 4 * x, &pixel, 4);
            }
        }
        if (!b.empty()) cairo_surface_mark_dirty_rectangle(target, b.x, b.y, b.width, b.height);
    }
}

}  // namespace orvane
