#include <gtest/gtest.h>

#include "platform/linux/json_preferences_store.h"
#include "platform/preferences.h"
#include "recording/recording_source.h"
#include "support/temp_dir.h"

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

TEST(SourceCatalogTest, CatalogueAppliesSizeOwnerAndApplicationRules) {
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

    ShareableContent single;
    single.displays = {CaptureDisplay{1, "screen", Rect{0, 0, 1280, 720}, 0}};
    EXPECT_EQ(buildSourceCatalog(single, false).displays[0].name, "Main Display");
}

TEST(SourceCatalogTest, DefaultSourceFollowsTheLastUsedOneWhileItExists) {
    const auto snapshot = buildSourceCatalog(twoDisplays(), false);
    EXPECT_EQ(sourceID(*defaultSource(snapshot, "window:5")), "window:5");
    EXPECT_EQ(sourceID(*defaultSource(snapshot, "app:firefox")), "app:firefox");
    EXPECT_EQ(sourceID(*defaultSource(snapshot, "window:77")), "display:11");  // closed since
    EXPECT_EQ(sourceID(*defaultSource(snapshot, "")), "display:11");
    EXPECT_EQ(sourceID(*defaultSource(snapshot, "window:5", RecordingSourceKind::window)), "window:1");
    EXPECT_EQ(sourceID(*defaultSource(snapshot, "", RecordingSourceKind::application)), "app:gedit");
    EXPECT_EQ(sourceID(*defaultSource(snapshot, "window:5", RecordingSourceKind::display)), "display:11");

    ShareableContent displayOnly;
    displayOnly.displays = {CaptureDisplay{1, "screen", Rect{0, 0, 1280, 720}, 0}};
    const auto bare = buildSourceCatalog(displayOnly, false);
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

TEST(SourceCatalogTest, OptionsComeFromThePreferencesAndTheCursorMode) {
    testing::TempDir dir;
    JsonPreferencesStore store(dir / "preferences.json");
    Preferences preferences(store);
    auto options = optionsFromPreferences(preferences);
    // System audio and the microphone are on for new users; the camera and window chrome are off.
    EXPECT_TRUE(options.includeSystemAudio && options.includeMicrophone);
    EXPECT_FALSE(options.includeWebcam || options.includeWindowChrome);
    EXPECT_TRUE(options.activateSource);
    EXPECT_FALSE(options.showSystemCursor);  // "pointer" by default: the editor draws it
    EXPECT_TRUE(options.captureCursorTelemetry);

    preferences.setDefaultAudioOn(false);
    preferences.setDefaultWebcamOn(true);
    preferences.setDefaultIncludeWindowChrome(true);
    options = optionsFromPreferences(preferences);
    EXPECT_FALSE(options.includeSystemAudio);
    EXPECT_TRUE(options.includeWebcam && options.includeMicrophone && options.includeWindowChrome);

    applyCursorMode(options, "system", preferences);
    EXPECT_TRUE(options.showSystemCursor);
    EXPECT_EQ(preferences.defaultRecordingCursorMode(), "system");
    EXPECT_FALSE(preferences.defaultMobileTouchMode());
    applyCursorMode(options, "touch", preferences);
    EXPECT_FALSE(options.showSystemCursor);
    EXPECT_EQ(options.preferredCursorVisualStyle, "touch");
    EXPECT_TRUE(preferences.defaultMobileTouchMode());
    applyCursorMode(options, "largePointer", preferences);
    EXPECT_EQ(preferences.defaultRecordingCursorMode(), "pointer");
    EXPECT_TRUE(options.includeWebcam);  // the mode leaves the other choices alone
}

}  // namespace
}  // namespace orvane
