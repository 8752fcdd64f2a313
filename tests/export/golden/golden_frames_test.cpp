// Whole composed frames compared with pictures recorded earlier, so a change anywhere in the drawing
// (layout, shadow, chrome, cursor, clicks, captions, zoom) that nobody meant shows up as a failed
// test with the new picture and a difference image beside it. Text and antialiasing differ between
// Cairo and Pango releases, so the recorded pictures are kept per pair of versions; on a pair with
// none the test says how to record them.

#include <gtest/gtest.h>
#include <pango/pango.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "export/output_frame.h"
#include "media/cairo_handles.h"
#include "model/camera/camera_samples.h"
#include "model/camera/zoom_camera.h"
#include "model/scene_render_snapshot.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

constexpr int kSourceWidth = 800;
constexpr int kSourceHeight = 500;

// A busy, deterministic stand-in for a recorded screen: a gradient, panels and hard edges.
cairo::Surface recordedScreen() {
    cairo::Surface surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kSourceWidth, kSourceHeight));
    cairo::Context cr(cairo_create(surface.get()));
    cairo::Pattern gradient(cairo_pattern_create_linear(0, 0, kSourceWidth, kSourceHeight));
    cairo_pattern_add_color_stop_rgb(gradient.get(), 0, 0.95, 0.96, 0.98);
    cairo_pattern_add_color_stop_rgb(gradient.get(), 1, 0.80, 0.86, 0.95);
    cairo_set_source(cr.get(), gradient.get());
    cairo_paint(cr.get());
    cairo_set_source_rgb(cr.get(), 0.16, 0.18, 0.22);  // sidebar
    cairo_rectangle(cr.get(), 0, 0, 160, kSourceHeight);
    cairo_fill(cr.get());
    for (int row = 0; row < 8; ++row) {  // list rows
        cairo_set_source_rgb(cr.get(), 0.3 + 0.05 * row, 0.5, 0.8 - 0.06 * row);
        cairo_rectangle(cr.get(), 200, 40 + 52 * row, 520 - 30 * row, 30);
        cairo_fill(cr.get());
    }
    cairo_set_source_rgb(cr.get(), 0.9, 0.25, 0.2);  // a button to click
    cairo_arc(cr.get(), 240, 175, 22, 0, 2 * std::numbers::pi);
    cairo_fill(cr.get());
    return surface;
}

struct Scene {
    std::string name;
    int width;
    int height;
    double time;  // output time of the frame
    SceneRenderSnapshot snapshot;
};

SceneRenderSnapshot baseSnapshot() {
    SceneRenderSnapshot s;
    Clip clip;
    clip.sourceFile = "screen.mp4";
    clip.sourceEnd = 4;
    s.edit.timeline.clips = {clip};
    s.edit.timeline.duration = 4;
    s.edit.timeline.trimEnd = 4;
    s.edit.frame.videoSize = {kSourceWidth, kSourceHeight};
    s.edit.frame.inset = 0.06;
    s.edit.frame.cornerRadius = 14;
    return s;
}

// The pointer resting on the button at (0.3, 0.35) for the whole clip, sampled as an export does.
void pointerOnTheButton(SceneRenderSnapshot& s, const std::vector<ZoomRegion>& zooms) {
    std::vector<CursorTelemetryPoint> track;
    for (std::int64_t ms = 0; ms <= 4000; ms += 100) track.push_back({ms, 0.3, 0.35, ms >= 900 && ms <= 950});
    CameraInputs inputs;
    inputs.zoomRegions = zooms;
    inputs.cursorTrack = track;
    inputs.clips = s.edit.timeline.clips;
    s.edit.timeline.zoomRegions = zooms;
    s.cameraSamples = cameraSamples(inputs, 0, 4);
    s.cursorSamples = cursorSamples(inputs, 0, 4);
}

std::vector<Scene> scenes() {
    std::vector<Scene> all;

    Scene chrome{"window_with_chrome_on_bone", 640, 360, 1.0, baseSnapshot()};
    chrome.snapshot.edit.frame.showWindowChrome = true;
    chrome.snapshot.edit.frame.windowTitle = "Orvane";
    all.push_back(chrome);

    Scene zoom{"zoomed_on_a_click_with_cursor", 640, 360, 1.1, baseSnapshot()};
    zoom.snapshot.edit.frame.background = BackgroundStyle::sonomaPurple;
    ZoomRegion region;
    region.start = 0.2;
    region.end = 3.5;
    region.scale = 2;
    region.focusX = 0.3;
    region.focusY = 0.35;
    region.followCursor = false;
    pointerOnTheButton(zoom.snapshot, {region});
    zoom.snapshot.edit.cursor.drawsSyntheticCursor = true;
    ClickAnnotation click;
    click.time = 0.9;
    click.cx = 0.3;
    click.cy = 0.35;
    zoom.snapshot.edit.cursor.annotations = {click};
    all.push_back(zoom);

    Scene captions{"captions_over_obsidian", 640, 360, 2.2, baseSnapshot()};
    captions.snapshot.edit.frame.background = BackgroundStyle::obsidian;
    CaptionSegment segment;
    segment.start = 1.8;
    segment.end = 3.0;
    segment.text = "Captions follow the voice";
    segment.words = {{1.8, 2.1, "Captions"}, {2.1, 2.4, "follow"}, {2.4, 2.6, "the"}, {2.6, 3.0, "voice"}};
    captions.snapshot.edit.captions.captions = {segment};
    all.push_back(captions);

    Scene portrait{"portrait_export_of_a_wide_recording", 360, 640, 0.5, baseSnapshot()};
    portrait.snapshot.edit.frame.exportAspect = ExportAspectRatio::vertical;
    portrait.snapshot.edit.frame.background = BackgroundStyle::sequoiaTeal;
    portrait.snapshot.edit.frame.cornerRadius = 24;
    all.push_back(portrait);
    return all;
}

