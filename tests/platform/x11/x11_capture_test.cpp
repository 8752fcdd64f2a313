#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/x11/test_display.h"
#include "platform/x11/x11_pointer_source.h"
#include "platform/x11/x11_screen_capture.h"

namespace orvane {
namespace {

using testing::TestWindow;

class X11CaptureTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing::testDisplayName();
        testing::clearWorkArea();
    }

    const CaptureWindow* find(const ShareableContent& content, std::uint64_t id) {
        const auto it = std::find_if(content.windows.begin(), content.windows.end(),
                                     [&](const CaptureWindow& w) { return w.id == id; });
        return it == content.windows.end() ? nullptr : &*it;
    }

    // The BGRA pixel at (x, y) of a frame, as 0xRRGGBB.
    static std::uint32_t rgbAt(const ScreenFrame& frame, int x, int y) {
        const auto* p = frame.bgra.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(frame.stride) +
                        static_cast<std::size_t>(x) * 4;
        return (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[1]) << 8) | p[0];
    }
};

TEST_F(X11CaptureTest, CatalogueListsTheScreenAndClientWindowsWithTheirIdentity) {
    auto browserSpec = TestWindow::Look::at(100, 120, 400, 300, 0x336699);
    browserSpec.title = "Docs \xE2\x80\x94 Firefox";
    browserSpec.wmInstance = "Navigator";
    browserSpec.wmClass = "firefox";
    browserSpec.pid = 777;
    browserSpec.titleBarHeight = 24;
    TestWindow browser(browserSpec);
    auto ownSpec = TestWindow::Look::at(600, 50, 200, 100, 0x00FF00);
    ownSpec.pid = static_cast<long>(getpid());
    TestWindow own(ownSpec);
    testing::setWorkArea(0, 32, 1280, 688);

    X11ScreenCapture capture;
    const auto content = capture.shareableContent();
    ASSERT_EQ(content.displays.size(), 1u);
    EXPECT_EQ(content.displays[0].frame, (Rect{0, 0, 1280, 720}));
    EXPECT_EQ(content.displays[0].topPanelHeight, 32);

    const auto* b = find(content, browser.id());
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->title, "Docs \xE2\x80\x94 Firefox");
    EXPECT_EQ(b->appName, "firefox");
    EXPECT_EQ(b->wmInstance, "Navigator");
    EXPECT_EQ(b->processID, 777);
    EXPECT_EQ(b->frame, (Rect{100, 120, 400, 300}));
    EXPECT_EQ(b->titleBarHeight, 24);
    EXPECT_FALSE(b->ownedByThisProcess);
    const auto* o = find(content, own.id());
    ASSERT_NE(o, nullptr);
    EXPECT_TRUE(o->ownedByThisProcess);
    EXPECT_EQ(o->title, "");

    // A closed window disappears; an unmapped client list entry that no longer exists is skipped.
    own.destroy();
    const auto after = capture.shareableContent();
    EXPECT_EQ(find(after, own.id()), nullptr);
    EXPECT_NE(find(after, browser.id()), nullptr);
}

