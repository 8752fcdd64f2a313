// Renders one PNG with a labelled tile for every look the renderer offers: each background, chrome
// style, cursor style, click animation, a caption, the face-camera borders and a 2x zoom. Every
// tile is a real composed frame from the scene compositor, drawn at 960 x 540 and halved, so sizes
// that have floors (title bar, cursor) keep their usual proportions.
//
// Usage: orvane_contact_sheet [OUT.png]   (default: contact-sheet.png)
#include <cairo.h>
#include <pango/pangocairo.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

#include "media/cairo_handles.h"
#include "model/background_style.h"
#include "model/cursor_interaction.h"
#include "model/cursor_style.h"
#include "model/video_overlay_clip.h"
#include "model/window_chrome_style.h"
#include "render/backdrop/background_renderer.h"
#include "render/backdrop/caption_render_cache.h"
#include "render/cursor/click_animation.h"
#include "render/scene/compositor.h"
#include "render/scene/scene_layers.h"

namespace {

using namespace orvane;

constexpr int kFrameWidth = 960;
constexpr int kFrameHeight = 540;
constexpr int kTileWidth = kFrameWidth / 2;
constexpr int kTileHeight = kFrameHeight / 2;
constexpr int kColumns = 6;
constexpr int kGap = 16;
constexpr int kLabelHeight = 30;
constexpr int kHeaderHeight = 56;
constexpr double kTime = 1.0;

// The recording every tile shows: a small desktop with a sidebar, lines of "text" and a button, so
// the crop, scaling and rounding are easy to judge.
cairo::Surface syntheticRecording(int width, int height) {
    cairo::Surface surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    cairo::Context owner(cairo_create(surface.get()));
    cairo_t* cr = owner.get();
    const double u = width / 100.0;
    cairo_set_source_rgb(cr, 0.96, 0.97, 0.98);
    cairo_paint(cr);
    cairo_set_source_rgb(cr, 0.2, 0.22, 0.28);
    cairo_rectangle(cr, 0, 0, 18 * u, height);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 0.86, 0.88, 0.92);
    cairo_rectangle(cr, 18 * u, 0, width - 18 * u, 5 * u);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 0.7, 0.74, 0.82);
    for (int row = 0; row < 10; ++row) cairo_rectangle(cr, 2 * u, (8 + row * 4.5) * u, (9 + row % 3 * 2) * u, 1.6 * u);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 0.25, 0.26, 0.3);
    for (int row = 0; row < 16; ++row) {
        const double length = 30 + 40 * (0.5 + 0.5 * std::sin(row * 1.7));
        for (double x = 22; x < 22 + length; x += 7 + 2 * std::cos(x + row)) {
            cairo_rectangle(cr, x * u, (9 + row * 3) * u, 5 * u, 1.1 * u);
        }
    }
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 0.1, 0.45, 0.95);
    cairo_arc(cr, 86 * u, height - 8 * u, 4 * u, 0, 2 * std::numbers::pi);
    cairo_fill(cr);
    cairo_surface_flush(surface.get());
    return surface;
}

// A face-camera frame: a person's head and shoulders before a warm wall.
cairo::Surface syntheticFaceFrame(int size) {
    cairo::Surface surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size, size));
    cairo::Context owner(cairo_create(surface.get()));
    cairo_t* cr = owner.get();
    const double s = size;
    cairo_pattern_t* wall = cairo_pattern_create_linear(0, 0, 0, s);
    cairo_pattern_add_color_stop_rgb(wall, 0, 0.85, 0.7, 0.5);
    cairo_pattern_add_color_stop_rgb(wall, 1, 0.55, 0.4, 0.3);
    cairo_set_source(cr, wall);
    cairo_paint(cr);
    cairo_pattern_destroy(wall);
    cairo_set_source_rgb(cr, 0.2, 0.3, 0.5);  // shoulders
    cairo_arc(cr, s / 2, s * 1.05, s * 0.42, std::numbers::pi, 2 * std::numbers::pi);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 0.93, 0.76, 0.62);  // face
    cairo_save(cr);
    cairo_translate(cr, s / 2, s * 0.42);
    cairo_scale(cr, 0.8, 1);
    cairo_arc(cr, 0, 0, s * 0.2, 0, 2 * std::numbers::pi);
    cairo_restore(cr);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 0.25, 0.17, 0.12);  // hair
    cairo_arc(cr, s / 2, s * 0.36, s * 0.17, std::numbers::pi, 2 * std::numbers::pi);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 0.15, 0.12, 0.1);  // eyes
    cairo_arc(cr, s * 0.44, s * 0.42, s * 0.015, 0, 2 * std::numbers::pi);
    cairo_arc(cr, s * 0.56, s * 0.42, s * 0.015, 0, 2 * std::numbers::pi);
    cairo_fill(cr);
    cairo_surface_flush(surface.get());
    return surface;
}

