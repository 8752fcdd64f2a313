#include <gtest/gtest.h>

#include "base/manual_executor.h"
#include "platform/linux/json_preferences_store.h"
#include "platform/x11/test_display.h"
#include "platform/x11/x11_pointer_source.h"
#include "platform/x11/x11_screen_capture.h"
#include "recording/screenshot_crop.h"
#include "recording/screenshot_service.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

TEST(ScreenshotOnX11, SavesTheWholeDisplayWithWhatIsOnIt) {
    testing::testDisplayName();
    X11ScreenCapture capture;
    X11PointerSource pointer;
    testing::TestWindow window(testing::TestWindow::Look::at(100, 80, 120, 90, 0x00FF00));
    testing::movePointer(5, 5);

    testing::TempDir home, config;
    JsonPreferencesStore store(config / "preferences.json");
    Preferences preferences(store);
    ManualExecutor main;
    ToastCenter toasts(main);
    ScreenshotFolders folders;
    folders.home = home.path();
    ScreenshotService service(capture, pointer, preferences, toasts, main, folders);

    const auto shot = service.capture(std::string("X11"));
    const auto display = capture.shareableContent().displays.front();
    EXPECT_EQ(shot.width, static_cast<int>(display.frame.width));
    EXPECT_EQ(shot.height, static_cast<int>(display.frame.height));
    const auto image = readScreenshotPng(shot.file);
    const auto* pixel = &image.pixels[static_cast<std::size_t>(120) * image.stride + 150 * 4];
    EXPECT_EQ(pixel[1], 0xFF) << "the green window is in the picture";
    EXPECT_EQ(pixel[0], 0x00);
    EXPECT_EQ(pixel[2], 0x00);
}

}  // namespace
}  // namespace orvane