TEST_F(X11CaptureTest, RegionAndWindowGrabsReadTheScreenAndFollowTheWindow) {
    TestWindow background(TestWindow::Look::at(0, 0, 1280, 720, 0x000000));
    TestWindow red(TestWindow::Look::at(200, 100, 160, 120, 0xFF0000));
    X11ScreenCapture capture;

    auto region = capture.grabRegion(Rect{180, 90, 200, 140}, false, {});
    ASSERT_EQ(region->width(), 200);
    ScreenFrame frame;
    region->grab(frame);
    ASSERT_EQ(frame.width, 200);
    ASSERT_EQ(frame.height, 140);
    EXPECT_EQ(rgbAt(frame, 100, 70), 0xFF0000u);  // inside the red window
    EXPECT_EQ(rgbAt(frame, 5, 5), 0x000000u);     // left of and above it
    EXPECT_EQ(frame.bgra[3], 0xFF);               // opaque

    auto window = capture.grabWindow(red.id(), Rect{10, 10, 100, 80}, false);
    window->grab(frame);
    EXPECT_EQ(rgbAt(frame, 0, 0), 0xFF0000u);
    EXPECT_EQ(rgbAt(frame, 99, 79), 0xFF0000u);
    red.moveTo(700, 400);
    window->grab(frame);
    EXPECT_EQ(rgbAt(frame, 50, 40), 0xFF0000u);

    // Another window on top: the screen shows it, the window's own picture does not.
    TestWindow cover(TestWindow::Look::at(690, 390, 80, 60, 0x0000FF));
    capture.grabRegion(Rect{700, 400, 100, 80}, false, {})->grab(frame);
    EXPECT_EQ(rgbAt(frame, 20, 20), 0x0000FFu);
    red.fill(0xFF0000);  // the server paints the window's own picture as a client would
    window->grab(frame);
    EXPECT_EQ(rgbAt(frame, 20, 20), 0xFF0000u);

    // With the title bar above the client wanted, the screen is read where the window sits, cover
    // and all.
    auto withTitle = capture.grabWindow(red.id(), Rect{0, -10, 100, 80}, false);
    withTitle->grab(frame);
    EXPECT_EQ(rgbAt(frame, 90, 5), 0x000000u);  // above the window: the background
    EXPECT_EQ(rgbAt(frame, 20, 20), 0x0000FFu);
    EXPECT_EQ(rgbAt(frame, 90, 70), 0xFF0000u);

    red.destroy();
    EXPECT_THROW(window->grab(frame), ScreenCaptureError);
    EXPECT_THROW(capture.grabRegion(Rect{1200, 700, 200, 100}, false, {}), ScreenCaptureError);
    EXPECT_THROW(capture.grabRegion(Rect{0, 0, 0, 10}, false, {}), ScreenCaptureError);
}

TEST_F(X11CaptureTest, RegionGrabsLeaveOutOwnWindowsAndShowWhatTheyCover) {
    // No full-screen window: part of what the own window covers is the root's own background.
    TestWindow below(TestWindow::Look::at(100, 100, 300, 200, 0x336699));
    X11ScreenCapture capture;
    const Rect region{0, 0, 640, 360};
    ScreenFrame expected, frame;
    auto countColour = [](const ScreenFrame& f, std::uint32_t rgb) {
        int found = 0;
        for (int y = 0; y < f.height; ++y) {
            for (int x = 0; x < f.width; ++x) found += rgbAt(f, x, y) == rgb;
        }
        return found;
    };

    TestWindow own(TestWindow::Look::at(300, 150, 200, 150, 0xFF00FF));
    TestWindow above(TestWindow::Look::at(450, 250, 100, 80, 0x00FF00));  // stacked over the own window
    auto leaving = capture.grabRegion(region, false, {own.id()});
    capture.grabRegion(region, false, {})->grab(frame);
    ASSERT_GT(countColour(frame, 0xFF00FF), 0) << "a plain grab shows the own window";

    leaving->grab(frame);
    EXPECT_EQ(countColour(frame, 0xFF00FF), 0);
    EXPECT_EQ(rgbAt(frame, 350, 200), 0x336699u) << "the window it covered shows through";
    EXPECT_EQ(rgbAt(frame, 470, 270), 0x00FF00u) << "a window above it stays";
    EXPECT_EQ(frame.bgra[(200 * 640 + 350) * 4 + 3], 0xFF);

    // The whole picture is the one the screen would show without it, background pattern included.
    own.destroy();
    capture.grabRegion(region, false, {})->grab(expected);
    leaving->grab(frame);  // and a left-out window that closed costs nothing
    ASSERT_EQ(frame.bgra.size(), expected.bgra.size());
    EXPECT_TRUE(frame.bgra == expected.bgra);

    TestWindow ownAgain(TestWindow::Look::at(300, 150, 200, 150, 0xFF00FF));
    capture.grabRegion(region, false, {ownAgain.id()})->grab(frame);
    EXPECT_TRUE(frame.bgra == expected.bgra) << "left out, the own window changes nothing";

    // With every window redirected, drawing reaches the root unreported: the grabber watches the
    // windows themselves, so a still screen is still skipped and a change still seen.
    auto watching = capture.grabRegion(region, false, {ownAgain.id()});
    watching->mayHaveChanged();
    EXPECT_FALSE(watching->mayHaveChanged());
    below.fill(0x0000FF);
    EXPECT_TRUE(watching->mayHaveChanged()) << "drawing in a window";
    EXPECT_FALSE(watching->mayHaveChanged());
    above.moveTo(700, 500);
    EXPECT_TRUE(watching->mayHaveChanged()) << "a window that moves";
}

