#include <gtest/gtest.h>

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "media/cairo_handles.h"
#include "render/paint/pixel_box.h"
#include "render/scene/compositor.h"
#include "render/scene/scene_shape.h"
#include "render/scene/window_recording.h"
#include "scene_pixels.h"

namespace orvane {
namespace {

using testing::Pixel;
using testing::pixelAt;

constexpr int W = 200;
constexpr int H = 150;

// A picture whose every pixel differs from its neighbours', so a misplaced or mixed-up pixel shows.
cairo::Surface stripedPicture(int w, int h) {
    cairo::Surface s = testing::solidSurface(w, h, 0.9, 0.2, 0.1);
    cairo::Context cr(cairo_create(s.get()));
    cairo_set_source_rgb(cr.get(), 0.1, 0.7, 0.3);
    for (int x = 0; x < w; x += 6) cairo_rectangle(cr.get(), x, 0, 3, h);
    cairo_fill(cr.get());
    return s;
}

TEST(WindowRecordingWriter, MatchesPaintingThroughTheRoundedClipAndLeavesTheRestAlone) {
    const cairo::Surface source = stripedPicture(430, 310);
    const Rect region{0, 0, 430, 310};
    const Rect destination{20.4, 30.7, 160.3, 99.6};  // fractional edges on every side
    const RoundedShape clip = roundedShape({18.2, 12.5, 165, 120}, 16);
    const PixelBox box{20, 30, 161, 101};
    const PixelBox inner = wholePixelsOf({26, 36, 150, 90}, W, H);
    AreaDownscaler shrinkToBuffer;
    cairo_surface_t* shrunk = shrinkToBuffer.resample(source.get(), region, destination, box);
    ASSERT_NE(shrunk, nullptr);

    // What the compositor drew before: the layers under the window, then the recording through the
    // clip of the shape and the destination.
    cairo::Surface expected = testing::halvesSurface(W, H, {0, 0, 1}, {1, 1, 0});
    {
        cairo::Context cr(cairo_create(expected.get()));
        appendShapePath(cr.get(), clip);
        cairo_clip(cr.get());
        cairo_rectangle(cr.get(), destination.x, destination.y, destination.width, destination.height);
        cairo_clip(cr.get());
        cairo_set_source_surface(cr.get(), shrunk, box.x, box.y);
        cairo_paint(cr.get());
    }

    // In place: the recording first, then the layers under the window everywhere but `inner` (green
    // leftovers must not survive anywhere), then the ring.
    cairo::Surface target = testing::solidSurface(W, H, 0, 1, 0);
    WindowRecordingWriter writer;
    AreaDownscaler downscaler;
    for (int frame = 0; frame < 2; ++frame) {  // the second reuses the ring's coverage
        ASSERT_TRUE(writer.write(target.get(), source.get(), region, destination, box, inner, clip, downscaler));
        {
            cairo::Context cr(cairo_create(target.get()));
            cairo_rectangle(cr.get(), 0, 0, W, H);
            cairo_rectangle(cr.get(), inner.x, inner.y, inner.width, inner.height);
            cairo_set_fill_rule(cr.get(), CAIRO_FILL_RULE_EVEN_ODD);
            cairo_clip(cr.get());
            const cairo::Surface under = testing::halvesSurface(W, H, {0, 0, 1}, {1, 1, 0});
            cairo_set_source_surface(cr.get(), under.get(), 0, 0);
            cairo_paint(cr.get());
        }
        writer.finish(target.get());
        EXPECT_LE(testing::difference(target.get(), expected.get()).first, 1) << frame;
    }
    // The rounded corner shows the layers under the window; inside, the recording's own pixels.
    EXPECT_EQ(pixelAt(target.get(), 20, 129).b, 255);
    const Pixel middle = pixelAt(target.get(), 100, 80);
    const Pixel shrunkMiddle = pixelAt(shrunk, 80, 50);
    EXPECT_EQ(middle.r, shrunkMiddle.r);
    EXPECT_EQ(middle.g, shrunkMiddle.g);
}

TEST(WindowRecordingWriter, RefusesWhatItCannotDrawOpaquelyInPlace) {
    cairo::Surface target = testing::solidSurface(W, H, 0, 1, 0);
    const Rect region{0, 0, 300, 240};
    const Rect destination{10, 10, 100, 80};
    const RoundedShape clip = roundedShape(destination, 8);
    const PixelBox box{10, 10, 100, 80};
    const PixelBox inner{14, 14, 92, 72};
    AreaDownscaler downscaler;
    WindowRecordingWriter writer;
    const auto green = [&](int x, int y) {
        const Pixel p = pixelAt(target.get(), x, y);
        return p.r == 0 && p.g == 255 && p.b == 0;
    };

    // RGB24 has no alpha to copy into the frame; boxes reaching off the frame, or an inner part
    // outside the box, are refused before anything is written.
    const cairo::Surface opaque = stripedPicture(300, 240);
    cairo::Surface rgb(cairo_image_surface_create(CAIRO_FORMAT_RGB24, 300, 240));
    EXPECT_FALSE(writer.write(target.get(), rgb.get(), region, destination, box, inner, clip, downscaler));
    EXPECT_FALSE(writer.write(target.get(), opaque.get(), region, destination, {150, 100, 100, 80}, inner, clip,
                              downscaler));
    EXPECT_FALSE(writer.write(target.get(), opaque.get(), region, destination, box, {5, 14, 92, 72}, clip,
                              downscaler));
    EXPECT_TRUE(green(12, 12));
    EXPECT_TRUE(green(60, 50));

    // See-through: what lies under it has to be drawn first.
    cairo::Surface faded(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 300, 240));
    {
        cairo::Context cr(cairo_create(faded.get()));
        cairo_set_source_rgba(cr.get(), 1, 1, 1, 0.5);
        cairo_paint(cr.get());
    }
    EXPECT_FALSE(writer.write(target.get(), faded.get(), region, destination, box, inner, clip, downscaler));

