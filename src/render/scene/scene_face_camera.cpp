#include "render/scene/scene_face_camera.h"

#include <algorithm>

#include "render/paint/blur.h"

namespace orvane {
namespace {

constexpr double kFramingFactor = 2.6;
constexpr double kSmallestCrop = 0.05;
constexpr double kCropSmoothing = 0.18;
constexpr double kMaskSoftness = 2;

}  // namespace

std::optional<Rect> faceFramingCrop(const Rect& face) {
    const double c = std::min(std::max(face.width, face.height) * kFramingFactor, 1.0);
    if (!(c > kSmallestCrop)) return std::nullopt;
    const double midX = face.x + face.width / 2;
    const double midY = face.y + face.height / 2;
    // The face sits a little above the middle, leaving room for the shoulders.
    const double x = std::clamp(midX - c / 2, 0.0, 1 - c);
    const double y = std::clamp(midY - 0.1 * face.height - c / 2, 0.0, 1 - c);
    return Rect{x, y, c, c};
}

std::optional<Rect> FaceCamCropMemory::update(const Uuid& overlay, const std::optional<Rect>& target,
                                              const std::optional<Rect>& sourceCropRect) {
    const auto previous = crops_.find(overlay);
    if (!target) {
        if (previous != crops_.end()) return previous->second;
        return sourceCropRect;
    }
    if (previous == crops_.end()) return crops_[overlay] = *target;
    Rect& crop = previous->second;
    crop.x += (target->x - crop.x) * kCropSmoothing;
    crop.y += (target->y - crop.y) * kCropSmoothing;
    crop.width += (target->width - crop.width) * kCropSmoothing;
    crop.height += (target->height - crop.height) * kCropSmoothing;
    return crop;
}

cairo::Surface blurBackgroundBehindPerson(cairo_surface_t* frame, cairo_surface_t* personMask, double strength) {
    if (!frame || !personMask || cairo_surface_get_type(personMask) != CAIRO_SURFACE_TYPE_IMAGE) return nullptr;
    const int width = cairo_image_surface_get_width(frame);
    const int height = cairo_image_surface_get_height(frame);
    if (cairo_image_surface_get_width(personMask) != width || cairo_image_surface_get_height(personMask) != height)
        return nullptr;

    cairo::Surface blurred(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    cairo::Surface softMask(cairo_image_surface_create(CAIRO_FORMAT_A8, width, height));
    if (cairo_surface_status(blurred.get()) != CAIRO_STATUS_SUCCESS ||
        cairo_surface_status(softMask.get()) != CAIRO_STATUS_SUCCESS)
        return nullptr;
    {
        cairo::Context cr(cairo_create(blurred.get()));
        cairo_set_source_surface(cr.get(), frame, 0, 0);
        cairo_paint(cr.get());
    }
    gaussianBlur(blurred.get(), std::min(strength, 1.0) * 24 + 4);
    {
        cairo::Context cr(cairo_create(softMask.get()));
        cairo_set_source_surface(cr.get(), personMask, 0, 0);
        cairo_paint(cr.get());
    }
    gaussianBlur(softMask.get(), kMaskSoftness);
    // The blur fades the room's edges to transparent; a face camera should stay opaque there, so
    // the sharp frame sits underneath the blurred one.
    cairo::Surface result(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    cairo::Context cr(cairo_create(result.get()));
    cairo_set_source_surface(cr.get(), frame, 0, 0);
    cairo_paint(cr.get());
    cairo_set_source_surface(cr.get(), blurred.get(), 0, 0);
    cairo_paint(cr.get());
    cairo_set_source_surface(cr.get(), frame, 0, 0);
    cairo_mask_surface(cr.get(), softMask.get(), 0, 0);
    cr.reset();
    cairo_surface_flush(result.get());
    return result;
}

}  // namespace orvane