// A landscape for the custom-image background, written as a PNG like one a user would pick.
bool writeCustomBackground(const std::filesystem::path& file) {
    cairo::Surface surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 640, 360));
    cairo::Context owner(cairo_create(surface.get()));
    cairo_t* cr = owner.get();
    cairo_pattern_t* sky = cairo_pattern_create_linear(0, 0, 0, 360);
    cairo_pattern_add_color_stop_rgb(sky, 0, 0.98, 0.6, 0.35);
    cairo_pattern_add_color_stop_rgb(sky, 1, 0.45, 0.3, 0.6);
    cairo_set_source(cr, sky);
    cairo_paint(cr);
    cairo_pattern_destroy(sky);
    cairo_set_source_rgb(cr, 0.18, 0.14, 0.3);
    cairo_move_to(cr, 0, 360);
    cairo_line_to(cr, 0, 250);
    cairo_line_to(cr, 160, 170);
    cairo_line_to(cr, 300, 260);
    cairo_line_to(cr, 450, 150);
    cairo_line_to(cr, 640, 240);
    cairo_line_to(cr, 640, 360);
    cairo_close_path(cr);
    cairo_fill(cr);
    return cairo_surface_write_to_png(surface.get(), file.c_str()) == CAIRO_STATUS_SUCCESS;
}

// The edit every tile starts from: the recording on the bone desktop, the cursor resting at
// (0.62, 0.55), nothing else shown.
SceneRenderSnapshot baseSnapshot(int sourceWidth, int sourceHeight) {
    SceneRenderSnapshot snapshot;
    snapshot.edit.frame.videoSize = {double(sourceWidth), double(sourceHeight)};
    snapshot.edit.timeline.trimEnd = 10;
    snapshot.edit.frame.inset = 0.08;
    snapshot.edit.frame.cornerRadius = 12;
    snapshot.edit.frame.windowTitle = "Quarterly report";
    snapshot.edit.cursor.showCursorRing = false;
    snapshot.cursorSamples = {{0, 0.62, 0.55}, {2 * kTime, 0.62, 0.55}};
    return snapshot;
}

struct Tile {
    std::string label;
    SceneRenderSnapshot snapshot;
    std::optional<CameraState> zoom;
    std::vector<OverlayFrame> overlays;
};

// Composes one tile's frame at full size; nothing when the compositor refuses it.
cairo::Surface renderTile(const Tile& tile, cairo_surface_t* source) {
    auto snapshot = std::make_shared<const SceneRenderSnapshot>(tile.snapshot);
    const cairo::Surface background = renderBackground(
        snapshot->edit.frame.background, snapshot->edit.frame.customBackgroundPath, kFrameWidth, kFrameHeight);
    auto captions =
        std::make_shared<CaptionRenderCache>(snapshot->edit.captions.captions, Rect{0, 0, kFrameWidth, kFrameHeight});
    SceneCompositor compositor(snapshot, sceneLayerPainters(captions));
    cairo::Surface frame(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kFrameWidth, kFrameHeight));
    SceneFrameInput input;
    input.compositionTime = kTime;
    input.sourceTime = kTime;
    input.source = source;
    input.background = background.get();
    input.overlays = tile.overlays;
    input.zoom = tile.zoom;
    if (compositor.compose(frame.get(), input) != ComposeStatus::ok) return nullptr;
    return frame;
}

// A light checkerboard where the frame is transparent (background `none` leaves the canvas clear
// outside the recording), as image editors show it.
void paintChecker(cairo_t* cr, double x, double y, double w, double h) {
    constexpr double kSquare = 10;
    cairo_save(cr);
    cairo_rectangle(cr, x, y, w, h);
    cairo_clip(cr);
    cairo_set_source_rgb(cr, 0.93, 0.93, 0.93);
    cairo_paint(cr);
    cairo_set_source_rgb(cr, 0.8, 0.8, 0.8);
    for (double row = 0; row * kSquare < h; ++row)
        for (double col = std::fmod(row, 2); col * kSquare < w; col += 2)
            cairo_rectangle(cr, x + col * kSquare, y + row * kSquare, kSquare, kSquare);
    cairo_fill(cr);
    cairo_restore(cr);
}

