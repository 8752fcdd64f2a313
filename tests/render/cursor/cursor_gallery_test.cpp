#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "media/video_frame.h"
#include "render/cursor/cursor_canvas.h"
#include "render/cursor_layer.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

using testing::CursorCanvas;

constexpr int kCell = 160;

// One picture of the sheet: inputs drawn at time `t` into a cell, and whether it should show anything.
struct GalleryCell {
    std::string name;
    std::function<void(CursorEffectsInputs&)> setUp;
    double t = 1.3;
    double scale = 1;
    bool drawsSomething = true;
};

CursorInteraction interaction(CursorInteraction::Kind kind, double start, double end, double x1 = 0.5,
                              double y1 = 0.5) {
    CursorInteraction i;
    i.kind = kind;
    i.startTime = start;
    i.endTime = end;
    i.startX = i.startY = i.endX = 0.5;
    i.endY = 0.5;
    if (kind == CursorInteraction::Kind::swipe) {
        i.startX = 0.2;
        i.startY = 0.7;
        i.endX = x1;
        i.endY = y1;
    }
    return i;
}

// Every cursor style and every click animation at a quarter of its life (t = 1.3 for a click at 1),
// on a mid-tone backdrop so both the white and the black parts show. Set ORVANE_CURSOR_GALLERY to a
// path to keep the sheet for a look.
TEST(CursorGallery, EveryStyleAndAnimationDrawsIntoItsCell) {
    std::vector<CursorSample> still{{0, 0.4, 0.4}, {10, 0.4, 0.4}};
    std::vector<CursorSample> moving{{0, 0.0, 0.45}, {1, 1.4, 0.45}};
    std::vector<ClickAnnotation> clicks(1);
    clicks[0].time = 1;
    clicks[0].cx = 0.4;
    clicks[0].cy = 0.45;
    std::vector<CursorInteraction> gestures;

    auto cursorOnly = [&](CursorVisualStyle style, std::string symbol = "sparkle") {
        return [=](CursorEffectsInputs& in) {
            in.cursorVisualStyle = style;
            in.cursorIconSymbol = symbol;
        };
    };
    auto click = [&](CursorClickAnimationStyle style, AnnotationColor color, std::string label) {
        return [&, style, color, label](CursorEffectsInputs& in) {
            in.showCursorRing = false;
            in.cursorClickAnimationStyle = style;
            clicks[0].color = color;
            clicks[0].label = label;
            in.annotations = clicks;
        };
    };
    auto gesture = [&](CursorInteraction i) {
        return [&, i](CursorEffectsInputs& in) {
            in.cursorVisualStyle = CursorVisualStyle::touch;
            gestures = {i};
            in.cursorInteractions = gestures;
        };
    };

    const std::vector<GalleryCell> cells{
        {"pointer", cursorOnly(CursorVisualStyle::pointer)},
        {"largePointer x1.5", cursorOnly(CursorVisualStyle::largePointer), 1.3, 1.5},
        {"ring", cursorOnly(CursorVisualStyle::ring)},
        {"ring + synthetic",
         [&](CursorEffectsInputs& in) {
             in.cursorVisualStyle = CursorVisualStyle::ring;
             in.drawsSyntheticCursor = true;
         }},
        {"touch", cursorOnly(CursorVisualStyle::touch), 1.3, 1, false},
        {"icon sparkle", cursorOnly(CursorVisualStyle::icon, "sparkle")},
        {"icon hand.tap.fill", cursorOnly(CursorVisualStyle::icon, "hand.tap.fill")},
        {"icon scope", cursorOnly(CursorVisualStyle::icon, "scope")},
        {"press: long press",
         [&](CursorEffectsInputs& in) {
             in.cursorClickAnimationStyle = CursorClickAnimationStyle::none;
             gestures = {interaction(CursorInteraction::Kind::longPress, 1.2, 1.25)};
             in.cursorInteractions = gestures;
         }},
        {"press: typing",
         [&](CursorEffectsInputs& in) {
             gestures = {interaction(CursorInteraction::Kind::typing, 1, 2)};
             in.cursorInteractions = gestures;
         }},
        {"trail ring",
         [&](CursorEffectsInputs& in) {
             in.cursorVisualStyle = CursorVisualStyle::ring;
             in.cursorMotionBlur = true;
             in.cursorSamples = moving;
         },
         0.5},
        {"trail icon",
         [&](CursorEffectsInputs& in) {
             in.cursorVisualStyle = CursorVisualStyle::icon;
             in.cursorMotionBlur = true;
             in.cursorSamples = moving;
         },
         0.5},
        {"ripple", click(CursorClickAnimationStyle::ripple, AnnotationColor::accent, "")},
        {"pulse", click(CursorClickAnimationStyle::pulse, AnnotationColor::red, "")},
        {"brush", click(CursorClickAnimationStyle::brush, AnnotationColor::green, "")},
        {"bounce", click(CursorClickAnimationStyle::bounce, AnnotationColor::yellow, "")},
        {"none", click(CursorClickAnimationStyle::none, AnnotationColor::accent, "Hidden"), 1.3, 1, false},
        {"ripple + label", click(CursorClickAnimationStyle::ripple, AnnotationColor::white, "Save")},
        {"navigationTap", gesture(interaction(CursorInteraction::Kind::navigationTap, 1.2, 1.3))},
        {"longPress", gesture(interaction(CursorInteraction::Kind::longPress, 1.2, 1.3))},
        {"swipe", gesture(interaction(CursorInteraction::Kind::swipe, 1, 1.6, 0.8, 0.3))},
    };

    constexpr int kColumns = 6;
    const int rows = (static_cast<int>(cells.size()) + kColumns - 1) / kColumns;
    CursorCanvas sheet(kColumns * kCell, rows * (kCell + 20));
    cairo_t* cr = sheet.context();
    cairo_pattern_t* backdrop = cairo_pattern_create_linear(0, 0, kColumns * kCell, rows * (kCell + 20));
    cairo_pattern_add_color_stop_rgb(backdrop, 0, 0.45, 0.55, 0.68);
    cairo_pattern_add_color_stop_rgb(backdrop, 1, 0.62, 0.52, 0.66);
    cairo_set_source(cr, backdrop);
    cairo_paint(cr);
    cairo_pattern_destroy(backdrop);

    for (std::size_t index = 0; index < cells.size(); ++index) {
        const GalleryCell& cell = cells[index];
        SCOPED_TRACE(cell.name);
        CursorEffectsInputs inputs;
        inputs.cursorSamples = still;
        cell.setUp(inputs);
        CursorCanvas picture(kCell, kCell);
        drawCursorEffects(picture.context(), inputs, cell.t, CursorLayerFrame{Rect{0, 0, kCell, kCell}, cell.scale});
        EXPECT_EQ(picture.drawnBox().has_value(), cell.drawsSomething);

        const int x = static_cast<int>(index % kColumns) * kCell;
        const int y = static_cast<int>(index / kColumns) * (kCell + 20);
        const RgbaImage image = picture.image();
        cairo_surface_t* cellSurface = cairo_image_surface_create_for_data(
            const_cast<unsigned char*>(image.pixels.data()), CAIRO_FORMAT_ARGB32, image.width, image.height,
            image.stride);
        cairo_set_source_surface(cr, cellSurface, x, y + 20);
        cairo_paint(cr);
        cairo_surface_destroy(cellSurface);
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_set_font_size(cr, 12);
        cairo_move_to(cr, x + 6, y + 15);
        cairo_show_text(cr, cell.name.c_str());
        cairo_set_source_rgba(cr, 1, 1, 1, 0.25);
        cairo_rectangle(cr, x + 0.5, y + 20.5, kCell - 1, kCell - 1);
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
    }

    testing::TempDir dir;
    const char* keep = std::getenv("ORVANE_CURSOR_GALLERY");
    const std::filesystem::path file = keep ? std::filesystem::path(keep) : dir / "cursor_gallery.png";
    EXPECT_TRUE(writePng(sheet.image(), file));
}

}  // namespace
}  // namespace orvane
