#include "render/scene/compositor.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <span>
#include <utility>

#include "base/log.h"
#include "base/log_areas.h"
#include "render/scene/scene_shape.h"

namespace orvane {
namespace {

// The window's drop shadow and edge; these do not scale with the zoom.
constexpr double kWindowShadowAlpha = 0.22;
constexpr double kWindowShadowLift = 16;
constexpr double kWindowShadowBlur = 30;
constexpr double kWindowEdgeAlpha = 0.035;
constexpr double kTitleBarGrey = 0.93;

bool isDrawableTarget(cairo_surface_t* target) {
    return target && cairo_surface_get_type(target) == CAIRO_SURFACE_TYPE_IMAGE &&
           cairo_image_surface_get_format(target) == CAIRO_FORMAT_ARGB32 && cairo_image_surface_get_width(target) > 0 &&
           cairo_image_surface_get_height(target) > 0;
}

// The prerendered background over the whole canvas but the covered pixels. SOURCE replaces what
// the target held, so no clearing pass is needed first.
void paintBackground(cairo_t* cr, cairo_surface_t* image, double width, double height, std::span<const Rect> covered) {
    const int w = cairo_image_surface_get_width(image);
    const int h = cairo_image_surface_get_height(image);
    cairo_save(cr);
    clipOutside(cr, width, height, covered);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    if (w > 0 && h > 0) {
        cairo_scale(cr, width / w, height / h);
        cairo_set_source_surface(cr, image, 0, 0);
        cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
    } else {
        cairo_set_source_rgba(cr, 0, 0, 0, 0);
    }
    cairo_paint(cr);
    cairo_restore(cr);
}

// The still backdrop copied over the whole frame but `hole`, row by row: Cairo would do the same
// copy through a clip region, with more work around it. Both are ARGB32 images of the same size.
void copyBackdrop(cairo_surface_t* target, cairo_surface_t* backdrop, const PixelBox& hole) {
    cairo_surface_flush(target);
    const int width = cairo_image_surface_get_width(target);
    const int height = cairo_image_surface_get_height(target);
    const int stride = cairo_image_surface_get_stride(target);
    const int fromStride = cairo_image_surface_get_stride(backdrop);
    unsigned char* to = cairo_image_surface_get_data(target);
    const unsigned char* from = cairo_image_surface_get_data(backdrop);
    const auto copy = [&](int y, int x0, int x1) {
        if (x1 > x0)
            std::memcpy(to + static_cast<std::ptrdiff_t>(y) * stride + 4 * x0,
                        from + static_cast<std::ptrdiff_t>(y) * fromStride + 4 * x0,
                        4 * static_cast<std::size_t>(x1 - x0));
    };
    for (int y = 0; y < height; ++y) {
        if (y < hole.y || y >= hole.y + hole.height) {
            copy(y, 0, width);
        } else {
            copy(y, 0, hole.x);
            copy(y, hole.x + hole.width, width);
        }
    }
    cairo_surface_mark_dirty(target);
}

// The parts of the window that the title bar and an opaque recording paint over completely: the
// window inset so the rounded corners stay out, cut at the seam between bar and recording, where
// neither covers a pixel fully.
std::vector<Rect> coveredByWindow(const SceneLayerContext& frame, const RoundedShape& shape) {
    if (shape.kind != RoundedShape::Kind::roundedRectangle) return {};
    const double inset = shape.radius * (1 - 1 / std::sqrt(2.0)) + 1;
    const Rect inner{frame.window.x + inset, frame.window.y + inset, frame.window.width - 2 * inset,
                     frame.window.height - 2 * inset};
    const auto intersect = [](const Rect& a, const Rect& b) {
        const double x0 = std::max(a.minX(), b.minX());
        const double y0 = std::max(a.minY(), b.minY());
        const double x1 = std::min(a.maxX(), b.maxX());
        const double y1 = std::min(a.maxY(), b.maxY());
        return Rect{x0, y0, std::max(0.0, x1 - x0), std::max(0.0, y1 - y0)};
    };
    std::vector<Rect> covered{intersect(frame.content, inner)};
    if (frame.titleBar) covered.push_back(intersect(*frame.titleBar, inner));
    return covered;
}

}  // namespace

cairo::Surface surfaceForImage(const RgbaImage& image) {
    // Cairo wants mutable memory for any surface; we only ever use this one as a source.
    auto* data = const_cast<unsigned char*>(image.pixels.data());
    return cairo::Surface(
        cairo_image_surface_create_for_data(data, CAIRO_FORMAT_ARGB32, image.width, image.height, image.stride));
}

namespace {

// The recording shrunk onto whole target pixels, ready to be painted 1:1.
struct ShrunkRecording {
    bool handled = false;              // false: Cairo's own filter draws it
    cairo_surface_t* image = nullptr;  // null when handled but none of it is visible
    PixelBox box;
    bool opaque = false;
};

Rect sourceRegion(cairo_surface_t* source, const std::optional<Rect>& crop) {
    const double w = cairo_image_surface_get_width(source);
    const double h = cairo_image_surface_get_height(source);
    if (isSet(crop)) return {crop->x * w, crop->y * h, crop->width * w, crop->height * h};
    return {0, 0, w, h};
}

// Where the recording would be shrunk onto the target's pixel grid: the source region, where it
// lands in device pixels, and the whole pixels of that inside the current clip.
struct ShrinkPlan {
    bool handled = false;  // false: Cairo's own filter draws it
    Rect region;
    Rect device;
    PixelBox box;  // empty when none of it is visible
};

// Not handled when the transform is one only Cairo's own filter can draw (rotated, skewed or
// mirrored).
ShrinkPlan planShrink(cairo_t* cr, cairo_surface_t* source, const std::optional<Rect>& crop, const Rect& destination) {
    ShrinkPlan plan;
    if (!source || cairo_surface_get_type(source) != CAIRO_SURFACE_TYPE_IMAGE) return plan;
    plan.region = sourceRegion(source, crop);
    const Rect& region = plan.region;
    cairo_matrix_t m;
    cairo_get_matrix(cr, &m);
    if (m.xy != 0 || m.yx != 0 || m.xx <= 0 || m.yy <= 0 || region.width <= 0 || region.height <= 0 ||
        destination.width <= 0 || destination.height <= 0)
        return plan;
    plan.device = {m.x0 + m.xx * destination.x, m.y0 + m.yy * destination.y, m.xx * destination.width,
                   m.yy * destination.height};
    const Rect& device = plan.device;
    // Enlarged too (a zoom): resampling only the shown part straight onto the frame's pixels keeps
    // Cairo's filter and its mask of the window's shape off every pixel of a moving window.
    plan.handled = true;

    double x1, y1, x2, y2;
    cairo_clip_extents(cr, &x1, &y1, &x2, &y2);
    const double left = std::max(device.minX(), m.x0 + m.xx * x1);
    const double top = std::max(device.minY(), m.y0 + m.yy * y1);
    const double right = std::min(device.maxX(), m.x0 + m.xx * x2);
    const double bottom = std::min(device.maxY(), m.y0 + m.yy * y2);
    if (right <= left || bottom <= top) return plan;
    plan.box.x = static_cast<int>(std::floor(left));
    plan.box.y = static_cast<int>(std::floor(top));
    plan.box.width = static_cast<int>(std::ceil(right)) - plan.box.x;
    plan.box.height = static_cast<int>(std::ceil(bottom)) - plan.box.y;
    return plan;
}

// Shrinks the part of the recording inside the current clip onto the target's pixel grid.
ShrunkRecording shrinkRecording(cairo_t* cr, cairo_surface_t* source, const std::optional<Rect>& crop,
                                const Rect& destination, AreaDownscaler& downscaler) {
    ShrunkRecording result;
    const ShrinkPlan plan = planShrink(cr, source, crop, destination);
    if (!plan.handled) return result;
    result.handled = true;
    if (plan.box.empty()) return result;
    result.box = plan.box;
    result.image = downscaler.resample(source, plan.region, plan.device, result.box);
    result.handled = result.image != nullptr;
    result.opaque = result.handled && downscaler.opaque();
    return result;
}

// Paints the recording into `destination`, clipped to it: the shrunk copy when there is one, else
// the source through Cairo's own filter.
void paintRecording(cairo_t* cr, cairo_surface_t* source, const std::optional<Rect>& crop, const Rect& destination,
                    const ShrunkRecording& shrunk) {
    if (!source || cairo_surface_get_type(source) != CAIRO_SURFACE_TYPE_IMAGE) return;
    cairo_save(cr);
    cairo_rectangle(cr, destination.x, destination.y, destination.width, destination.height);
    cairo_clip(cr);
    if (shrunk.handled) {
        if (shrunk.image) {
            cairo_identity_matrix(cr);
            cairo_set_source_surface(cr, shrunk.image, shrunk.box.x, shrunk.box.y);
            cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
            cairo_paint(cr);
        }
        cairo_restore(cr);
        return;
    }
    const Rect region = sourceRegion(source, crop);
    cairo_translate(cr, destination.x, destination.y);
    cairo_scale(cr, destination.width / std::max(region.width, 1.0), destination.height / std::max(region.height, 1.0));
    // A view of just the shown region, so neither filtering nor padding reaches pixels outside it.
    cairo::Surface shown(cairo_surface_create_for_rectangle(source, region.x, region.y, region.width, region.height));
    cairo_set_source_surface(cr, shown.get(), 0, 0);
    // Padding keeps the frame's border pixels at the edges instead of fading them to transparent.
    cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
    cairo_paint(cr);
    cairo_restore(cr);
}

}  // namespace

void drawRecording(cairo_t* cr, cairo_surface_t* source, const std::optional<Rect>& crop, const Rect& destination,
                   AreaDownscaler* downscaler) {
    cairo_save(cr);
    cairo_rectangle(cr, destination.x, destination.y, destination.width, destination.height);
    cairo_clip(cr);
    AreaDownscaler once;
    const ShrunkRecording shrunk = shrinkRecording(cr, source, crop, destination, downscaler ? *downscaler : once);
    paintRecording(cr, source, crop, destination, shrunk);
    cairo_restore(cr);
}

SceneCompositor::SceneCompositor(std::shared_ptr<const SceneRenderSnapshot> snapshot, SceneLayerPainters painters)
    : snapshot_(std::move(snapshot)), painters_(std::move(painters)) {}

ComposeStatus SceneCompositor::compose(cairo_surface_t* target, const SceneFrameInput& input) {
    if (!isDrawableTarget(target)) return ComposeStatus::invalidTarget;
    const SceneRenderSnapshot& snap = *snapshot_;
    const bool styled = snap.edit.frame.background != BackgroundStyle::none;
    if (styled && !input.background) return ComposeStatus::missingBackground;

    const double width = cairo_image_surface_get_width(target);
    const double height = cairo_image_surface_get_height(target);
    const Rect canvas{0, 0, width, height};
    const CameraState zoom = input.zoom.value_or(sceneZoomState(snap, input.compositionTime));
    const FrameLayout layout = frameLayout(snap, canvas, zoom);

    SceneLayerContext frame;
    frame.snapshot = &snap;
    frame.compositionTime = input.compositionTime;
    frame.sourceTime = input.sourceTime;
    frame.canvas = {width, height};
    frame.zoom = zoom;
    frame.zoomScale = layout.scale;
    frame.cornerRadius = layout.cornerRadius;
    frame.window = topLeftRect(layout.window, height);
    frame.content = topLeftRect(layout.content, height);
    if (layout.titleBar) frame.titleBar = topLeftRect(*layout.titleBar, height);

    cairo::Context context(cairo_create(target));
    cairo_t* cr = context.get();
    frame.context = cr;

    if (styled) {
        // Shrunk first: whether it is opaque decides what the window hides of the layers below.
        const RoundedShape shape = roundedShape(frame.window, frame.cornerRadius);
        const std::vector<Rect> windowCover = coveredByWindow(frame, shape);
        // Straight into the frame when it can be; a recording that turned out see-through is drawn
        // the other way until it is opaque again.
        bool inPlace = false;
        if (!recordingSeeThrough_ && !windowCover.empty()) {
            const ShrinkPlan plan = planShrink(cr, input.source, snap.edit.frame.cropRect, frame.content);
            inPlace = plan.handled &&
                      recordingWriter_.write(target, input.source, plan.region, plan.device, plan.box,
                                             wholePixelsOf(windowCover[0], width, height), shape, downscaler_);
        }
        ShrunkRecording shrunk;
        if (!inPlace) {
            shrunk = shrinkRecording(cr, input.source, snap.edit.frame.cropRect, frame.content, downscaler_);
            recordingSeeThrough_ = shrunk.image && !shrunk.opaque;
        }
        const std::vector<Rect> covered = inPlace || shrunk.opaque ? windowCover : std::vector<Rect>{};
        const BackdropKey key{input.background, frame.window, frame.cornerRadius, frame.titleBar, width, height};
        const bool still = backdropKey_ && *backdropKey_ == key;
        if (!still) {
            backdrop_.reset();
            // Held so that its address cannot be reused by another picture while it is the key.
            backdropBackground_.reset(cairo_surface_reference(input.background));
            backdropKey_ = key;
        } else if (!backdrop_) {
            backdrop_ = renderBackdrop(input.background, frame, shape);
        }
        if (backdrop_) {
            // The title bar comes with the backdrop; only the recording's pixels are left out.
            copyBackdrop(target, backdrop_.get(),
                         covered.empty() ? PixelBox{} : wholePixelsOf(covered[0], width, height));
        } else {
            paintBackground(cr, input.background, width, height, covered);
            drawWindowBase(cr, frame, shape, covered);
        }
        if (inPlace) {
            cairo_surface_flush(target);
            recordingWriter_.finish(target);
        } else {
            cairo_save(cr);
            appendShapePath(cr, shape);
            cairo_clip(cr);
            paintRecording(cr, input.source, snap.edit.frame.cropRect, frame.content, shrunk);
            cairo_restore(cr);
        }
    } else {
        // No plate, shadow or chrome: the recording is the picture, zoomed; the canvas cuts it off.
        // Around it the frame is transparent.
        const PixelBox inner = wholePixelsOf(frame.content, width, height);
        bool inPlace = false;
        if (!recordingSeeThrough_ && !inner.empty()) {
            const ShrinkPlan plan = planShrink(cr, input.source, snap.edit.frame.cropRect, frame.content);
            inPlace = plan.handled && recordingWriter_.write(target, input.source, plan.region, plan.device, plan.box,
                                                             inner, roundedShape(frame.content, 0), downscaler_);
        }
        cairo_save(cr);
        if (inPlace) {
            const Rect hole{static_cast<double>(inner.x), static_cast<double>(inner.y),
                            static_cast<double>(inner.width), static_cast<double>(inner.height)};
            clipOutside(cr, width, height, std::span(&hole, 1));
        }
        cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
        cairo_paint(cr);
        cairo_restore(cr);
        if (inPlace) {
            cairo_surface_flush(target);
            recordingWriter_.finish(target);
        } else {
            cairo_save(cr);
            cairo_rectangle(cr, frame.content.x, frame.content.y, frame.content.width, frame.content.height);
            cairo_clip(cr);
            const ShrunkRecording shrunk =
                shrinkRecording(cr, input.source, snap.edit.frame.cropRect, frame.content, downscaler_);
            recordingSeeThrough_ = shrunk.image && !shrunk.opaque;
            paintRecording(cr, input.source, snap.edit.frame.cropRect, frame.content, shrunk);
            cairo_restore(cr);
        }
    }

    const double presence = sceneZoomPresence(snap, input.compositionTime);
    std::vector<Rect> overlayRects;
    overlayRects.reserve(input.overlays.size());
    for (const OverlayFrame& overlay : input.overlays) {
        const double k = overlayScale(snap, overlay.clip, presence);
        overlayRects.push_back(topLeftRect(overlayRect(overlay.clip, canvas, k), height));
        drawOverlay(cr, overlay, overlayRects.back());
    }

    drawVectorPass(cr, input, frame, overlayRects);

    const cairo_status_t status = cairo_status(cr);
    context.reset();
    cairo_surface_flush(target);
    if (status != CAIRO_STATUS_SUCCESS) {
        log::error(log_area::kRender, "frame drawing failed: %s", cairo_status_to_string(status));
        return ComposeStatus::drawingFailed;
    }
    return ComposeStatus::ok;
}

void SceneCompositor::drawWindowBase(cairo_t* cr, const SceneLayerContext& frame, const RoundedShape& shape,
                                     std::span<const Rect> covered) {
    ShadowSpec shadow;
    shadow.shape = shape;
    shadow.offsetY = -kWindowShadowLift;  // towards the top of the picture
    shadow.blurRadius = kWindowShadowBlur;
    shadow.canvasWidth = static_cast<int>(frame.canvas.width);
    shadow.canvasHeight = static_cast<int>(frame.canvas.height);
    shadows_.paint(cr, shadow, {0, 0, 0, kWindowShadowAlpha}, covered);

    // The faint edge only shows where the window's content does not cover it.
    appendShapePath(cr, shape);
    appendCoveredPixels(cr, frame.canvas.width, frame.canvas.height, covered);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
    cairo_set_source_rgba(cr, 0, 0, 0, kWindowEdgeAlpha);
    cairo_fill(cr);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);

