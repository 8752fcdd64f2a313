// One finished 1920 x 1080 output frame from a 3024 x 1898 recording frame: styled background
// (prerendered once, as a render job does), window shadow, rounded corners, title bar, ring cursor,
// a click animation in progress and a caption. Goal: a median under 5 ms on one core.
#include <benchmark/benchmark.h>

#include <cairo.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <numbers>
#include <string>

#include "media/cairo_handles.h"
#include "render/backdrop/background_renderer.h"
#include "render/backdrop/caption_render_cache.h"
#include "render/scene/compositor.h"
#include "render/scene/frame_layout.h"
#include "render/scene/scene_layers.h"
#include "render/scene/scene_shape.h"
#include "render/scene/shadow.h"
#include "render/scene/window_recording.h"

namespace {

using namespace orvane;

constexpr int kSourceWidth = 3024;
constexpr int kSourceHeight = 1898;
constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr double kTime = 1.0;

// A desktop-like picture: a gradient, panels, and rows of short bars standing in for text, so
// scaling works on real edges rather than a flat colour.
cairo::Surface syntheticRecording() {
    cairo::Surface surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kSourceWidth, kSourceHeight));
    cairo::Context cr(cairo_create(surface.get()));
    cairo_pattern_t* gradient = cairo_pattern_create_linear(0, 0, kSourceWidth, kSourceHeight);
    cairo_pattern_add_color_stop_rgb(gradient, 0, 0.95, 0.96, 0.98);
    cairo_pattern_add_color_stop_rgb(gradient, 1, 0.80, 0.85, 0.92);
    cairo_set_source(cr.get(), gradient);
    cairo_paint(cr.get());
    cairo_pattern_destroy(gradient);
    // A sidebar and a toolbar.
    cairo_set_source_rgb(cr.get(), 0.22, 0.24, 0.3);
    cairo_rectangle(cr.get(), 0, 0, 520, kSourceHeight);
    cairo_fill(cr.get());
    cairo_set_source_rgb(cr.get(), 0.88, 0.9, 0.93);
    cairo_rectangle(cr.get(), 520, 0, kSourceWidth - 520, 110);
    cairo_fill(cr.get());
    // Text lines of varying length.
    for (int row = 0; row < 60; ++row) {
        const double y = 160 + row * 28.0;
        const double length = 600 + 1500 * (0.5 + 0.5 * std::sin(row * 1.7));
        for (double x = 600; x < 600 + length; x += 90 + 40 * std::cos(x * 0.01 + row)) {
            cairo_rectangle(cr.get(), x, y, 70 + 20 * std::sin(x + row), 14);
        }
    }
    cairo_set_source_rgb(cr.get(), 0.15, 0.15, 0.18);
    cairo_fill(cr.get());
    // Sidebar entries and a coloured button.
    cairo_set_source_rgb(cr.get(), 0.75, 0.78, 0.85);
    for (int row = 0; row < 30; ++row) cairo_rectangle(cr.get(), 40, 160 + row * 52.0, 300 + (row % 5) * 25, 20);
    cairo_fill(cr.get());
    cairo_set_source_rgb(cr.get(), 0.1, 0.45, 0.95);
    cairo_arc(cr.get(), 2600, 1500, 120, 0, 2 * std::numbers::pi);
    cairo_fill(cr.get());
    cairo_surface_flush(surface.get());
    return surface;
}

