#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "render/cursor/cursor_canvas.h"
#include "render/cursor_layer.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

using Kind = CursorInteraction::Kind;
using Style = CursorVisualStyle;
using Animation = CursorClickAnimationStyle;

// Every cursor style, press glyph, trail, click animation at a quarter of its life (t = 1.3 for a
// click at 1) and gesture, one per cell over a mid-tone backdrop so the white and black parts both
// show. Set ORVANE_CURSOR_GALLERY to a path to keep the sheet for a look.
TEST(CursorGallery, EveryStyleAndAnimationDrawsIntoItsCell) {
    constexpr int kCell = 160;
    const std::vector<CursorSample> still{{0, 0.4, 0.4}};
    const std::vector<CursorSample> moving{{0, 0.0, 0.45}, {1, 1.4, 0.45}};
    std::vector<ClickAnnotation> clicks(1);
    clicks[0].time = 1;
    clicks[0].cx = 0.4;
    clicks[0].cy = 0.45;
    std::vector<CursorInteraction> gestures(1);
    gestures[0].startX = gestures[0].startY = gestures[0].endX = gestures[0].endY = 0.5;

    struct Cell {
        std::string name;
        std::function<void(CursorEffectsInputs&)> setUp;
        double t = 1.3;
        double scale = 1;
    };
    auto style = [](Style s, std::string symbol = "sparkle", bool trail = false) {
        return [=](CursorEffectsInputs& in) {
            in.cursorVisualStyle = s;
            in.cursorIconSymbol = symbol;
            in.cursorMotionBlur = trail;
        };
    };
    auto click = [&](Animation a, AnnotationColor color, std::string label = "") {
        return [&, a, color, label](CursorEffectsInputs& in) {
            in.showCursorRing = false;
            in.cursorClickAnimationStyle = a;
            clicks[0].color = color;
            clicks[0].label = label;
            in.annotations = clicks;
        };
    };
    auto gesture = [&](Kind kind, double start, double end, Style s = Style::touch) {
        return [&, kind, start, end, s](CursorEffectsInputs& in) {
            in.cursorVisualStyle = s;
            gestures[0].kind = kind;
            gestures[0].startTime = start;
            gestures[0].endTime = end;
            if (kind == Kind::swipe) gestures[0] = {{}, kind, start, end, 0.2, 0.7, 0.8, 0.3};
            in.cursorInteractions = gestures;
        };
    };
    const std::vector<Cell> cells{
        {"pointer", style(Style::pointer)},
        {"largePointer x1.5", style(Style::largePointer), 1.3, 1.5},
        {"ring", style(Style::ring)},
        {"ring + synthetic", [](CursorEffectsInputs& in) { in.cursorVisualStyle = Style::ring, in.drawsSyntheticCursor = true; }},
        {"touch (nothing)", style(Style::touch)},
        {"icon sparkle", style(Style::icon, "sparkle")},
        {"icon hand.tap.fill", style(Style::icon, "hand.tap.fill")},
        {"icon scope", style(Style::icon, "scope")},
        {"press: long press", gesture(Kind::longPress, 1.2, 1.25, Style::pointer)},
        {"press: typing", gesture(Kind::typing, 1, 2, Style::pointer)},
        {"trail ring", style(Style::ring, "sparkle", true), 0.5},
        {"trail icon", style(Style::icon, "sparkle", true), 0.5},
        {"ripple", click(Animation::ripple, AnnotationColor::accent)},
        {"pulse", click(Animation::pulse, AnnotationColor::red)},
        {"brush", click(Animation::brush, AnnotationColor::green)},
        {"bounce", click(Animation::bounce, AnnotationColor::yellow)},
        {"none (nothing)", click(Animation::none, AnnotationColor::accent, "Hidden")},
        {"ripple + label", click(Animation::ripple, AnnotationColor::white, "Save")},
        {"navigationTap", gesture(Kind::navigationTap, 1.2, 1.3)},
        {"longPress", gesture(Kind::longPress, 1.2, 1.3)},
        {"swipe", gesture(Kind::swipe, 1, 1.6)},
    };

    constexpr int kColumns = 6;
    const int rows = (static_cast<int>(cells.size()) + kColumns - 1) / kColumns;
    testing::CursorCanvas sheet(kColumns * kCell, rows * (kCell + 20));
    cairo_t* cr = sheet.context();
    cairo_set_source_rgb(cr, 0.5, 0.55, 0.68);
    cairo_paint(cr);
    for (std::size_t index = 0; index < cells.size(); ++index) {
        const Cell& cell = cells[index];
        SCOPED_TRACE(cell.name);
        CursorEffectsInputs inputs;
        inputs.cursorSamples = cell.t < 1 ? std::span<const CursorSample>(moving) : still;
        cell.setUp(inputs);
        testing::CursorCanvas picture(kCell, kCell);
        drawCursorEffects(picture.context(), inputs, cell.t, CursorLayerFrame{Rect{0, 0, kCell, kCell}, cell.scale});
        EXPECT_EQ(picture.drawnBox().has_value(), cell.name.find("nothing") == std::string::npos);

        const double x = static_cast<double>(index % kColumns) * kCell;
        const double y = static_cast<double>(index / kColumns) * (kCell + 20);
        RgbaImage image = picture.image();
        cairo_surface_t* surface = cairo_image_surface_create_for_data(image.pixels.data(), CAIRO_FORMAT_ARGB32,
                                                                       image.width, image.height, image.stride);
        cairo_set_source_surface(cr, surface, x, y + 20);
        cairo_paint(cr);
        cairo_surface_destroy(surface);
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_set_font_size(cr, 12);
        cairo_move_to(cr, x + 6, y + 15);
        cairo_show_text(cr, cell.name.c_str());
    }
    testing::TempDir dir;
    const char* keep = std::getenv("ORVANE_CURSOR_GALLERY");
    EXPECT_TRUE(writePng(sheet.image(), keep ? std::filesystem::path(keep) : dir / "cursor_gallery.png"));
}

}  // namespace
}  // namespace orvane
