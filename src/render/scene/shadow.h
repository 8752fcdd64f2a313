#pragma once

#include <cairo.h>

#include <cstddef>
#include <memory>
#include <span>
#include <vector>

#include "render/paint/rgba_color.h"
#include "render/scene/scene_shape.h"

namespace orvane {

// A soft drop shadow of one rounded shape. Coordinates are Cairo's (top-left origin, y down) in
// canvas pixels; a shadow lifted towards the top of the picture has a negative offsetY.
struct ShadowSpec {
    RoundedShape shape;
    double offsetX = 0;
    double offsetY = 0;
    double blurRadius = 0;   // standard deviation of the Gaussian, pixels
    double strokeWidth = 0;  // 0 casts the filled shape; otherwise its outline stroked this wide (a glow)
    int canvasWidth = 0;
    int canvasHeight = 0;

    bool operator==(const ShadowSpec&) const = default;
};

// Blurred shadow masks of the last few shapes. The window's shadow is the costliest thing in a frame
// and stays the same whenever the camera holds still, so a frame whose window did not move reuses
// it. A wide blur is computed at a fraction of the resolution; once a shape is painted a second
// time its mask is also kept at full resolution, so a still window's shadow costs one plain
// composite instead of a filtered upscale every frame. One per render job; not shared between
// threads.
class ShadowCache {
public:
    explicit ShadowCache(std::size_t capacity = 8);
    ~ShadowCache();
    ShadowCache(const ShadowCache&) = delete;
    ShadowCache& operator=(const ShadowCache&) = delete;

    // Paints the shadow of `params` in `color` (its alpha is the shadow's strength) into `context`,
    // whose user space must be canvas pixels, computing the mask only when it is not cached.
    // `covered` are disjoint canvas rectangles the caller paints over with opaque pixels next: the
    // shadow skips their whole pixels, which under a window is most of it.
    void paint(cairo_t* context, const ShadowSpec& params, const RgbaColor& color, std::span<const Rect> covered = {});

    // How many masks have been computed (misses), for callers that watch the cache.
    std::size_t renders() const { return renders_; }

private:
    struct Entry;
    Entry& entryFor(const ShadowSpec& params);
    static void makeFullMask(Entry& entry);

    std::size_t capacity_;
    std::size_t renders_ = 0;
    std::vector<std::unique_ptr<Entry>> entries_;  // most recently used last
};

// Adds the whole canvas pixels of each of `covered` (user space, canvas pixels) to the path as
// rectangles: a partly covered pixel still shows what is under it.
void appendCoveredPixels(cairo_t* context, double canvasWidth, double canvasHeight, std::span<const Rect> covered);

// Clips `context` to the canvas minus the whole pixels of `covered` (disjoint rectangles). What is
// left of a frame around an opaque window is a thin ring.
void clipOutside(cairo_t* context, double canvasWidth, double canvasHeight, std::span<const Rect> covered);

}  // namespace orvane