SceneRenderSnapshot benchSnapshot() {
    SceneRenderSnapshot snapshot;
    snapshot.edit.frame.videoSize = {kSourceWidth, kSourceHeight};
    snapshot.edit.timeline.trimEnd = 10;
    snapshot.edit.frame.background = BackgroundStyle::venturaBlue;
    snapshot.edit.frame.inset = 0.05;
    snapshot.edit.frame.cornerRadius = 14;
    snapshot.edit.frame.showWindowChrome = true;
    snapshot.edit.frame.chromeStyle = WindowChromeStyle::dark;
    snapshot.edit.frame.windowTitle = "Quarterly report \u2014 Editor";
    snapshot.edit.cursor.cursorVisualStyle = CursorVisualStyle::ring;
    snapshot.edit.cursor.cursorClickAnimationStyle = CursorClickAnimationStyle::ripple;
    for (int i = 0; i <= 120; ++i) {
        const double t = i / 60.0;
        snapshot.cursorSamples.push_back({t, 0.4 + 0.1 * t, 0.5 + 0.05 * std::sin(t * 3)});
    }
    ClickAnnotation click;
    click.time = kTime - 0.3;  // a quarter into its life
    click.cx = 0.45;
    click.cy = 0.52;
    click.label = "Export";
    snapshot.edit.cursor.annotations.push_back(click);
    snapshot.edit.captions.captions.push_back(
        {.start = 0, .end = 3, .text = "Open the report and press Export", .words = {}});
    return snapshot;
}

// The window and content of the frame above, top-left coordinates.
FrameLayout benchLayout() {
    FrameLayout layout = frameLayout(benchSnapshot(), {0, 0, kWidth, kHeight}, {});
    layout.window = topLeftRect(layout.window, kHeight);
    layout.content = topLeftRect(layout.content, kHeight);
    return layout;
}

void BM_ComposeStyledFrame(benchmark::State& state) {
    const auto snapshot = std::make_shared<const SceneRenderSnapshot>(benchSnapshot());
    const cairo::Surface source = syntheticRecording();
    const cairo::Surface background =
        renderBackground(snapshot->edit.frame.background, snapshot->edit.frame.customBackgroundPath, kWidth, kHeight);
    cairo::Surface target(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kWidth, kHeight));
    auto captions = std::make_shared<CaptionRenderCache>(snapshot->edit.captions.captions, Rect{0, 0, kWidth, kHeight});
    SceneCompositor compositor(snapshot, sceneLayerPainters(captions));
    const SceneFrameInput input{.compositionTime = kTime, .sourceTime = kTime, .source = source.get(),
                                .background = background.get()};
    if (!background || compositor.compose(target.get(), input) != ComposeStatus::ok) {
        state.SkipWithError("the frame could not be composed");
        return;
    }
    // ORVANE_COMPOSE_PNG=prefix keeps the first frame and a still one (from the cached layers), to
    // look at and to compare before and after a change.
    const char* keep = std::getenv("ORVANE_COMPOSE_PNG");
    if (keep) cairo_surface_write_to_png(target.get(), (std::string(keep) + "-first.png").c_str());
    for (auto _ : state) {
        benchmark::DoNotOptimize(compositor.compose(target.get(), input));
        benchmark::ClobberMemory();
    }
    if (keep) cairo_surface_write_to_png(target.get(), (std::string(keep) + "-still.png").c_str());
}
BENCHMARK(BM_ComposeStyledFrame)->Unit(benchmark::kMillisecond);

// The same frame's parts, to tell where its time goes: the recording shrunk into a buffer and
// painted by Cairo (as with background `none`), the same written in place (as in a window),
// everything except the recording, and the window's cached shadow alone.
void BM_DrawRecordingScaled(benchmark::State& state) {
    const cairo::Surface source = syntheticRecording();
    cairo::Surface target(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kWidth, kHeight));
    cairo::Context cr(cairo_create(target.get()));
    const Rect content = benchLayout().content;
    AreaDownscaler downscaler;  // kept across frames, as the compositor keeps its own
    for (auto _ : state) {
        drawRecording(cr.get(), source.get(), std::nullopt, content, &downscaler);
        cairo_surface_flush(target.get());
    }
}
BENCHMARK(BM_DrawRecordingScaled)->Unit(benchmark::kMillisecond);