std::string versionKey() { return std::string("cairo-") + cairo_version_string() + "-pango-" + pango_version_string(); }

struct Comparison {
    int largest = 0;      // largest channel difference anywhere
    long beyond = 0;      // pixels differing by more than the tolerance
    cairo::Surface diff;  // red where beyond, faded picture elsewhere
};

constexpr int kChannelTolerance = 3;  // rounding in blurs and gradients moves a level or two

Comparison compare(cairo_surface_t* actual, cairo_surface_t* expected) {
    const int w = cairo_image_surface_get_width(actual);
    const int h = cairo_image_surface_get_height(actual);
    Comparison result{0, 0, cairo::Surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h))};
    cairo_surface_flush(actual);
    cairo_surface_flush(expected);
    const auto* a = cairo_image_surface_get_data(actual);
    const auto* e = cairo_image_surface_get_data(expected);
    auto* d = cairo_image_surface_get_data(result.diff.get());
    const int sa = cairo_image_surface_get_stride(actual);
    const int se = cairo_image_surface_get_stride(expected);
    const int sd = cairo_image_surface_get_stride(result.diff.get());
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            std::uint32_t pa, pe;
            std::memcpy(&pa, a + y * sa + 4 * x, 4);
            std::memcpy(&pe, e + y * se + 4 * x, 4);
            int worst = 0;
            for (int shift = 0; shift < 32; shift += 8) {
                worst = std::max(
                    worst, std::abs(static_cast<int>((pa >> shift) & 255) - static_cast<int>((pe >> shift) & 255)));
            }
            result.largest = std::max(result.largest, worst);
            const std::uint8_t grey = static_cast<std::uint8_t>(((pe >> 8) & 255) / 4 + 160);
            std::uint32_t out = 0xff000000u | (grey << 16) | (grey << 8) | grey;
            if (worst > kChannelTolerance) {
                ++result.beyond;
                out = 0xffff0000u;
            }
            std::memcpy(d + y * sd + 4 * x, &out, 4);
        }
    }
    cairo_surface_mark_dirty(result.diff.get());
    return result;
}

TEST(GoldenFrames, ComposedFramesMatchTheRecordedPictures) {
    const fs::path goldenDir = fs::path(ORVANE_GOLDEN_DIR) / versionKey();
    const bool recording = std::getenv("ORVANE_UPDATE_GOLDEN") != nullptr;
    if (!recording && !fs::is_directory(goldenDir)) {
        GTEST_SKIP() << "no recorded frames for " << versionKey() << " in " << ORVANE_GOLDEN_DIR
                     << "; record them with ORVANE_UPDATE_GOLDEN=1 and look at them before committing";
    }
    const fs::path failureDir = fs::path(ORVANE_GOLDEN_FAILURE_DIR);
    const cairo::Surface source = recordedScreen();

    for (auto& scene : scenes()) {
        SCOPED_TRACE(scene.name);
        auto snapshot = std::make_shared<const SceneRenderSnapshot>(scene.snapshot);
        OutputFrameRenderer renderer(snapshot, scene.width, scene.height);
        cairo::Surface frame(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, scene.width, scene.height));
        ASSERT_EQ(renderer.render(frame.get(), scene.time, source.get(), renderer.compositionTime(scene.time), {}),
                  ComposeStatus::ok);

        const fs::path golden = goldenDir / (scene.name + ".png");
        if (recording) {
            fs::create_directories(goldenDir);
            ASSERT_EQ(cairo_surface_write_to_png(frame.get(), golden.c_str()), CAIRO_STATUS_SUCCESS);
            continue;
        }
        cairo::Surface expected(cairo_image_surface_create_from_png(golden.c_str()));
        ASSERT_EQ(cairo_surface_status(expected.get()), CAIRO_STATUS_SUCCESS) << "cannot read " << golden;
        ASSERT_EQ(cairo_image_surface_get_width(expected.get()), scene.width);
        ASSERT_EQ(cairo_image_surface_get_height(expected.get()), scene.height);

        const Comparison result = compare(frame.get(), expected.get());
        // A few stray antialiasing pixels are noise; a moved edge or a missing layer is thousands.
        const long allowed = scene.width * scene.height / 2000;
        if (result.beyond > allowed) {
            fs::create_directories(failureDir);
            cairo_surface_write_to_png(frame.get(), (failureDir / (scene.name + ".actual.png")).c_str());
            cairo_surface_write_to_png(result.diff.get(), (failureDir / (scene.name + ".diff.png")).c_str());
        }
        EXPECT_LE(result.beyond, allowed) << "largest channel difference " << result.largest
                                          << "; the new frame and a difference image are in " << failureDir;
    }
}

}  // namespace
}  // namespace orvane
