#include "render/scene_layers.h"

#include <utility>

#include "render/backdrop_drawing.h"
#include "render/click_layer.h"
#include "render/cursor_layer.h"
#include "render/gesture_layer.h"
#include "render/window_chrome.h"

namespace orvane {

CursorEffectsInputs cursorEffectsInputs(const SceneRenderSnapshot& s) {
    CursorEffectsInputs inputs;
    inputs.cursorSamples = s.cursorSamples;
    inputs.showCursorRing = s.showCursorRing;
    inputs.drawsSyntheticCursor = s.drawsSyntheticCursor;
    inputs.cursorRingColor = s.cursorRingColor;
    inputs.cursorRingSize = s.cursorRingSize;
    inputs.cursorVisualStyle = s.cursorVisualStyle;
    inputs.cursorClickAnimationStyle = s.cursorClickAnimationStyle;
    inputs.cursorIconSymbol = s.cursorIconSymbol;
    inputs.cursorInteractions = s.cursorInteractions;
    inputs.annotations = s.annotations;
    inputs.showAnnotations = s.showAnnotations;
    inputs.cropRect = s.cropRect;
    inputs.cursorStyleOverrides = s.cursorStyleOverrides;
    inputs.cursorMotionBlur = s.cursorMotionBlur;
    return inputs;
}

namespace {

using CursorDraw = void (*)(cairo_t*, const CursorEffectsInputs&, double, const CursorLayerFrame&);

SceneLayerPainter cursorPainter(CursorDraw draw) {
    return [draw](const SceneLayerContext& layer) {
        // Cursor paths and annotations are stamped in composition time.
        draw(layer.context, cursorEffectsInputs(*layer.snapshot), layer.compositionTime,
             CursorLayerFrame{layer.content, layer.zoomScale});
    };
}

}  // namespace

SceneLayerPainters sceneLayerPainters(std::shared_ptr<CaptionRenderCache> captions) {
    SceneLayerPainters painters;
    painters.windowChrome = [](const SceneLayerContext& layer) {
        // The chrome draws y-up; the layer context hands out top-left rectangles.
        backdrop::useBottomLeftOrigin(layer.context, layer.canvas.height);
        drawWindowChrome(layer.context, layer.snapshot->chromeStyle, layer.snapshot->windowTitle,
                         topLeftRect(*layer.titleBar, layer.canvas.height), layer.zoomScale);
    };
    painters.syntheticCursor = cursorPainter(&drawSyntheticArrow);
    painters.cursor = cursorPainter(&drawCursor);
    painters.clickAnnotations = cursorPainter(&drawClickAnnotations);
    painters.gestureTrails = cursorPainter(&drawGestures);
    if (captions) {
        painters.captions = [captions = std::move(captions)](const SceneLayerContext& layer) {
            if (!layer.snapshot->showCaptions) return;
            const CaptionLayout* caption = captions->layout(layer.compositionTime);
            if (!caption) return;
            backdrop::useBottomLeftOrigin(layer.context, layer.canvas.height);
            drawCaption(layer.context, *caption);
        };
    }
    return painters;
}

}  // namespace orvane
