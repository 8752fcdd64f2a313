#include <gtest/gtest.h>

#include "recording/capture_geometry.h"
#include "recording/recording_source.h"

namespace orvane {
namespace {

CaptureWindow window(std::uint64_t id, Rect frame, std::string wmClass, std::optional<std::int64_t> pid = 100,
                     bool own = false) {
    CaptureWindow w;
    w.id = id;
    w.title = "Window " + std::to_string(id);
    w.appName = wmClass;
    w.wmInstance = wmClass;
    w.wmClass = wmClass;
    w.processID = pid;
    w.frame = frame;
    w.ownedByThisProcess = own;
    return w;
}

ShareableContent twoDisplays() {
    ShareableContent content;
    content.displays = {CaptureDisplay{11, "DP-1", Rect{0, 0, 1920, 1080}, 0},
                        CaptureDisplay{12, "HDMI-1", Rect{1920, 0, 1280, 1024}, 0}};
    content.windows = {
        window(1, Rect{100, 100, 800, 600}, "Gedit"),
        window(2, Rect{2000, 100, 640, 480}, "Gedit"),          // same application, other display
        window(3, Rect{50, 50, 70, 500}, "Tall"),               // too narrow
        window(4, Rect{50, 50, 500, 59}, "Flat"),               // too low
        window(5, Rect{2100, 200, 400, 300}, "firefox"),
        window(6, Rect{300, 300, 400, 300}, "orvane-studio", 999, true),
        window(7, Rect{300, 300, 400, 300}, "", std::nullopt),  // names no owner
        window(8, Rect{400, 400, 400, 300}, "", 555),           // no class: known by its process
    };
    return content;
}

TEST(SourceCatalogTest, CatalogueAppliesSizeOwnerAndApplicationRulesAndTheDefaultFollowsTheLastUsed) {
    const auto snapshot = buildSourceCatalog(twoDisplays(), false);
    ASSERT_EQ(snapshot.displays.size(), 2u);
    EXPECT_EQ(snapshot.displays[0].name, "Display 1");
    EXPECT_EQ(snapshot.displays[1].name, "Display 2");
    EXPECT_EQ(sourceID(snapshot.displays[1]), "display:12");

    std::vector<std::uint64_t> windowIDs;
    for (const auto& w : snapshot.windows) windowIDs.push_back(w.id);
    EXPECT_EQ(windowIDs, (std::vector<std::uint64_t>{1, 2, 5, 8}));
    EXPECT_EQ(snapshot.windows[0].bundleIdentifier, "gedit");
    EXPECT_EQ(sourceID(snapshot.windows[0]), "window:1");

    ASSERT_EQ(snapshot.applications.size(), 3u);
    EXPECT_EQ(snapshot.applications[0].id, "app:gedit");
    EXPECT_EQ(snapshot.applications[0].windowIDs, (std::vector<std::uint64_t>{1, 2}));
    EXPECT_EQ(snapshot.applications[0].displayID, 11u);
    EXPECT_EQ(snapshot.applications[1].id, "app:firefox");
    EXPECT_EQ(snapshot.applications[1].displayID, 12u);  // where its window is
    EXPECT_EQ(snapshot.applications[2].id, "pid:555");

    // Own windows come back when asked for, but never as an application to record.
    const auto withOwn = buildSourceCatalog(twoDisplays(), true);
    EXPECT_EQ(withOwn.windows.size(), 5u);
    EXPECT_EQ(withOwn.applications.size(), 3u);

    // The default source follows the last used one while it exists.
    EXPECT_EQ(sourceID(*defaultSource(snapshot, "window:5")), "window:5");
    EXPECT_EQ(sourceID(*defaultSource(snapshot, "app:firefox")), "app:firefox");
    EXPECT_EQ(sourceID(*defaultSource(snapshot, "window:77")), "display:11");  // closed since
    EXPECT_EQ(sourceID(*defaultSource(snapshot, "")), "display:11");
    EXPECT_EQ(sourceID(*defaultSource(snapshot, "window:5", RecordingSourceKind::window)), "window:1");
    EXPECT_EQ(sourceID(*defaultSource(snapshot, "", RecordingSourceKind::application)), "app:gedit");
    EXPECT_EQ(sourceID(*defaultSource(snapshot, "window:5", RecordingSourceKind::display)), "display:11");

    ShareableContent single;
    single.displays = {CaptureDisplay{1, "screen", Rect{0, 0, 1280, 720}, 0}};
    const auto bare = buildSourceCatalog(single, false);
    EXPECT_EQ(bare.displays[0].name, "Main Display");
    EXPECT_EQ(sourceID(*defaultSource(bare, "", RecordingSourceKind::window)), "display:1");
    EXPECT_FALSE(defaultSource(SourceCatalogSnapshot{}, "display:1"));
}

TEST(SourceCatalogTest, BrowsersAndSimulatorsAreKnownByTheirWindowClass) {
    auto w = [](std::string instance, std::string wmClass) {
        WindowSource source;
        source.wmInstance = std::move(instance);
        source.wmClass = std::move(wmClass);
        source.appName = source.wmClass;
        return source;
    };
    for (const auto& browser : {w("Navigator", "firefox"), w("google-chrome", "Google-chrome"),
                                w("chromium", "Chromium"), w("brave-browser", "Brave-browser"),
                                w("microsoft-edge-beta", "Microsoft-edge-beta"), w("vivaldi-stable", "Vivaldi-stable"),
                                w("opera", "Opera")}) {
        EXPECT_TRUE(isWebBrowser(browser)) << browser.wmClass;
    }
    EXPECT_FALSE(isWebBrowser(w("gedit", "Gedit")));
    EXPECT_FALSE(isWebBrowser(w("operator", "Operator")));
    EXPECT_TRUE(isDeviceSimulator(w("qemu-system-x86_64", "Android Emulator")));
    EXPECT_TRUE(isDeviceSimulator(w("sim", "iOS Simulator")));
    EXPECT_FALSE(isDeviceSimulator(w("gedit", "Gedit")));
}

WindowSource windowSource(double w, double h, int titleBar = 0, std::string wmClass = "Gedit") {
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
    const auto editor = captureGeometry(windowSource(800, 600, 30), RecordingOptions{}, false);
    EXPECT_EQ(editor.sourceFrame, (Rect{100, 170, 800, 630}));
    EXPECT_EQ(editor.topInset, 30);
    EXPECT_EQ(editor.capturedFrame, (Rect{100, 200, 800, 600}));
    EXPECT_EQ(editor.outputHeight, 600);

    RecordingOptions withChrome;
    withChrome.includeWindowChrome = true;
    const auto framed = captureGeometry(windowSource(800, 600, 30), withChrome, false);
    EXPECT_EQ(framed.captureRect, (Rect{0, 0, 800, 630}));
    EXPECT_EQ(framed.capturedFrame, (Rect{100, 170, 800, 630}));

    auto chrome = windowSource(1200, 800, 0, "Google-chrome");
    chrome.wmInstance = "google-chrome";
    EXPECT_EQ(topInset(chrome, RecordingOptions{}, false), kBrowserChromeFallbackHeight);

    // A tiny window is still at least 2 pixels a side, and the inset never eats more than 80%.
    const auto tiny = captureGeometry(windowSource(1, 1), RecordingOptions{}, false);
    EXPECT_EQ(tiny.outputWidth, 2);
    EXPECT_EQ(tiny.outputHeight, 2);
    EXPECT_EQ(topInset(windowSource(300, 70, 0, "firefox"), RecordingOptions{}, false), 56);

    const ApplicationSource app{"app:gedit", "Gedit", "gedit", 1, Rect{0, 0, 1280, 720}, {42}};
    const auto whole = captureGeometry(app, RecordingOptions{}, false);
    EXPECT_EQ(whole.topInset, 0);
    EXPECT_EQ(whole.captureRect, (Rect{0, 0, 1280, 720}));
}

}  // namespace
}  // namespace orvane