// The recording as the compositor now draws it in a window: shrunk straight into the frame, with
// the ring of rounded corners and fractional edges kept aside and laid back by its coverage.
void BM_RecordingWrittenInPlace(benchmark::State& state) {
    const cairo::Surface source = syntheticRecording();
    cairo::Surface target(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kWidth, kHeight));
    const FrameLayout layout = benchLayout();
    const Rect& content = layout.content;
    const PixelBox box{static_cast<int>(std::floor(content.minX())), static_cast<int>(std::floor(content.minY())),
                       static_cast<int>(std::ceil(content.maxX()) - std::floor(content.minX())),
                       static_cast<int>(std::ceil(content.maxY()) - std::floor(content.minY()))};
    // Clear of the rounded corners, as the compositor's covered part of the window is.
    const double inset = layout.cornerRadius / 2 + 1;
    const PixelBox inner = wholePixelsOf(
        {content.x + inset, content.y + inset, content.width - 2 * inset, content.height - 2 * inset}, kWidth, kHeight);
    const RoundedShape shape = roundedShape(layout.window, layout.cornerRadius);
    AreaDownscaler downscaler;
    WindowRecordingWriter writer;
    for (auto _ : state) {
        if (!writer.write(target.get(), source.get(), {0, 0, kSourceWidth, kSourceHeight}, content, box, inner, shape,
                          downscaler)) {
            state.SkipWithError("the recording could not be written in place");
            return;
        }
        writer.finish(target.get());
    }
}
BENCHMARK(BM_RecordingWrittenInPlace)->Unit(benchmark::kMillisecond);

void BM_ComposeWithoutRecording(benchmark::State& state) {
    const auto snapshot = std::make_shared<const SceneRenderSnapshot>(benchSnapshot());
    const cairo::Surface background =
        renderBackground(snapshot->edit.frame.background, snapshot->edit.frame.customBackgroundPath, kWidth, kHeight);
    cairo::Surface target(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kWidth, kHeight));
    auto captions = std::make_shared<CaptionRenderCache>(snapshot->edit.captions.captions, Rect{0, 0, kWidth, kHeight});
    SceneCompositor compositor(snapshot, sceneLayerPainters(captions));
    const SceneFrameInput input{.compositionTime = kTime, .sourceTime = kTime, .background = background.get()};
    for (auto _ : state) benchmark::DoNotOptimize(compositor.compose(target.get(), input));
}
BENCHMARK(BM_ComposeWithoutRecording)->Unit(benchmark::kMillisecond);

void BM_WindowShadowCached(benchmark::State& state) {
    cairo::Surface target(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kWidth, kHeight));
    cairo::Context cr(cairo_create(target.get()));
    ShadowCache cache;
    ShadowSpec params;
    const FrameLayout layout = benchLayout();
    params.shape = roundedShape(layout.window, layout.cornerRadius);
    params.offsetY = -16;
    params.blurRadius = 30;
    params.canvasWidth = kWidth;
    params.canvasHeight = kHeight;
    for (auto _ : state) {
        cache.paint(cr.get(), params, {0, 0, 0, 0.22});
        cairo_surface_flush(target.get());
    }
}
BENCHMARK(BM_WindowShadowCached)->Unit(benchmark::kMillisecond);

// Cairo's own filters for the same downscale (FAST, GOOD, BILINEAR), to compare drawRecording's area
// shrink with: GOOD averages areas as it does, BILINEAR skips pixels beyond 2x, FAST is nearest.
void BM_ScaleFilter(benchmark::State& state) {
    const cairo::Surface source = syntheticRecording();
    cairo::Surface target(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kWidth, kHeight));
    cairo::Context cr(cairo_create(target.get()));
    const Rect content = benchLayout().content;
    cairo_scale(cr.get(), content.width / kSourceWidth, content.height / kSourceHeight);
    cairo_set_source_surface(cr.get(), source.get(), 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr.get()), static_cast<cairo_filter_t>(state.range(0)));
    for (auto _ : state) {
        cairo_paint(cr.get());
        cairo_surface_flush(target.get());
    }
}
BENCHMARK(BM_ScaleFilter)
    ->Arg(CAIRO_FILTER_FAST)
    ->Arg(CAIRO_FILTER_GOOD)
    ->Arg(CAIRO_FILTER_BILINEAR)
    ->Unit(benchmark::kMillisecond);

}  // namespace
