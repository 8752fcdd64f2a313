#include "render/cursor/cursor_shadow.h"

#include "render/paint/blur.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "media/cairo_handles.h"

namespace orvane {

namespace {

struct DeviceBox {
    int x0 = 0;
    int y0 = 0;
    int x1 = 0;
    int y1 = 0;
    int width() const { return x1 - x0; }
    int height() const { return y1 - y0; }
};

// Device-space box around a user-space rectangle, grown by `margin` and cut to the clip.
DeviceBox deviceBox(cairo_t* cr, const Rect& r, double margin) {
    double lo[2] = {1e300, 1e300};
    double hi[2] = {-1e300, -1e300};
    auto extend = [&](double x, double y) {
        lo[0] = std::min(lo[0], x);
        lo[1] = std::min(lo[1], y);
        hi[0] = std::max(hi[0], x);
        hi[1] = std::max(hi[1], y);
    };
    for (double x : {r.minX(), r.maxX()}) {
        for (double y : {r.minY(), r.maxY()}) {
            double dx = x;
            double dy = y;
            cairo_user_to_device(cr, &dx, &dy);
            extend(dx, dy);
        }
    }
    double cx0 = 0, cy0 = 0, cx1 = 0, cy1 = 0;
    cairo_clip_extents(cr, &cx0, &cy0, &cx1, &cy1);
    double clipLo[2] = {1e300, 1e300};
    double clipHi[2] = {-1e300, -1e300};
    for (double x : {cx0, cx1}) {
        for (double y : {cy0, cy1}) {
            double dx = x;
            double dy = y;
            cairo_user_to_device(cr, &dx, &dy);
            clipLo[0] = std::min(clipLo[0], dx);
            clipLo[1] = std::min(clipLo[1], dy);
            clipHi[0] = std::max(clipHi[0], dx);
            clipHi[1] = std::max(clipHi[1], dy);
        }
    }
    DeviceBox box;
    box.x0 = static_cast<int>(std::floor(std::max(lo[0] - margin, clipLo[0])));
    box.y0 = static_cast<int>(std::floor(std::max(lo[1] - margin, clipLo[1])));
    box.x1 = static_cast<int>(std::ceil(std::min(hi[0] + margin, clipHi[0])));
    box.y1 = static_cast<int>(std::ceil(std::min(hi[1] + margin, clipHi[1])));
    return box;
}

}  // namespace

void drawLayerWithShadow(cairo_t* cr, const Rect& userBounds, const std::optional<ContextShadow>& shadow, double alpha,
                         const std::function<void(cairo_t*)>& draw) {
    if (!(alpha > 0)) return;
    if (!shadow && alpha >= 1) {
        // Nothing to blur or fade as one: skip the layer.
        cairo_save(cr);
        draw(cr);
        cairo_restore(cr);
        return;
    }
    const double sigma = shadow ? std::max(shadow->blur, 0.0) / 2 : 0;
    const double margin =
        shadow ? std::ceil(3 * sigma + std::max(std::abs(shadow->offsetX), std::abs(shadow->offsetY))) + 2 : 2;
    const DeviceBox box = deviceBox(cr, userBounds, margin);
    if (box.width() <= 0 || box.height() <= 0) return;

    cairo::Surface layer(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, box.width(), box.height()));
    if (cairo_surface_status(layer.get()) != CAIRO_STATUS_SUCCESS) return;
    {
        cairo::Context layerContext(cairo_create(layer.get()));
        cairo_matrix_t userToDevice;
        cairo_get_matrix(cr, &userToDevice);
        cairo_translate(layerContext.get(), -box.x0, -box.y0);
        cairo_transform(layerContext.get(), &userToDevice);
        draw(layerContext.get());
    }
    cairo_surface_flush(layer.get());

    cairo_save(cr);
    cairo_identity_matrix(cr);
    if (shadow && shadow->color.alpha > 0) {
        cairo::Surface mask(cairo_image_surface_create(CAIRO_FORMAT_A8, box.width(), box.height()));
        if (cairo_surface_status(mask.get()) == CAIRO_STATUS_SUCCESS) {
            const int layerStride = cairo_image_surface_get_stride(layer.get());
            const int maskStride = cairo_image_surface_get_stride(mask.get());
            const unsigned char* src = cairo_image_surface_get_data(layer.get());
            unsigned char* dst = cairo_image_surface_get_data(mask.get());
            for (int y = 0; y < box.height(); ++y) {
                const auto* row = reinterpret_cast<const std::uint32_t*>(src + y * layerStride);
                for (int x = 0; x < box.width(); ++x) dst[y * maskStride + x] = static_cast<std::uint8_t>(row[x] >> 24);
            }
            cairo_surface_mark_dirty(mask.get());
            gaussianBlur(mask.get(), sigma);
            cairo_set_source_rgba(cr, shadow->color.red, shadow->color.green, shadow->color.blue,
                                  shadow->color.alpha * alpha);
            cairo_mask_surface(cr, mask.get(), box.x0 + shadow->offsetX, box.y0 + shadow->offsetY);
        }
    }
    cairo_set_source_surface(cr, layer.get(), box.x0, box.y0);
    cairo_paint_with_alpha(cr, alpha);
    cairo_restore(cr);
}

}  // namespace orvane
