#include <gtest/gtest.h>

#include <unistd.h>

#include <thread>

#include "base/event_loop.h"
#include "media/video_frame.h"
#include "platform/x11/test_display.h"
#include "platform/x11/x11_screen_capture.h"
#include "recording/recording_library.h"
#include "recording/screen_recorder.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

using namespace std::chrono_literals;
using Phase = ScreenRecorder::Phase;
using testing::TestWindow;

// A display recorded over transparency on a real X server: only the application windows are in
// the movie, each from its own picture, stacked as on screen.
TEST(X11AlphaRecordingTest, OnlyApplicationWindowsAreOpaqueInTheMovie) {
    testing::testDisplayName();
    testing::clearWorkArea();
    testing::setWorkArea(0, 30, 1280, 690);  // a top panel, which alpha mode does not crop away
    testing::movePointer(1270, 710);
    TestWindow red(TestWindow::Look::at(100, 100, 300, 200, 0xCC2020));
    TestWindow blue(TestWindow::Look::at(300, 200, 300, 200, 0x2020CC));  // above the red one
    auto ownLook = TestWindow::Look::at(800, 100, 200, 150, 0x20CC20);
    ownLook.pid = getpid();  // one of this application's own windows: never recorded
    TestWindow own(ownLook);
    std::this_thread::sleep_for(200ms);

    testing::TempDir dir;
    EventLoop loop;
    std::thread loopThread([&] { loop.run(); });
    X11ScreenCapture capture;
    ToastCenter toasts(loop);
    VolumeFreeSpace disk(dir.path());
    ScreenRecorderServices services(loop, toasts, capture, disk);
    // The real probe declines where ProRes cannot keep up at 1080p60; this test is about composing.
    services.alphaProbe = [](int) { return true; };
    std::unique_ptr<RecordingLibrary> library;
    std::unique_ptr<ScreenRecorder> recorder;
    std::optional<RecordingSession> finished;
    Subscription subscription;
    const auto phase = [&] {
        Phase now{};
        loop.runSync([&] { now = recorder->state().phase; });
        return now;
    };

    const auto content = capture.shareableContent();
    ASSERT_FALSE(content.displays.empty());
    const auto& screen = content.displays.front();
    const DisplaySource display{screen.id, "Main Display", int(screen.frame.width), int(screen.frame.height),
                                screen.frame, 30};
    RecordingOptions options;
    options.showSystemCursor = false;
    options.captureCursorTelemetry = false;
    loop.runSync([&] {
        library = std::make_unique<RecordingLibrary>(LibraryLocation::explicitRoot(dir / "Recordings"), loop, toasts);
        recorder = std::make_unique<ScreenRecorder>(services);
        subscription = recorder->observeState([&](const ScreenRecorder::State& state) {
            if (state.session) finished = state.session;
        });
        recorder->start(display, options, *library, 10);
    });
    while (phase() == Phase::starting) std::this_thread::sleep_for(5ms);
    EXPECT_EQ(phase(), Phase::recording);
    std::this_thread::sleep_for(600ms);
    // Moved while recording: drawn where it is now.
    red.moveTo(100, 400);
    std::this_thread::sleep_for(900ms);
    loop.runSync([&] { recorder->stop(); });
    loop.runSync([&] { recorder.reset(); });
    loop.stop();
    loopThread.join();

    ASSERT_TRUE(finished);
    EXPECT_EQ(finished->videoFile.filename(), "screen.mov");
    const auto meta = readRecordingMeta(finished->folder);
    ASSERT_TRUE(meta);
    EXPECT_EQ(meta->recordedWithAlpha, true);
    EXPECT_EQ(meta->displayHeight, 720);
    EXPECT_FALSE(meta->captureSourceCrop);

    const auto frameAt = [&](double seconds) {
        auto image = extractVideoFrame(finished->videoFile, seconds, 1280, 720);
        EXPECT_TRUE(image);
        return image.value_or(RgbaImage{});
    };
    // Premultiplied ARGB32 in memory order B, G, R, A.
    const auto pixel = [](const RgbaImage& image, int x, int y) {
        const auto* p = &image.pixels[std::size_t(y * image.stride + x * 4)];
        return std::array<int, 4>{p[0], p[1], p[2], p[3]};
    };
    const auto first = frameAt(0.1);
    ASSERT_EQ(first.width, 1280);
    const auto redInside = pixel(first, 150, 150);
    EXPECT_EQ(redInside[3], 255);
    EXPECT_GT(redInside[2], 0xB0);
    EXPECT_LT(redInside[0], 0x40);
    const auto overlap = pixel(first, 350, 250);  // the blue window is on top
    EXPECT_EQ(overlap[3], 255);
    EXPECT_GT(overlap[0], 0xB0);
    EXPECT_LT(overlap[2], 0x40);
    for (const auto& [x, y] : std::vector<std::pair<int, int>>{{5, 5}, {50, 10}, {700, 600}, {900, 150}, {1275, 715}}) {
        EXPECT_EQ(pixel(first, x, y)[3], 0) << "at " << x << "," << y;
    }

    const auto last = frameAt(1.4);
    EXPECT_EQ(pixel(last, 150, 150)[3], 0);  // where the red window was
    EXPECT_EQ(pixel(last, 150, 450)[3], 255);
    EXPECT_GT(pixel(last, 150, 450)[2], 0xB0);
}

}  // namespace
}  // namespace orvane
