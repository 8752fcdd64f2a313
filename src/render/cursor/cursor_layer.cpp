#include "render/cursor/cursor_layer.h"

#include <algorithm>
#include <cmath>

#include "render/cursor/click_layer.h"
#include "render/cursor/cursor_arrow.h"
#include "render/cursor/cursor_point.h"
#include "render/cursor/cursor_shadow.h"
#include "render/cursor/cursor_style_at.h"
#include "render/cursor/gesture_layer.h"
#include "render/cursor/symbol_glyphs.h"

namespace orvane {

namespace {

constexpr double kFrameStep = 1.0 / 60.0;
constexpr int kTrailGhosts = 4;

void setSource(cairo_t* cr, const RgbaColor& c) { cairo_set_source_rgba(cr, c.red, c.green, c.blue, c.alpha); }

Rect squareAround(CanvasPoint p, double half) { return Rect{p.x - half, p.y - half, 2 * half, 2 * half}; }

// A wide faint halo around a thin ring of diameter d, both in the ring colour.
void drawRings(cairo_t* cr, CanvasPoint p, double d, const RgbaColor& color, double alpha) {
    const double haloLine = std::max(6.0, 0.32 * d);
    drawLayerWithShadow(cr, squareAround(p, 1.35 * d / 2 + haloLine), std::nullopt, alpha, [&](cairo_t* layer) {
        cairo_new_sub_path(layer);
        cairo_arc(layer, p.x, p.y, 1.35 * d / 2, 0, 2 * M_PI);
        setSource(layer, color.withAlpha(0.28));
        cairo_set_line_width(layer, haloLine);
        cairo_stroke(layer);
        cairo_new_sub_path(layer);
        cairo_arc(layer, p.x, p.y, d / 2, 0, 2 * M_PI);
        setSource(layer, color);
        cairo_set_line_width(layer, 2);
        cairo_stroke(layer);
    });
}

double bubbleDiameter(double scale) { return std::max(40.0, 48.0 * scale); }

// The icon style: a tinted bubble with a white symbol; an unknown symbol leaves the bare bubble.
void drawBubble(cairo_t* cr, CanvasPoint p, double scale, const EffectiveCursorStyle& style, double alpha) {
    const double diameter = bubbleDiameter(scale);
    const double line = std::max(1.0, 0.035 * diameter);
    const auto glyph = symbolGlyphNamed(normalizedCursorIconSymbol(style.iconSymbol));
    const ContextShadow shadow{RgbaColor{0, 0, 0, 0.24}, 0, 2, 5};
    drawLayerWithShadow(cr, squareAround(p, diameter / 2 + line), shadow, alpha, [&](cairo_t* layer) {
        cairo_new_sub_path(layer);
        cairo_arc(layer, p.x, p.y, diameter / 2, 0, 2 * M_PI);
        setSource(layer, style.ringColor.withAlpha(0.92));
        cairo_fill_preserve(layer);
        cairo_set_source_rgba(layer, 1, 1, 1, 0.58);
        cairo_set_line_width(layer, line);
        cairo_stroke(layer);
        if (glyph) drawSymbolGlyph(layer, *glyph, p.x, p.y, std::max(12.0, 0.54 * diameter), RgbaColor{1, 1, 1, 1});
    });
}

void drawPressGlyph(cairo_t* cr, CanvasPoint p, double scale, SymbolGlyph glyph) {
    const double size = std::max(22.0, 30.0 * scale);
    const ContextShadow shadow{RgbaColor{0, 0, 0, 0.45}, 0, 2, 4};
    drawLayerWithShadow(cr, squareAround(p, 0.6 * size), shadow, 1, [&](cairo_t* layer) {
        drawSymbolGlyph(layer, glyph, p.x, p.y, size, RgbaColor{1, 1, 1, 1});
    });
}

void drawMotionTrail(cairo_t* cr, const SceneRenderSnapshot& inputs, double t, const CursorLayerFrame& frame,
                     const EffectiveCursorStyle& style) {
    const double amount = std::min(recentCursorTravel(inputs, t) / 0.08, 1.0);
    if (!(amount > 0)) return;
    // Oldest ghost first so nearer ghosts sit on top.
    for (int i = kTrailGhosts; i >= 1; --i) {
        const auto point = cursorCanvasPoint(inputs, t - i * kFrameStep, frame);
        if (!point) continue;
        const double alpha = (1.0 - i / 5.0) * amount * 0.35;
        if (style.visualStyle == CursorVisualStyle::icon) {
            drawBubble(cr, *point, frame.scale, style, alpha);
        } else {
            drawRings(cr, *point, (0.88 - 0.06 * i) * style.ringSize * frame.scale, style.ringColor, alpha);
        }
    }
}

}  // namespace

double recentCursorTravel(const SceneRenderSnapshot& inputs, double t) {
    double travel = 0;
    auto previous = cursorSampleAt(inputs.cursorSamples, t);
    if (!previous) return 0;
    for (int i = 1; i <= kTrailGhosts; ++i) {
        const auto point = cursorSampleAt(inputs.cursorSamples, t - i * kFrameStep);
        travel += std::hypot(point->x - previous->x, point->y - previous->y);
        previous = point;
    }
    return travel;
}

void drawSyntheticArrow(cairo_t* cr, const SceneRenderSnapshot& inputs, double t, const CursorLayerFrame& frame) {
    if (!inputs.edit.cursor.drawsSyntheticCursor) return;
    if (effectiveCursorStyle(inputs, t).visualStyle != CursorVisualStyle::ring) return;
    const auto point = cursorCanvasPoint(inputs, t, frame);
    if (!point) return;
    drawArrow(cr, point->x, point->y, arrowSize(frame.scale));
}

void drawCursor(cairo_t* cr, const SceneRenderSnapshot& inputs, double t, const CursorLayerFrame& frame) {
    if (!inputs.edit.cursor.showCursorRing) return;
    const auto point = cursorCanvasPoint(inputs, t, frame);
    if (!point) return;
    const EffectiveCursorStyle style = effectiveCursorStyle(inputs, t);
    const bool trails = style.visualStyle == CursorVisualStyle::ring || style.visualStyle == CursorVisualStyle::icon;
    if (inputs.edit.cursor.cursorMotionBlur && trails) drawMotionTrail(cr, inputs, t, frame, style);

    switch (style.visualStyle) {
        case CursorVisualStyle::pointer:
        case CursorVisualStyle::largePointer:
            if (const auto glyph = pressGlyphAt(inputs.edit.cursor.cursorInteractions, t)) {
                drawPressGlyph(cr, *point, frame.scale, *glyph);
            } else {
                drawArrow(cr, point->x, point->y, arrowSize(frame.scale));
            }
            break;
        case CursorVisualStyle::ring: drawRings(cr, *point, style.ringSize * frame.scale, style.ringColor, 1); break;
        case CursorVisualStyle::icon: drawBubble(cr, *point, frame.scale, style, 1); break;
        case CursorVisualStyle::touch: break;  // touches are shown by the gesture layer
    }
}

void drawCursorEffects(cairo_t* cr, const SceneRenderSnapshot& inputs, double t, const CursorLayerFrame& frame) {
    drawSyntheticArrow(cr, inputs, t, frame);
    drawCursor(cr, inputs, t, frame);
    drawClickAnnotations(cr, inputs, t, frame);
    drawGestures(cr, inputs, t, frame);
}

}  // namespace orvane
