#include "render/backdrop/background_renderer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <system_error>

#include "base/log.h"
#include "base/log_areas.h"
#include "media/video_frame.h"
#include "render/backdrop/backdrop_drawing.h"
#include "render/backdrop/background_palette.h"
#include "render/backdrop/grain_vignette.h"

namespace orvane {

namespace {

// Neutral stand-in for an empty colour list, a mid-grey like a desktop's window background.
constexpr RgbaColor kWindowBackground{0.93, 0.93, 0.93, 1};

// Large enough that FFmpeg never scales a wallpaper-sized picture down.
constexpr int kLargestStillImageSide = 16384;

void clipTo(cairo_t* cr, const Rect& r) {
    cairo_rectangle(cr, r.x, r.y, r.width, r.height);
    cairo_clip(cr);
}

void drawBase(cairo_t* cr, const BackgroundPalette& palette, const Rect& r) {
    const RgbaColor fallback = palette.base.empty() ? kWindowBackground : palette.base.front();
    cairo_save(cr);
    clipTo(cr, r);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    // Top-left corner to bottom-right corner, in y-up space.
    backdrop::paintGradientOr(
        cr,
        backdrop::makeEvenGradient(cairo_pattern_create_linear(r.minX(), r.maxY(), r.maxX(), r.minY()), palette.base),
        fallback);
    cairo_restore(cr);
}

void drawGlow(cairo_t* cr, const Glow& glow, const Rect& r) {
    const double longer = std::max(r.width, r.height);
    const double cx = r.minX() + glow.x * r.width;
    const double cy = r.minY() + glow.y * r.height;
    cairo_pattern_t* pattern = backdrop::makeEvenGradient(
        cairo_pattern_create_radial(cx, cy, 0, cx, cy, longer * glow.radius),
        {glow.color.withAlpha(glow.opacity), glow.color.withAlpha(0.26 * glow.opacity), glow.color.withAlpha(0)});
    if (!pattern) return;  // a glow that cannot be made is left out; its fallback would flood the canvas
    cairo_save(cr);
    clipTo(cr, r);
    cairo_set_operator(cr, backdrop::cairoOperator(glow.blendMode));
    cairo_set_source(cr, pattern);
    cairo_paint(cr);
    cairo_pattern_destroy(pattern);
    cairo_restore(cr);
}

// The wavy band: two cubic curves along the top, a short edge, two back along the bottom.
void addRibbonPath(cairo_t* cr, const Rect& q, double phase, double amplitude) {
    const double w = q.width;
    const double c = q.minY() + q.height / 2 + phase * q.height;
    const double a = amplitude * q.height;
    const double midX = q.minX() + w / 2;
    cairo_new_path(cr);
    cairo_move_to(cr, q.minX() - 0.1 * w, c - a);
    cairo_curve_to(cr, q.minX() + 0.18 * w, c - 1.9 * a, q.minX() + 0.34 * w, c + 1.8 * a, midX, c + 0.35 * a);
    cairo_curve_to(cr, q.minX() + 0.68 * w, c - 1.4 * a, q.minX() + 0.86 * w, c + 1.3 * a, q.maxX() + 0.1 * w,
                   c - 0.2 * a);
    cairo_line_to(cr, q.maxX() + 0.1 * w, c + 1.7 * a);
    cairo_curve_to(cr, q.minX() + 0.78 * w, c + 2.2 * a, q.minX() + 0.62 * w, c + 0.4 * a, midX, c + 1.15 * a);
    cairo_curve_to(cr, q.minX() + 0.3 * w, c + 2.1 * a, q.minX() + 0.14 * w, c + 0.25 * a, q.minX() - 0.1 * w,
                   c + 0.95 * a);
    cairo_close_path(cr);
}

void drawRibbon(cairo_t* cr, const Ribbon& ribbon, const Rect& r) {
    const double longer = std::max(r.width, r.height);
    cairo_save(cr);
    clipTo(cr, r);
    cairo_translate(cr, r.minX() + r.width / 2 + ribbon.offsetX * r.width,
                    r.minY() + r.height / 2 + ribbon.offsetY * r.height);
    cairo_rotate(cr, ribbon.rotation);
    cairo_scale(cr, 1.25, ribbon.scaleY);
    cairo_set_operator(cr, backdrop::cairoOperator(ribbon.blendMode));
    const Rect q{-0.62 * longer, -0.34 * longer, 1.24 * longer, 0.68 * longer};
    addRibbonPath(cr, q, ribbon.phase, ribbon.amplitude);
    cairo_clip(cr);
    std::vector<RgbaColor> colors;
    for (const RgbaColor& color : ribbon.colors) colors.push_back(color.withAlpha(ribbon.opacity));
    const RgbaColor fallback =
        (ribbon.colors.empty() ? RgbaColor{1, 1, 1, 1} : ribbon.colors.front()).withAlpha(ribbon.opacity);
    backdrop::paintGradientOr(
        cr, backdrop::makeEvenGradient(cairo_pattern_create_linear(q.minX(), q.maxY(), q.maxX(), q.minY()), colors),
        fallback);
    cairo_restore(cr);
}

// Scales the picture to cover the canvas, centred; the overflow is cut off.
void drawAspectFilled(cairo_t* cr, cairo_surface_t* image, const Rect& r) {
    const double w = cairo_image_surface_get_width(image);
    const double h = cairo_image_surface_get_height(image);
    const double scale = std::max(r.width / w, r.height / h);
    cairo_save(cr);
    clipTo(cr, r);
    // The context is y-up; the picture's rows run top-down, so it is flipped back while drawn.
    cairo_translate(cr, r.minX() + r.width / 2, r.minY() + r.height / 2);
    cairo_scale(cr, scale, -scale);
    cairo_set_source_surface(cr, image, -w / 2, -h / 2);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
    cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr);
    cairo_restore(cr);
}

void clear(cairo_t* cr, const Rect& r) {
    cairo_save(cr);
    clipTo(cr, r);
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_paint(cr);
    cairo_restore(cr);
}

}  // namespace