TEST_F(X11CaptureTest, GrabbersTellWhenNothingWasDrawnSinceTheLastLook) {
    TestWindow background(TestWindow::Look::at(0, 0, 1280, 720, 0x000000));
    TestWindow box(TestWindow::Look::at(100, 100, 200, 150, 0x00FF00));
    X11ScreenCapture capture;

    auto region = capture.grabRegion(Rect{0, 0, 640, 360}, false, {});
    region->mayHaveChanged();  // whatever was drawn before it existed
    EXPECT_FALSE(region->mayHaveChanged());
    box.fill(0x0000FF);
    EXPECT_TRUE(region->mayHaveChanged());
    EXPECT_FALSE(region->mayHaveChanged()) << "one drawing is reported once";

    // A window read from its own picture notices drawing even where another window covers it.
    auto window = capture.grabWindow(box.id(), Rect{0, 0, 100, 100}, false);
    TestWindow cover(TestWindow::Look::at(90, 90, 300, 300, 0xFFFFFF));
    window->mayHaveChanged();
    EXPECT_FALSE(window->mayHaveChanged());
    box.fill(0xFF0000);
    EXPECT_TRUE(window->mayHaveChanged());
    ScreenFrame frame;
    window->grab(frame);
    EXPECT_EQ(rgbAt(frame, 50, 50), 0xFF0000u);
    // So does a composition of chosen windows over transparency.
    auto composed = capture.grabWindowsOverTransparency(Rect{0, 0, 640, 360}, {box.id()}, false);
    composed->mayHaveChanged();
    EXPECT_FALSE(composed->mayHaveChanged());
    box.fill(0x00FF00);
    EXPECT_TRUE(composed->mayHaveChanged());

    // With the pointer drawn in, moving it changes the picture.
    testing::movePointer(600, 300);
    auto withPointer = capture.grabRegion(Rect{0, 0, 640, 360}, true, {});
    withPointer->mayHaveChanged();
    EXPECT_FALSE(withPointer->mayHaveChanged());
    testing::movePointer(300, 200);
    EXPECT_TRUE(withPointer->mayHaveChanged());
}

TEST_F(X11CaptureTest, ShowingTheCursorDrawsThePointerIntoTheFrame) {
    TestWindow background(TestWindow::Look::at(0, 0, 1280, 720, 0x000000));
    testing::movePointer(640, 360);
    X11ScreenCapture capture;
    ScreenFrame without, with;
    capture.grabRegion(Rect{600, 320, 80, 80}, false, {})->grab(without);
    capture.grabRegion(Rect{600, 320, 80, 80}, true, {})->grab(with);
    const auto changed = std::mismatch(without.bgra.begin(), without.bgra.end(), with.bgra.begin());
    EXPECT_NE(changed.first, without.bgra.end()) << "no pointer pixels drawn";
    EXPECT_TRUE(std::all_of(without.bgra.begin(), without.bgra.end(),
                            [i = 0](std::uint8_t v) mutable { return (i++ % 4 == 3) ? v == 0xFF : v == 0; }));
}

TEST_F(X11CaptureTest, PointerSourceReadsPositionAndLeftButtonEvents) {
    // A click on an application's window grabs the pointer for that application until the release;
    // the monitor must still hear the release or the button would look held forever.
    auto look = TestWindow::Look::at(0, 0, 1280, 720, 0x336699);
    look.takesClicks = true;
    TestWindow app(look);
    X11PointerSource pointer;
    testing::movePointer(321, 123);
    const auto at = pointer.location();
    EXPECT_EQ(at.x, 321);
    EXPECT_EQ(at.y, 123);

    std::mutex mutex;
    std::vector<bool> events;
    ASSERT_TRUE(pointer.startButtonMonitor([&](bool down) {
        std::lock_guard lock(mutex);
        events.push_back(down);
    }));
    testing::pressLeftButton();
    testing::releaseLeftButton();
    // Events arrive on the monitor's thread; wait for them without asserting on time.
    for (int i = 0; i < 500; ++i) {
        {
            std::lock_guard lock(mutex);
            if (events.size() >= 2) break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pointer.stopButtonMonitor();
    testing::pressLeftButton();
    testing::releaseLeftButton();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::lock_guard lock(mutex);
    EXPECT_EQ(events, (std::vector<bool>{true, false}));
}

}  // namespace
}  // namespace orvane
