#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "render/cursor/cursor_canvas.h"
#include "render/cursor_layer.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

// Every cursor style and every click animation at a quarter of its life (t = 1.3 for a click at
// 1), one per cell over a mid-tone backdrop so white and black parts both show. Set
// ORVANE_CURSOR_GALLERY to a path to keep the sheet for a look.
TEST(CursorGallery, EveryStyleAndAnimationDrawsIntoItsCell) {
    constexpr int kCell = 160;
    struct Cell {
        std::string name;
        CursorVisualStyle style = CursorVisualStyle::pointer;
        std::string symbol = "sparkle";
        std::optional<CursorClickAnimationStyle> click = {};
        AnnotationColor color = AnnotationColor::accent;
    };
    using Animation = CursorClickAnimationStyle;
    const std::vector<Cell> cells{
        {"pointer", CursorVisualStyle::pointer},
        {"largePointer", CursorVisualStyle::largePointer},
        {"ring", CursorVisualStyle::ring},
        {"touch (nothing)", CursorVisualStyle::touch},
        {"icon sparkle", CursorVisualStyle::icon},
        {"icon hand.tap.fill", CursorVisualStyle::icon, "hand.tap.fill"},
        {"icon scope", CursorVisualStyle::icon, "scope"},
        {"ripple", CursorVisualStyle::touch, "", Animation::ripple},
        {"pulse", CursorVisualStyle::touch, "", Animation::pulse, AnnotationColor::red},
        {"brush", CursorVisualStyle::touch, "", Animation::brush, AnnotationColor::green},
        {"bounce", CursorVisualStyle::touch, "", Animation::bounce, AnnotationColor::yellow},
        {"none (nothing)", CursorVisualStyle::touch, "", Animation::none},
    };
    const std::vector<CursorSample> samples{{0, 0.4, 0.4}};
    std::vector<ClickAnnotation> clicks(1);
    clicks[0].time = 1;
    clicks[0].label = "Save";
    clicks[0].cx = 0.3;

    constexpr int kColumns = 6;
    testing::CursorCanvas sheet(kColumns * kCell, 2 * (kCell + 20));
    cairo_t* cr = sheet.context();
    cairo_set_source_rgb(cr, 0.5, 0.55, 0.68);
    cairo_paint(cr);
    for (std::size_t index = 0; index < cells.size(); ++index) {
        const Cell& cell = cells[index];
        SCOPED_TRACE(cell.name);
        CursorEffectsInputs inputs;
        inputs.cursorSamples = samples;
        inputs.cursorVisualStyle = cell.style;
        inputs.cursorIconSymbol = cell.symbol;
        if (cell.click) {
            inputs.cursorClickAnimationStyle = *cell.click;
            clicks[0].color = cell.color;
            inputs.annotations = clicks;
        }
        testing::CursorCanvas picture(kCell, kCell);
        drawCursorEffects(picture.context(), inputs, 1.3, CursorLayerFrame{Rect{0, 0, kCell, kCell}, 1.2});
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
        cairo_move_to(cr, x + 6, y + 15);
        cairo_show_text(cr, cell.name.c_str());
    }
    testing::TempDir dir;
    const char* keep = std::getenv("ORVANE_CURSOR_GALLERY");
    EXPECT_TRUE(writePng(sheet.image(), keep ? std::filesystem::path(keep) : dir / "cursor_gallery.png"));
}

}  // namespace
}  // namespace orvane