cairo::Surface loadStillImage(const std::filesystem::path& file) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error)) return nullptr;
    cairo::Surface png(cairo_image_surface_create_from_png(file.c_str()));
    if (cairo_surface_status(png.get()) == CAIRO_STATUS_SUCCESS) return png;

    auto decoded = extractVideoFrame(file, 0, kLargestStillImageSide, kLargestStillImageSide);
    if (!decoded) return nullptr;
    cairo::Surface surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, decoded->width, decoded->height));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
    cairo_surface_flush(surface.get());
    unsigned char* destination = cairo_image_surface_get_data(surface.get());
    const int destinationStride = cairo_image_surface_get_stride(surface.get());
    const auto rowBytes = static_cast<std::size_t>(decoded->width) * 4;
    for (int y = 0; y < decoded->height; ++y) {
        std::memcpy(destination + static_cast<std::ptrdiff_t>(y) * destinationStride,
                    decoded->pixels.data() + static_cast<std::ptrdiff_t>(y) * decoded->stride, rowBytes);
    }
    cairo_surface_mark_dirty(surface.get());
    return surface;
}

void drawBackground(cairo_t* cr, BackgroundStyle style, const std::optional<std::filesystem::path>& customImage,
                    const Rect& canvas) {
    if (canvas.width <= 0 || canvas.height <= 0) return;
    if (style == BackgroundStyle::none) {
        clear(cr, canvas);
        return;
    }
    if (style == BackgroundStyle::customImage && customImage) {
        if (const auto image = loadStillImage(*customImage)) {
            drawAspectFilled(cr, image.get(), canvas);
            return;
        }
        log::info(log_area::kRender, "background image %s cannot be read; using the fallback gradient",
                  customImage->c_str());
    }
    const auto palette = backgroundPalette(style);
    if (!palette) return;
    drawBase(cr, *palette, canvas);
    for (const Glow& glow : palette->glows) drawGlow(cr, glow, canvas);
    for (const Ribbon& ribbon : palette->ribbons) drawRibbon(cr, ribbon, canvas);
    drawGrain(cr, canvas, palette->grainOpacity);
    drawVignette(cr, canvas, palette->vignette);
}

cairo::Surface renderBackground(BackgroundStyle style, const std::optional<std::filesystem::path>& customImage,
                                int width, int height) {
    if (width <= 0 || height <= 0) return nullptr;
    cairo::Surface surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
    cairo::Context cr(cairo_create(surface.get()));
    backdrop::useBottomLeftOrigin(cr.get(), height);
    drawBackground(cr.get(), style, customImage, {0, 0, static_cast<double>(width), static_cast<double>(height)});
    cairo_surface_flush(surface.get());
    return surface;
}

}  // namespace orvane