    // A write refused after one that succeeded leaves nothing for finish to lay over the frame.
    EXPECT_TRUE(writer.write(target.get(), opaque.get(), region, destination, box, inner, clip, downscaler));
    EXPECT_TRUE(green(190, 140));  // outside the box: untouched
    EXPECT_FALSE(writer.write(target.get(), rgb.get(), region, destination, box, inner, clip, downscaler));
    target = testing::solidSurface(W, H, 0, 1, 0);
    writer.finish(target.get());
    EXPECT_TRUE(green(12, 12));
    EXPECT_TRUE(green(10, 50));
}

// The compositor writes an opaque ARGB32 recording in place and paints an RGB24 one through the
// window's clip: the same picture either way, however the window sits (zoomed, off-centre, with and
// without a title bar, and with no window at all on background `none`).
TEST(SceneCompositor, RecordingWrittenInPlaceLooksAsPaintedThroughTheClip) {
    constexpr int FW = 480;
    constexpr int FH = 270;
    const cairo::Surface argb = stripedPicture(1024, 640);
    cairo::Surface rgb(cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1024, 640));
    {
        cairo::Context cr(cairo_create(rgb.get()));
        cairo_set_source_surface(cr.get(), argb.get(), 0, 0);
        cairo_paint(cr.get());
    }
    const cairo::Surface background = testing::halvesSurface(FW, FH, {0.2, 0.3, 0.8}, {0.8, 0.5, 0.2});
    for (const auto& [style, chrome] : {std::pair{BackgroundStyle::bone, false}, {BackgroundStyle::bone, true},
                                        {BackgroundStyle::none, false}}) {
        SceneRenderSnapshot snapshot;
        snapshot.edit.frame.videoSize = {1024, 640};
        snapshot.edit.frame.inset = 0.07;
        snapshot.edit.frame.cornerRadius = 13.5;
        snapshot.edit.frame.background = style;
        snapshot.edit.frame.showWindowChrome = chrome;
        const auto shared = std::make_shared<SceneRenderSnapshot>(snapshot);
        SceneCompositor inPlace(shared);
        SceneCompositor painted(shared);
        for (const CameraState zoom : {CameraState{1, 0.5, 0.5}, CameraState{1.37, 0.31, 0.62},
                                       CameraState{1.8, 0.77, 0.2}, CameraState{1.37, 0.31, 0.62}}) {
            cairo::Surface a(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, FW, FH));
            cairo::Surface b(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, FW, FH));
            ASSERT_EQ(inPlace.compose(a.get(), {.source = argb.get(), .background = background.get(), .zoom = zoom}),
                      ComposeStatus::ok);
            ASSERT_EQ(painted.compose(b.get(), {.source = rgb.get(), .background = background.get(), .zoom = zoom}),
                      ComposeStatus::ok);
            EXPECT_LE(testing::difference(a.get(), b.get()).first, 1) << "background " << static_cast<int>(style) << ", chrome " << chrome << ", zoom "
                                  << zoom.scale;
        }
    }
}

}  // namespace
}  // namespace orvane
