#pragma once

#include <cairo.h>

#include <cstddef>
#include <memory>
#include <vector>

#include "render/rgba_color.h"
#include "render/scene_shape.h"

namespace orvane {

// A soft drop shadow of one rounded shape. Coordinates are Cairo's (top-left origin, y down) in
// canvas pixels; a shadow lifted towards the top of the picture has a negative offsetY.
struct ShadowSpec {
    RoundedShape shape;
    double offsetX = 0;
    double offsetY = 0;
    double blurRadius = 0;  // standard deviation of the Gaussian, pixels
    double strokeWidth = 0;  // 0 casts the filled shape; otherwise its outline stroked this wide (a glow)
    int canvasWidth = 0;
    int canvasHeight = 0;

    bool operator==(const ShadowSpec&) const = default;
};

// Blurred shadow masks of the last few shapes. The window's shadow is the costliest thing in a frame
// and stays the same whenever the camera holds still, so a frame whose window did not move reuses
// it. One per render job; not shared between threads.
class ShadowCache {
public:
    explicit ShadowCache(std::size_t capacity = 8);
    ~ShadowCache();
    ShadowCache(const ShadowCache&) = delete;
    ShadowCache& operator=(const ShadowCache&) = delete;

    // Paints the shadow of `params` in `color` (its alpha is the shadow's strength) into `context`,
    // whose user space must be canvas pixels, computing the mask only when it is not cached.
    void paint(cairo_t* context, const ShadowSpec& params, const RgbaColor& color);

    // How many masks have been computed (misses), for callers that watch the cache.
    std::size_t renders() const { return renders_; }

private:
    struct Entry;
    const Entry& entryFor(const ShadowSpec& params);

    std::size_t capacity_;
    std::size_t renders_ = 0;
    std::vector<std::unique_ptr<Entry>> entries_;  // most recently used last
};

}  // namespace orvane
