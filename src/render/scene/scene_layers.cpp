#include "render/scene/scene_layers.h"

#include <cmath>
#include <optional>
#include <string>
#include <utility>

#include "media/cairo_handles.h"

#include "render/backdrop/backdrop_drawing.h"
#include "render/backdrop/window_chrome.h"
#include "render/cursor/click_layer.h"
#include "render/cursor/cursor_layer.h"
#include "render/cursor/gesture_layer.h"
#include "render/scene/scene_shape.h"

namespace orvane {

namespace {

using CursorDraw = void (*)(cairo_t*, const SceneRenderSnapshot&, double, const CursorLayerFrame&);

SceneLayerPainter cursorPainter(CursorDraw draw) {
    return [draw](const SceneLayerContext& layer) {
        // Cursor paths and annotations are stamped in composition time.
        draw(layer.context, *layer.snapshot, layer.compositionTime, CursorLayerFrame{layer.content, layer.zoomScale});
    };
}

// The title bar only changes with the window's geometry, yet laying out its title costs a text
// shaping pass per frame. While the window holds still its chrome is drawn once, on the second
// frame, and copied after that, at the same sub-pixel position so the pixels are the same.
class ChromeLayer {
public:
    ChromeLayer() = default;
    // A copied painter (another compositor, maybe another thread) starts with its own empty cache.
    ChromeLayer(const ChromeLayer&) {}
    ChromeLayer& operator=(const ChromeLayer&) {
        state_ = State{};
        return *this;
    }

    void draw(const SceneLayerContext& layer) {
        const SceneRenderSnapshot& snap = *layer.snapshot;
        const Rect bar = *layer.titleBar;
        const Key key{
            &snap, bar, layer.zoomScale, layer.canvas.height, snap.edit.frame.chromeStyle, snap.edit.frame.windowTitle};
        cairo_matrix_t m;
        cairo_get_matrix(layer.context, &m);
        const bool identity = m.xx == 1 && m.yy == 1 && m.xy == 0 && m.yx == 0 && m.x0 == 0 && m.y0 == 0;
        const bool still = identity && state_.key && *state_.key == key;
        if (!still) {
            state_ = State{};
            state_.key = key;
        } else if (!state_.picture) {
            render(layer, bar);
        }
        if (!state_.picture) {
            drawDirectly(layer.context, layer, bar);
            return;
        }
        // The picture was drawn through the window's clip already; clipping it again would darken
        // the antialiased pixels where the bar's edge meets the window's.
        cairo_reset_clip(layer.context);
        cairo_set_source_surface(layer.context, state_.picture.get(), state_.x, state_.y);
        cairo_paint(layer.context);
    }

private:
    struct Key {
        const SceneRenderSnapshot* snapshot = nullptr;
        Rect titleBar;
        double scale = 0;
        double canvasHeight = 0;
        WindowChromeStyle style{};
        std::string title;
        bool operator==(const Key&) const = default;
    };
    struct State {
        std::optional<Key> key;
        cairo::Surface picture;
        int x = 0;
        int y = 0;
    };

    static void drawDirectly(cairo_t* cr, const SceneLayerContext& layer, const Rect& bar) {
        // The chrome draws y-up; the layer context hands out top-left rectangles.
        backdrop::useBottomLeftOrigin(cr, layer.canvas.height);
        drawWindowChrome(cr, layer.snapshot->edit.frame.chromeStyle, layer.snapshot->edit.frame.windowTitle,
                         topLeftRect(bar, layer.canvas.height), layer.zoomScale);
    }

    void render(const SceneLayerContext& layer, const Rect& bar) {
        constexpr int kMargin = 2;  // antialiased edges may reach just past the bar
        const int x0 = static_cast<int>(std::floor(bar.minX())) - kMargin;
        const int y0 = static_cast<int>(std::floor(bar.minY())) - kMargin;
        const int width = static_cast<int>(std::ceil(bar.maxX())) + kMargin - x0;
        const int height = static_cast<int>(std::ceil(bar.maxY())) + kMargin - y0;
        cairo::Surface picture(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
        if (cairo_surface_status(picture.get()) != CAIRO_STATUS_SUCCESS) return;
        cairo::Context cr(cairo_create(picture.get()));
        // The canvas transform the painter would get, shifted so (x0, y0) lands on the first pixel,
        // and the window's clip the compositor gives it.
        cairo_translate(cr.get(), -x0, -y0);
        appendShapePath(cr.get(), roundedShape(layer.window, layer.cornerRadius));
        cairo_clip(cr.get());
        cairo_matrix_t shifted;
        cairo_get_matrix(cr.get(), &shifted);
        backdrop::useBottomLeftOrigin(cr.get(), layer.canvas.height);
        cairo_matrix_t flip;
        cairo_get_matrix(cr.get(), &flip);
        cairo_matrix_multiply(&flip, &flip, &shifted);
        cairo_set_matrix(cr.get(), &flip);
        drawWindowChrome(cr.get(), layer.snapshot->edit.frame.chromeStyle, layer.snapshot->edit.frame.windowTitle,
                         topLeftRect(bar, layer.canvas.height), layer.zoomScale);
        if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS) return;
        cr.reset();
        cairo_surface_flush(picture.get());
        state_.picture = std::move(picture);
        state_.x = x0;
        state_.y = y0;
    }

    State state_;
};

}  // namespace

SceneLayerPainters sceneLayerPainters(std::shared_ptr<CaptionRenderCache> captions) {
    SceneLayerPainters painters;
    painters.windowChrome = [chrome = ChromeLayer()](const SceneLayerContext& layer) mutable { chrome.draw(layer); };
    painters.syntheticCursor = cursorPainter(&drawSyntheticArrow);
    painters.cursor = cursorPainter(&drawCursor);
    painters.clickAnnotations = cursorPainter(&drawClickAnnotations);
    painters.gestureTrails = cursorPainter(&drawGestures);
    if (captions) {
        painters.captions = [captions = std::move(captions)](const SceneLayerContext& layer) {
            if (!layer.snapshot->edit.captions.showCaptions) return;
            const CaptionLayout* caption = captions->layout(layer.compositionTime);
            if (!caption) return;
            backdrop::useBottomLeftOrigin(layer.context, layer.canvas.height);
            drawCaption(layer.context, *caption);
        };
    }
    return painters;
}

}  // namespace orvane