void drawText(cairo_t* cr, const std::string& text, const char* font, double x, double y, double width,
              bool centred) {
    PangoLayout* layout = pango_cairo_create_layout(cr);
    PangoFontDescription* description = pango_font_description_from_string(font);
    pango_layout_set_font_description(layout, description);
    pango_font_description_free(description);
    pango_layout_set_text(layout, text.c_str(), -1);
    pango_layout_set_width(layout, static_cast<int>(width * PANGO_SCALE));
    pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
    pango_layout_set_alignment(layout, centred ? PANGO_ALIGN_CENTER : PANGO_ALIGN_LEFT);
    cairo_move_to(cr, x, y);
    pango_cairo_show_layout(cr, layout);
    g_object_unref(layout);
}

// Appends rather than "literal" + string: GCC 12 warns falsely about that form in optimised builds.
std::string label(std::string_view prefix, std::string_view name, std::string_view suffix = {}) {
    std::string text(prefix);
    text.append(name).append(suffix);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    const std::filesystem::path out = argc > 1 ? argv[1] : "contact-sheet.png";
    constexpr int kSourceWidth = 1600;
    constexpr int kSourceHeight = 1000;
    const cairo::Surface recording = syntheticRecording(kSourceWidth, kSourceHeight);
    const cairo::Surface face = syntheticFaceFrame(360);
    const SceneRenderSnapshot base = baseSnapshot(kSourceWidth, kSourceHeight);

    std::error_code error;
    const auto scratch = std::filesystem::temp_directory_path(error) / "orvane-contact-sheet-custom.png";
    if (error || !writeCustomBackground(scratch)) {
        std::fprintf(stderr, "Couldn't write the custom background picture %s\n", scratch.c_str());
        return 1;
    }

    std::vector<Tile> tiles;
    for (const BackgroundStyle style : kAllBackgroundStyles) {
        Tile tile{label("Background: ", rawValue(style)), base, {}, {}};
        tile.snapshot.edit.frame.background = style;
        if (style == BackgroundStyle::customImage) tile.snapshot.edit.frame.customBackgroundPath = scratch;
        tiles.push_back(std::move(tile));
    }
    for (const WindowChromeStyle style : kAllWindowChromeStyles) {
        Tile tile{label("Chrome: ", rawValue(style)), base, {}, {}};
        tile.snapshot.edit.frame.showWindowChrome = true;
        tile.snapshot.edit.frame.chromeStyle = style;
        tile.snapshot.edit.frame.background = BackgroundStyle::sonomaGreen;
        tiles.push_back(std::move(tile));
    }
    for (const CursorVisualStyle style : kAllCursorVisualStyles) {
        Tile tile{label("Cursor: ", rawValue(style)), base, {}, {}};
        tile.snapshot.edit.cursor.showCursorRing = true;
        tile.snapshot.edit.cursor.cursorVisualStyle = style;
        tile.snapshot.edit.frame.background = BackgroundStyle::chalk;
        if (style == CursorVisualStyle::touch) {
            // Touch draws no cursor of its own; its swipes come from the gesture layer.
            tile.label += " (no cursor; a swipe)";
            CursorInteraction swipe;
            swipe.kind = CursorInteraction::Kind::swipe;
            swipe.startTime = kTime - 0.4;
            swipe.endTime = kTime;
            swipe.startX = 0.4;
            swipe.startY = 0.7;
            swipe.endX = 0.62;
            swipe.endY = 0.55;
            tile.snapshot.edit.cursor.cursorInteractions.push_back(swipe);
        }
        tiles.push_back(std::move(tile));
    }
    for (const CursorClickAnimationStyle style : kAllCursorClickAnimationStyles) {
        Tile tile{label("Click: ", rawValue(style), " at \u00bc of its life"), base, {}, {}};
        tile.snapshot.edit.frame.background = BackgroundStyle::obsidian;
        tile.snapshot.edit.cursor.showCursorRing = true;
        tile.snapshot.edit.cursor.cursorVisualStyle = CursorVisualStyle::pointer;
        tile.snapshot.edit.cursor.cursorClickAnimationStyle = style;
        ClickAnnotation click;
        click.time = kTime - kClickAnnotationLife / 4;
        click.cx = 0.62;
        click.cy = 0.55;
        click.label = "Save";
        tile.snapshot.edit.cursor.annotations.push_back(click);
        if (style == CursorClickAnimationStyle::brush) tile.label += " (drawn as ripple)";
        tiles.push_back(std::move(tile));
    }
    {
        Tile tile{"Caption", base, {}, {}};
        tile.snapshot.edit.frame.background = BackgroundStyle::venturaBlue;
        tile.snapshot.edit.captions.captions.push_back(
            {.start = 0, .end = 2 * kTime, .text = "Open the report, then press Save", .words = {}});
        tiles.push_back(std::move(tile));
    }
    for (const BorderStyle::Case kind : kAllBorderStyleCases) {
        Tile tile{label("Face camera: ", caseName(kind)), base, {}, {}};
        tile.snapshot.edit.frame.background = BackgroundStyle::obsidian;  // dark, so white borders and glows show
        VideoOverlayClip clip;
        clip.startTime = 0;
        clip.duration = 2 * kTime;
        clip.mediaKind = VideoOverlayClip::MediaKind::video;
        clip.label = "Face camera";
        // Square on the 16:9 canvas, in the bottom-right corner.
        clip.normalizedFrame = {0.74, 0.56, 0.22, 0.22 * 16 / 9};
        clip.cornerRadius = 18;
        clip.borderStyle = kind == BorderStyle::Case::colored ? BorderStyle::colored(1.0, 0.45, 0.1, 1)
                                                               : BorderStyle::plain(kind).value_or(BorderStyle{});
        // Every overlay casts its shadow, so softShadow adds nothing to it.
        if (kind == BorderStyle::Case::softShadow) tile.label += " (the usual shadow)";
        tile.overlays.push_back(OverlayFrame{clip, face.get()});
        tiles.push_back(std::move(tile));
    }
    {
        Tile tile{"Zoom 2\u00d7 on the cursor, ring and click", base, CameraState{2, 0.62, 0.55}, {}};
        tile.snapshot.edit.frame.background = BackgroundStyle::sonomaPurple;
        tile.snapshot.edit.frame.showWindowChrome = true;
        tile.snapshot.edit.cursor.showCursorRing = true;
        tile.snapshot.edit.cursor.cursorVisualStyle = CursorVisualStyle::ring;
        ClickAnnotation click;
        click.time = kTime - kClickAnnotationLife / 4;
        click.cx = 0.62;
        click.cy = 0.55;
        tile.snapshot.edit.cursor.annotations.push_back(click);
        tiles.push_back(std::move(tile));
    }

    const int rows = static_cast<int>((tiles.size() + kColumns - 1) / kColumns);
    const int sheetWidth = kGap + kColumns * (kTileWidth + kGap);
    const int sheetHeight = kHeaderHeight + rows * (kTileHeight + kLabelHeight + kGap);
    cairo::Surface sheet(cairo_image_surface_create(CAIRO_FORMAT_RGB24, sheetWidth, sheetHeight));
    cairo::Context owner(cairo_create(sheet.get()));
    cairo_t* cr = owner.get();
    cairo_set_source_rgb(cr, 0.16, 0.16, 0.18);
    cairo_paint(cr);
    cairo_set_source_rgb(cr, 1, 1, 1);
    drawText(cr, "Orvane renderer contact sheet \u2014 every tile is a composed output frame", "Sans Bold 20", kGap,
             14, sheetWidth - 2 * kGap, false);

    for (std::size_t i = 0; i < tiles.size(); ++i) {
        const cairo::Surface frame = renderTile(tiles[i], recording.get());
        if (!frame) {
            std::fprintf(stderr, "Couldn't compose the tile \"%s\"\n", tiles[i].label.c_str());
            return 1;
        }
        const double x = kGap + static_cast<double>(i % kColumns) * (kTileWidth + kGap);
        const double y = kHeaderHeight + static_cast<double>(i / kColumns) * (kTileHeight + kLabelHeight + kGap);
        paintChecker(cr, x, y, kTileWidth, kTileHeight);
        cairo_save(cr);
        cairo_translate(cr, x, y);
        cairo_scale(cr, 0.5, 0.5);
        cairo_set_source_surface(cr, frame.get(), 0, 0);
        cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
        cairo_paint(cr);
        cairo_restore(cr);
        cairo_set_source_rgb(cr, 0.92, 0.92, 0.94);
        drawText(cr, tiles[i].label, "Sans 13", x, y + kTileHeight + 5, kTileWidth, false);
    }
    std::filesystem::remove(scratch, error);
    if (cairo_surface_write_to_png(sheet.get(), out.c_str()) != CAIRO_STATUS_SUCCESS) {
        std::fprintf(stderr, "Couldn't write %s\n", out.c_str());
        return 1;
    }
    std::printf("Wrote %s (%d tiles, %dx%d)\n", out.c_str(), static_cast<int>(tiles.size()), sheetWidth, sheetHeight);
    return 0;
}
