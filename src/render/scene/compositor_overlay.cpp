#include <algorithm>

#include "render/scene/compositor.h"
#include "render/scene/scene_shape.h"

namespace orvane {
namespace {

// An overlay's own shadow and plate; like the window's, they do not follow the zoom.
constexpr double kOverlayShadowAlpha = 0.3;
constexpr double kOverlayShadowLift = 12;
constexpr double kOverlayShadowBlur = 24;
constexpr double kOverlayPlateAlpha = 0.16;
// A context shadow's blur is about twice the Gaussian's standard deviation.
constexpr double kGlowBlur = 12;

struct BorderLook {
    double red = 1, green = 1, blue = 1, alpha = 1;
    double lineWidth = 0;
    bool glow = false;
};

std::optional<BorderLook> borderLook(const BorderStyle& style) {
    switch (style.kind()) {
        case BorderStyle::Case::none:
        case BorderStyle::Case::softShadow: return std::nullopt;
        case BorderStyle::Case::thinWhite: return BorderLook{1, 1, 1, 0.55, 1, false};
        case BorderStyle::Case::thickWhite: return BorderLook{1, 1, 1, 0.85, 3, false};
        case BorderStyle::Case::colored: {
            const auto c = style.color().value_or(BorderStyle::Color{});
            return BorderLook{c.red, c.green, c.blue, c.alpha, 2, false};
        }
        case BorderStyle::Case::glowRing: return BorderLook{1, 1, 1, 0.75, 1.5, true};
    }
    return std::nullopt;
}

}  // namespace

void SceneCompositor::drawOverlay(cairo_t* cr, const OverlayFrame& overlay, const Rect& rect) {
    if (rect.width <= 0 || rect.height <= 0) return;
    const RoundedShape shape = roundedShape(rect, overlay.clip.cornerRadius);
    ShadowSpec shadow;
    shadow.shape = shape;
    shadow.offsetY = -kOverlayShadowLift;
    shadow.blurRadius = kOverlayShadowBlur;
    shadow.canvasWidth = cairo_image_surface_get_width(cairo_get_target(cr));
    shadow.canvasHeight = cairo_image_surface_get_height(cairo_get_target(cr));
    shadows_.paint(cr, shadow, {0, 0, 0, kOverlayShadowAlpha});

    appendShapePath(cr, shape);
    cairo_set_source_rgba(cr, 0, 0, 0, kOverlayPlateAlpha);
    cairo_fill(cr);

    cairo_surface_t* picture = overlay.image;
    std::optional<Rect> crop = overlay.clip.sourceCropRect;
    cairo::Surface blurred;
    if (picture && overlay.clip.mediaKind == VideoOverlayClip::MediaKind::video) {
        if (overlay.clip.backgroundBlur > 0.0001 && faceServices_.segmenter) {
            const cairo::Surface mask = faceServices_.segmenter->personMask(picture);
            blurred = blurBackgroundBehindPerson(picture, mask.get(), overlay.clip.backgroundBlur);
            if (blurred) picture = blurred.get();
        }
        if (auto framed = framedCrop(overlay)) crop = framed;
    }
    drawOverlayPicture(cr, overlay.clip, picture, rect, crop);
}

std::optional<Rect> SceneCompositor::framedCrop(const OverlayFrame& overlay) {
    if (!overlay.image || overlay.clip.mediaKind != VideoOverlayClip::MediaKind::video ||
        !overlay.clip.autoFrameFaceCam || !faceServices_.detector)
        return std::nullopt;
    // Several faces: frame the largest, the one nearest the camera.
    const std::vector<Rect> faces = faceServices_.detector->detectFaces(overlay.image);
    const auto largest = std::max_element(faces.begin(), faces.end(), [](const Rect& a, const Rect& b) {
        return a.width * a.height < b.width * b.height;
    });
    const std::optional<Rect> target = largest == faces.end() ? std::nullopt : faceFramingCrop(*largest);
    const std::optional<Rect> crop = faceCrops_.update(overlay.clip.id, target, overlay.clip.sourceCropRect);
    // Nothing framed yet: the overlay keeps its own crop.
    return crop ? crop : overlay.clip.sourceCropRect;
}

void SceneCompositor::followFaces(std::span<const OverlayFrame> overlays) {
    for (const OverlayFrame& overlay : overlays) framedCrop(overlay);
}

void drawOverlayPicture(cairo_t* cr, const VideoOverlayClip& clip, cairo_surface_t* image, const Rect& rect,
                        const std::optional<Rect>& crop) {
    if (!image || cairo_surface_get_type(image) != CAIRO_SURFACE_TYPE_IMAGE) return;
    const double w = cairo_image_surface_get_width(image);
    const double h = cairo_image_surface_get_height(image);
    Rect region{0, 0, w, h};
    if (isSet(crop)) {
        const Rect& c = *crop;
        region = {c.x * w, c.y * h, c.width * w, c.height * h};
    }
    if (region.width <= 0 || region.height <= 0) return;
    const double sx = rect.width / region.width;
    const double sy = rect.height / region.height;
    // A face camera fills its bubble; pictures and logos are shown whole.
    const double scale = clip.mediaKind == VideoOverlayClip::MediaKind::video ? std::max(sx, sy) : std::min(sx, sy);

    cairo_save(cr);
    appendShapePath(cr, roundedShape(rect, clip.cornerRadius));
    cairo_clip(cr);
    cairo_translate(cr, rect.x + rect.width / 2, rect.y + rect.height / 2);
    // The stored angle turns counter-clockwise on a y-up canvas; Cairo's y runs down.
    cairo_rotate(cr, -clip.rotationRadians);
    if (clip.mirrored) cairo_scale(cr, -1, 1);
    cairo_scale(cr, scale, scale);
    cairo_rectangle(cr, -region.width / 2, -region.height / 2, region.width, region.height);
    cairo_clip(cr);
    // A view of the crop alone, so filtering and padding never reach the cropped-away pixels.
    cairo::Surface shown(cairo_surface_create_for_rectangle(image, region.x, region.y, region.width, region.height));
    cairo_set_source_surface(cr, shown.get(), -region.width / 2, -region.height / 2);
    cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
    cairo_paint(cr);
    cairo_restore(cr);
}

void drawOverlayBorder(cairo_t* cr, const VideoOverlayClip& clip, const Rect& rect, ShadowCache& glows,
                       const Size& canvas) {
    const auto look = borderLook(clip.borderStyle);
    if (!look || rect.width <= 0 || rect.height <= 0) return;
    // Inset by half the line so the stroke stays inside the overlay's edge.
    const double inset = look->lineWidth / 2;
    const Rect inner{rect.x + inset, rect.y + inset, rect.width - 2 * inset, rect.height - 2 * inset};
    const RoundedShape shape = roundedShape(inner, clip.cornerRadius);
    if (look->glow) {
        ShadowSpec glow;
        glow.shape = shape;
        glow.blurRadius = kGlowBlur / 2;
        glow.strokeWidth = look->lineWidth;
        glow.canvasWidth = static_cast<int>(canvas.width);
        glow.canvasHeight = static_cast<int>(canvas.height);
        glows.paint(cr, glow, {1, 1, 1, 0.55});
    }
    cairo_save(cr);
    appendShapePath(cr, shape);
    cairo_set_source_rgba(cr, look->red, look->green, look->blue, look->alpha);
    cairo_set_line_width(cr, look->lineWidth);
    cairo_stroke(cr);
    cairo_restore(cr);
}

}  // namespace orvane
