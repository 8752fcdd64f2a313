#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "render/cursor/cursor_canvas.h"
#include "render/cursor_layer.h"

namespace orvane {
namespace {

// Every cursor style and every click animation at a quarter of its life (t = 1.3 for a click at 1).
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

    for (const Cell& cell : cells) {
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
    }
}

}  // namespace
}  // namespace orvane
