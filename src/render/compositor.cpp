#include "render/compositor.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "base/log.h"
#include "render/scene_shape.h"

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
           cairo_image_surface_get_format(target) == CAIRO_FORMAT_ARGB32 &&
           cairo_image_surface_get_width(target) > 0 && cairo_image_surface_get_height(target) > 0;
}

void paintStretched(cairo_t* cr, cairo_surface_t* image, double width, double height) {
    const int w = cairo_image_surface_get_width(image);
    const int h = cairo_image_surface_get_height(image);
    if (w <= 0 || h <= 0) return;
    cairo_save(cr);
    cairo_scale(cr, width / w, height / h);
    cairo_set_source_surface(cr, image, 0, 0);
    cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
    cairo_rectangle(cr, 0, 0, w, h);
    cairo_fill(cr);
    cairo_restore(cr);
}

}  // namespace

cairo::Surface surfaceForImage(const RgbaImage& image) {
    // Cairo wants mutable memory for any surface; we only ever use this one as a source.
    auto* data = const_cast<unsigned char*>(image.pixels.data());
    return cairo::Surface(
        cairo_image_surface_create_for_data(data, CAIRO_FORMAT_ARGB32, image.width, image.height, image.stride));
}

void drawRecording(cairo_t* cr, cairo_surface_t* source, const std::optional<Rect>& crop, const Rect& destination) {
    if (!source || cairo_surface_get_type(source) != CAIRO_SURFACE_TYPE_IMAGE) return;
    const double w = cairo_image_surface_get_width(source);
    const double h = cairo_image_surface_get_height(source);
    Rect region{0, 0, w, h};
    if (isSet(crop)) region = {crop->x * w, crop->y * h, crop->width * w, crop->height * h};
    cairo_save(cr);
    cairo_rectangle(cr, destination.x, destination.y, destination.width, destination.height);
    cairo_clip(cr);
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

SceneCompositor::SceneCompositor(std::shared_ptr<const SceneRenderSnapshot> snapshot, SceneLayerPainters painters)
    : snapshot_(std::move(snapshot)), painters_(std::move(painters)) {}

ComposeStatus SceneCompositor::compose(cairo_surface_t* target, const SceneFrameInput& input) {
    if (!isDrawableTarget(target)) return ComposeStatus::invalidTarget;
    const SceneRenderSnapshot& snap = *snapshot_;
    const bool styled = snap.background != BackgroundStyle::none;
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

    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_paint(cr);
    cairo_restore(cr);
    if (styled) paintStretched(cr, input.background, width, height);

    drawWindow(cr, input, frame);

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
        log::error("Orvane.Render", "frame drawing failed: %s", cairo_status_to_string(status));
        return ComposeStatus::drawingFailed;
    }
    return ComposeStatus::ok;
}

void SceneCompositor::drawWindow(cairo_t* cr, const SceneFrameInput& input, const SceneLayerContext& frame) {
    const SceneRenderSnapshot& snap = *snapshot_;
    if (snap.background == BackgroundStyle::none) {
        // No plate, shadow or chrome: the recording is the picture, zoomed; the canvas cuts it off.
        drawRecording(cr, input.source, snap.cropRect, frame.content);
        return;
    }
    const RoundedShape shape = roundedShape(frame.window, frame.cornerRadius);
    ShadowSpec shadow;
    shadow.shape = shape;
    shadow.offsetY = -kWindowShadowLift;  // towards the top of the picture
    shadow.blurRadius = kWindowShadowBlur;
    shadow.canvasWidth = static_cast<int>(frame.canvas.width);
    shadow.canvasHeight = static_cast<int>(frame.canvas.height);
    shadows_.paint(cr, shadow, {0, 0, 0, kWindowShadowAlpha});

    appendShapePath(cr, shape);
    cairo_set_source_rgba(cr, 0, 0, 0, kWindowEdgeAlpha);
    cairo_fill(cr);

    cairo_save(cr);
    appendShapePath(cr, shape);
    cairo_clip(cr);
    if (frame.titleBar) {
        cairo_rectangle(cr, frame.titleBar->x, frame.titleBar->y, frame.titleBar->width, frame.titleBar->height);
        cairo_set_source_rgb(cr, kTitleBarGrey, kTitleBarGrey, kTitleBarGrey);
        cairo_fill(cr);
    }
    drawRecording(cr, input.source, snap.cropRect, frame.content);
    cairo_restore(cr);
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
    if (snap.background == BackgroundStyle::none) {
        cairo_rectangle(cr, 0, 0, frame.canvas.width, frame.canvas.height);
    } else {
        appendShapePath(cr, roundedShape(frame.window, frame.cornerRadius));
    }
    cairo_clip(cr);
    if (frame.titleBar) call(painters_.windowChrome);
    if (snap.drawsSyntheticCursor) call(painters_.syntheticCursor);
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
