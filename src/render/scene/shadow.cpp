#include "render/scene/shadow.h"

#include <algorithm>
#include <cmath>

#include "media/cairo_handles.h"
#include "render/paint/blur.h"
#include "render/paint/pixel_box.h"

namespace orvane {

struct ShadowCache::Entry {
    ShadowSpec params;
    cairo::Surface mask;  // A8, or null when the shadow falls wholly off the canvas
    double originX = 0;   // canvas position of the mask's top-left pixel
    double originY = 0;
    double downscale = 1;  // canvas pixels per mask pixel
    cairo::Surface full;   // A8 at canvas resolution, made on the second use
    int fullX = 0;         // canvas position of full's top-left pixel
    int fullY = 0;
    int uses = 0;
};

// The reduced mask upscaled once onto whole canvas pixels, so painting it is an unfiltered copy.
void ShadowCache::makeFullMask(Entry& entry) {
    const int width = cairo_image_surface_get_width(entry.mask.get());
    const int height = cairo_image_surface_get_height(entry.mask.get());
    entry.fullX = static_cast<int>(std::floor(entry.originX));
    entry.fullY = static_cast<int>(std::floor(entry.originY));
    const int fullWidth = static_cast<int>(std::ceil(entry.originX + width * entry.downscale)) - entry.fullX;
    const int fullHeight = static_cast<int>(std::ceil(entry.originY + height * entry.downscale)) - entry.fullY;
    cairo::Surface full(cairo_image_surface_create(CAIRO_FORMAT_A8, fullWidth, fullHeight));
    if (cairo_surface_status(full.get()) != CAIRO_STATUS_SUCCESS) return;
    cairo::Context cr(cairo_create(full.get()));
    cairo_translate(cr.get(), entry.originX - entry.fullX, entry.originY - entry.fullY);
    cairo_scale(cr.get(), entry.downscale, entry.downscale);
    cairo_set_source_surface(cr.get(), entry.mask.get(), 0, 0);
    cairo_paint(cr.get());
    cr.reset();
    cairo_surface_flush(full.get());
    entry.full = std::move(full);
}

void appendCoveredPixels(cairo_t* context, double canvasWidth, double canvasHeight, std::span<const Rect> covered) {
    for (const Rect& r : covered) {
        const PixelBox box = wholePixelsOf(r, canvasWidth, canvasHeight);
        if (!box.empty()) cairo_rectangle(context, box.x, box.y, box.width, box.height);
    }
}

void clipOutside(cairo_t* context, double canvasWidth, double canvasHeight, std::span<const Rect> covered) {
    cairo_rectangle(context, 0, 0, canvasWidth, canvasHeight);
    appendCoveredPixels(context, canvasWidth, canvasHeight, covered);
    cairo_set_fill_rule(context, CAIRO_FILL_RULE_EVEN_ODD);
    cairo_clip(context);
    cairo_set_fill_rule(context, CAIRO_FILL_RULE_WINDING);
}

ShadowCache::ShadowCache(std::size_t capacity) : capacity_(std::max<std::size_t>(capacity, 1)) {}
ShadowCache::~ShadowCache() = default;

ShadowCache::Entry& ShadowCache::entryFor(const ShadowSpec& params) {
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if ((*it)->params == params) {
            std::rotate(it, it + 1, entries_.end());
            return *entries_.back();
        }
    }
    ++renders_;
    auto entry = std::make_unique<Entry>();
    entry->params = params;
    const double sigma = std::max(params.blurRadius, 0.0);
    const double margin = std::ceil(3 * sigma + params.strokeWidth / 2);
    // A wide blur loses nothing at a quarter of the resolution and costs a sixteenth.
    const double downscale = std::max(1.0, std::floor(sigma / 4));
    const Rect& r = params.shape.rect;
    // Only the part that can reach the canvas matters: the shape plus its blur, cut to the canvas
    // plus the blur's reach.
    const double x0 = std::max(r.minX() + params.offsetX - margin, -margin);
    const double y0 = std::max(r.minY() + params.offsetY - margin, -margin);
    const double x1 = std::min(r.maxX() + params.offsetX + margin, params.canvasWidth + margin);
    const double y1 = std::min(r.maxY() + params.offsetY + margin, params.canvasHeight + margin);
    const int width = static_cast<int>(std::ceil((x1 - x0) / downscale));
    const int height = static_cast<int>(std::ceil((y1 - y0) / downscale));
    if (width > 0 && height > 0) {
        entry->mask.reset(cairo_image_surface_create(CAIRO_FORMAT_A8, width, height));
        entry->originX = x0;
        entry->originY = y0;
        entry->downscale = downscale;
        cairo::Context cr(cairo_create(entry->mask.get()));
        cairo_scale(cr.get(), 1 / downscale, 1 / downscale);
        cairo_translate(cr.get(), params.offsetX - x0, params.offsetY - y0);
        appendShapePath(cr.get(), params.shape);
        cairo_set_source_rgba(cr.get(), 0, 0, 0, 1);
        if (params.strokeWidth > 0) {
            cairo_set_line_width(cr.get(), params.strokeWidth);
            cairo_stroke(cr.get());
        } else {
            cairo_fill(cr.get());
        }
        cr.reset();
        gaussianBlur(entry->mask.get(), sigma / downscale);
    }
    if (entries_.size() >= capacity_) entries_.erase(entries_.begin());
    entries_.push_back(std::move(entry));
    return *entries_.back();
}

void ShadowCache::paint(cairo_t* context, const ShadowSpec& params, const RgbaColor& color,
                        std::span<const Rect> covered) {
    Entry& entry = entryFor(params);
    if (!entry.mask) return;
    // A shape seen once is likely moving (a zoom ramp): upscaling it in full would be wasted.
    if (++entry.uses >= 2 && !entry.full) makeFullMask(entry);
    cairo_save(context);
    clipOutside(context, params.canvasWidth, params.canvasHeight, covered);
    cairo_set_source_rgba(context, color.red, color.green, color.blue, color.alpha);
    if (entry.full) {
        cairo_mask_surface(context, entry.full.get(), entry.fullX, entry.fullY);
    } else {
        cairo_translate(context, entry.originX, entry.originY);
        cairo_scale(context, entry.downscale, entry.downscale);
        cairo_mask_surface(context, entry.mask.get(), 0, 0);
    }
    cairo_restore(context);
}

}  // namespace orvane