    if (frame.titleBar) {
        cairo_save(cr);
        appendShapePath(cr, shape);
        cairo_clip(cr);
        cairo_rectangle(cr, frame.titleBar->x, frame.titleBar->y, frame.titleBar->width, frame.titleBar->height);
        cairo_set_source_rgb(cr, kTitleBarGrey, kTitleBarGrey, kTitleBarGrey);
        cairo_fill(cr);
        cairo_restore(cr);
    }
}

cairo::Surface SceneCompositor::renderBackdrop(cairo_surface_t* background, const SceneLayerContext& frame,
                                               const RoundedShape& shape) {
    cairo::Surface backdrop(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(frame.canvas.width),
                                                       static_cast<int>(frame.canvas.height)));
    if (cairo_surface_status(backdrop.get()) != CAIRO_STATUS_SUCCESS) return {};
    cairo::Context cr(cairo_create(backdrop.get()));
    paintBackground(cr.get(), background, frame.canvas.width, frame.canvas.height, {});
    drawWindowBase(cr.get(), frame, shape, {});
    if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS) return {};
    cr.reset();
    cairo_surface_flush(backdrop.get());
    return backdrop;
}

void SceneCompositor::drawVectorPass(cairo_t* cr, const SceneFrameInput& input, const SceneLayerContext& frame,
                                     const std::vector<Rect>& overlayRects) {
    const SceneRenderSnapshot& snap = *snapshot_;
    const auto call = [&](const SceneLayerPainter& painter) {
        if (!painter) return;
        cairo_save(cr);
        painter(frame);
        cairo_restore(cr);
    };

    cairo_save(cr);
    if (snap.edit.frame.background == BackgroundStyle::none) {
        cairo_rectangle(cr, 0, 0, frame.canvas.width, frame.canvas.height);
    } else {
        appendShapePath(cr, roundedShape(frame.window, frame.cornerRadius));
    }
    cairo_clip(cr);
    if (frame.titleBar) call(painters_.windowChrome);
    if (snap.edit.cursor.drawsSyntheticCursor) call(painters_.syntheticCursor);
    call(painters_.cursor);
    call(painters_.clickAnnotations);
    call(painters_.gestureTrails);
    cairo_restore(cr);

    for (std::size_t i = 0; i < input.overlays.size(); ++i)
        drawOverlayBorder(cr, input.overlays[i].clip, overlayRects[i], shadows_, frame.canvas);

    call(painters_.captions);
}

std::optional<RgbaImage> SceneCompositor::renderFrame(int width, int height, const SceneFrameInput& input) {
    if (width <= 0 || height <= 0) return std::nullopt;
    cairo::Surface surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return std::nullopt;
    if (compose(surface.get(), input) != ComposeStatus::ok) return std::nullopt;
    RgbaImage image;
    image.width = width;
    image.height = height;
    image.stride = cairo_image_surface_get_stride(surface.get());
    const unsigned char* data = cairo_image_surface_get_data(surface.get());
    image.pixels.assign(data, data + static_cast<std::size_t>(image.stride) * static_cast<std::size_t>(height));
    return image;
}

}  // namespace orvane
