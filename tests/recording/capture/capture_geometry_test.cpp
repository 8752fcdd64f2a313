#include <gtest/gtest.h>

#include "recording/capture_geometry.h"

namespace orvane {
namespace {

WindowSource window(double w, double h, int titleBar = 0, std::string wmClass = "Gedit") {
    WindowSource source;
    source.id = 42;
    source.title = "notes.txt";
    source.appName = wmClass;
    source.wmInstance = "gedit";
    source.wmClass = std::move(wmClass);
    source.width = int(w);
    source.height = int(h);
    source.frame = Rect{100, 200, w, h};
    source.titleBarHeight = titleBar;
    return source;
}

TEST(CaptureGeometryTest, ADisplayWithATopPanelIsCroppedBelowIt) {
    const DisplaySource display{1, "Main Display", 1512, 982, Rect{0, 0, 1512, 982}, 33};
    const auto g = captureGeometry(display, RecordingOptions{}, false);
    EXPECT_EQ(g.topInset, 33);
    EXPECT_EQ(g.captureRect, (Rect{0, 33, 1512, 948}));  // 949 rows, evened for 4:2:0
    EXPECT_EQ(g.outputWidth, 1512);
    EXPECT_EQ(g.outputHeight, 948);
    ASSERT_TRUE(g.captureSourceCrop);
    EXPECT_EQ(*g.captureSourceCrop, (Rect{0, 33.0 / 982, 1, 949.0 / 982}));
    EXPECT_EQ(g.capturedFrame, (Rect{0, 33, 1512, 949}));

    // Kept chrome, alpha mode and a desktop without a top panel are not cropped.
    RecordingOptions withChrome;
    withChrome.includeWindowChrome = true;
    EXPECT_EQ(captureGeometry(display, withChrome, false).topInset, 0);
    EXPECT_EQ(topInset(display, RecordingOptions{}, true), 0);
    const DisplaySource second{2, "Display 2", 1920, 1080, Rect{1512, -98, 1920, 1080}, 0};
    const auto plain = captureGeometry(second, RecordingOptions{}, false);
    EXPECT_FALSE(plain.captureSourceCrop);
    EXPECT_EQ(plain.captureRect, (Rect{0, 0, 1920, 1080}));
    EXPECT_EQ(plain.capturedFrame, (Rect{1512, -98, 1920, 1080}));
}

TEST(CaptureGeometryTest, WindowsLoseTheirTitleBarAndBrowsersTheirToolbarToo) {
    const auto editor = captureGeometry(window(800, 600, 30), RecordingOptions{}, false);
    EXPECT_EQ(editor.sourceFrame, (Rect{100, 170, 800, 630}));
    EXPECT_EQ(editor.topInset, 30);
    EXPECT_EQ(editor.capturedFrame, (Rect{100, 200, 800, 600}));
    EXPECT_EQ(editor.outputHeight, 600);

    RecordingOptions withChrome;
    withChrome.includeWindowChrome = true;
    const auto framed = captureGeometry(window(800, 600, 30), withChrome, false);
    EXPECT_EQ(framed.captureRect, (Rect{0, 0, 800, 630}));
    EXPECT_EQ(framed.capturedFrame, (Rect{100, 170, 800, 630}));

    auto chrome = window(1200, 800, 0, "Google-chrome");
    chrome.wmInstance = "google-chrome";
    EXPECT_EQ(topInset(chrome, RecordingOptions{}, false), kBrowserChromeFallbackHeight);

    // A tiny window is still at least 2 pixels a side, and the inset never eats more than 80%.
    const auto tiny = captureGeometry(window(1, 1), RecordingOptions{}, false);
    EXPECT_EQ(tiny.outputWidth, 2);
    EXPECT_EQ(tiny.outputHeight, 2);
    EXPECT_EQ(topInset(window(300, 70, 0, "firefox"), RecordingOptions{}, false), 56);

    const ApplicationSource app{"app:gedit", "Gedit", "gedit", 1, Rect{0, 0, 1280, 720}, {42}};
    const auto whole = captureGeometry(app, RecordingOptions{}, false);
    EXPECT_EQ(whole.topInset, 0);
    EXPECT_EQ(whole.captureRect, (Rect{0, 0, 1280, 720}));
}

}  // namespace
}  // namespace orvane
