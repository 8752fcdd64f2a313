#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <utility>

#include "base/manual_executor.h"
#include "platform/x11/test_display.h"
#include "platform/x11/x11_pointer_source.h"
#include "platform/x11/x11_screen_capture.h"
#include "recording/screenshots/screenshot_crop.h"
#include "recording/screenshots/screenshot_files.h"
#include "recording/screenshots/screenshot_service.h"
#include "support/fake_pointer.h"
#include "support/fake_screen_capture.h"
#include "support/required_service.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

TEST(ScreenshotFiles, FileAndFolderNamesAreLocalTimeAndSafeProjectNames) {
    {
        testing::ScopedEnv tz("TZ", "Europe/Berlin");
        // 2026-03-04 21:05:09 UTC is 22:05:09 in Berlin.
        EXPECT_EQ(screenshotFileName(std::chrono::system_clock::from_time_t(1772658309)),
                  "Orvane 2026-03-04 at 22.05.09.png");
    }
    EXPECT_EQ(sanitizedProjectFolderName("  Launch video \n"), "Launch video");
    EXPECT_EQ(sanitizedProjectFolderName("a/b\\c:d|e*f?g\"h<i>j"), "a-b-c-d-e-f-g-h-i-j");
    // Separators turn into hyphens before the leading full stops go, so "../x" keeps its hyphen.
    EXPECT_EQ(sanitizedProjectFolderName("../secret"), "-secret");
    EXPECT_EQ(sanitizedProjectFolderName("...hidden.name"), "hidden.name");
    EXPECT_EQ(sanitizedProjectFolderName("...."), "");
    EXPECT_EQ(sanitizedProjectFolderName(std::string(120, 'x')), std::string(96, 'x'));
    // 96 characters, counted as characters: 100 "é" (two bytes each) keep 96 whole ones.
    std::string accents;
    for (int i = 0; i < 100; ++i) accents += "\xC3\xA9";
    EXPECT_EQ(sanitizedProjectFolderName(accents).size(), 192u);
}

TEST(ScreenshotFiles, FoldersFollowTheUsersSpecialFoldersWithHomeFallbacks) {
    ScreenshotFolders folders;
    folders.home = "/home/ada";
    folders.userDirectory = [](std::string_view name) -> std::optional<fs::path> {
        if (name == "PICTURES") return fs::path("/home/ada/Bilder");
        if (name == "DESKTOP") return fs::path("/home/ada/Schreibtisch");
        return std::nullopt;
    };
    EXPECT_EQ(screenshotFolder(ScreenshotDestination::desktop, "Ignored", folders), "/home/ada/Schreibtisch");
    EXPECT_EQ(screenshotFolder(ScreenshotDestination::project, "Q3 / Demo", folders),
              "/home/ada/Bilder/Orvane Screenshots/Q3 - Demo");
    EXPECT_EQ(screenshotFolder(ScreenshotDestination::project, "..", folders), "/home/ada/Bilder/Orvane Screenshots");
    EXPECT_EQ(screenshotFolder(ScreenshotDestination::project, std::nullopt, folders),
              "/home/ada/Bilder/Orvane Screenshots");

    // Unset folders come back as home itself (or not at all): use the usual names under home.
    folders.userDirectory = [](std::string_view name) -> std::optional<fs::path> {
        if (name == "PICTURES") return fs::path("/home/ada/");
        return std::nullopt;
    };
    EXPECT_EQ(screenshotFolder(ScreenshotDestination::desktop, std::nullopt, folders), "/home/ada/Desktop");
    EXPECT_EQ(screenshotFolder(ScreenshotDestination::project, std::nullopt, folders),
              "/home/ada/Pictures/Orvane Screenshots");

    EXPECT_EQ(screenshotDestinationFromRaw("desktop"), ScreenshotDestination::desktop);
    EXPECT_EQ(screenshotDestinationFromRaw("Desktop"), ScreenshotDestination::project);
    EXPECT_EQ(screenshotDestinationFromRaw(""), ScreenshotDestination::project);
    EXPECT_EQ(rawValue(ScreenshotDestination::project), "project");
}

TEST(ScreenshotFiles, SystemFoldersComeFromXdgUserDir) {
    ORVANE_REQUIRE_SERVICE(std::system("command -v xdg-user-dir >/dev/null 2>&1") == 0, "xdg-user-dir is not installed");
    testing::TempDir home;
    testing::writeTextFile(home / ".config" / "user-dirs.dirs",
                           "XDG_PICTURES_DIR=\"$HOME/Fotos\"\nXDG_DESKTOP_DIR=\"$HOME/Escritorio\"\n");
    testing::ScopedEnv homeEnv("HOME", home.path().string());
    testing::ScopedEnv configEnv("XDG_CONFIG_HOME", std::nullopt);
    const auto folders = ScreenshotFolders::system();
    EXPECT_EQ(folders.home, home.path());
    EXPECT_EQ(folders.pictures(), home / "Fotos");
    EXPECT_EQ(folders.desktop(), home / "Escritorio");
}

class ScreenshotServiceTest : public ::testing::Test {
protected:
    ScreenshotServiceTest() {
        folders_.home = home_.path();
        folders_.userDirectory = [](std::string_view) { return std::optional<fs::path>(); };
        capture_.displays = {CaptureDisplay{11, "eDP-1", Rect{0, 0, 64, 40}, 0},
                             CaptureDisplay{12, "HDMI-1", Rect{64, 0, 96, 60}, 0}};
        capture_.still = true;
        capture_.undefinedAlpha = true;
    }

    testing::TempDir home_;
    ManualExecutor main_;
    ToastCenter toasts_{main_};
    testing::FakeScreenCapture capture_;
    testing::FakePointer pointer_;
    ScreenshotFolders folders_;
};

TEST_F(ScreenshotServiceTest, CapturesTheDisplayUnderThePointerIntoTheProjectFolder) {
    ScreenshotService service(capture_, pointer_, ScreenshotDestination::project, toasts_, main_, folders_);
    std::vector<fs::path> announced;
    auto subscription = service.screenshotSaved.subscribe([&](const fs::path& file) { announced.push_back(file); });
    pointer_.moveTo(100, 30);

    const auto shot = service.capture(std::string("../Launch"));
    EXPECT_EQ(shot.destination, ScreenshotDestination::project);
    EXPECT_TRUE(shot.projectActive);
    EXPECT_EQ(shot.file.parent_path(), home_ / "Pictures" / "Orvane Screenshots" / "-Launch");
    EXPECT_EQ(shot.file.filename(), screenshotFileName(main_.wallNow()));
    EXPECT_EQ(capture_.grabbedRegions.back(), (Rect{64, 0, 96, 60})) << "the secondary display, at its own size";
    EXPECT_TRUE(capture_.lastShowCursor) << "screenshots show the pointer";
    EXPECT_EQ(capture_.windowGrabs, 0);
    EXPECT_EQ(announced, std::vector<fs::path>{shot.file});

    const auto saved = readScreenshotPng(shot.file);
    EXPECT_EQ(saved.width, 96);
    EXPECT_EQ(saved.height, 60);
    EXPECT_EQ(saved.pixels[3], 0xFF) << "screens are saved opaque";
    EXPECT_EQ(saved.pixels[0], 0xFF);

    // A second shot in the same second keeps the first.
    const auto again = service.capture(std::string("../Launch"));
    EXPECT_NE(again.file, shot.file);
    EXPECT_TRUE(fs::exists(shot.file));
}

TEST_F(ScreenshotServiceTest, DestinationComesFromTheSettingPointerOffScreenUsesThePrimaryAndNoDisplayWarns) {
    ScreenshotService service(capture_, pointer_, ScreenshotDestination::desktop, toasts_, main_, folders_);
    const auto displays = std::exchange(capture_.displays, {});
    EXPECT_FALSE(service.takeScreenshot(std::string("Demo")));
    ASSERT_EQ(toasts_.toasts().size(), 1u);
    EXPECT_EQ(toasts_.toasts()[0].level, ToastLevel::warning);
    EXPECT_EQ(toasts_.toasts()[0].title, "Screenshot failed");
    EXPECT_EQ(toasts_.toasts()[0].detail, "No display was reported by the X server.");
    EXPECT_TRUE(fs::is_empty(home_.path()));

    capture_.displays = displays;
    pointer_.moveTo(-500, -500);
    const auto shot = service.capture(std::nullopt);
    EXPECT_EQ(shot.file.parent_path(), home_ / "Desktop");
    EXPECT_FALSE(shot.projectActive);
    EXPECT_EQ(capture_.grabbedRegions.back(), (Rect{0, 0, 64, 40}));

    const auto forced = service.capture(std::string("...."), ScreenshotDestination::project);
    EXPECT_EQ(forced.file.parent_path(), home_ / "Pictures" / "Orvane Screenshots")
        << "a name made of full stops gives no sub-folder";
    service.setDefaultDestination(ScreenshotDestination::project);
    EXPECT_EQ(service.capture(std::nullopt).file.parent_path(), home_ / "Pictures" / "Orvane Screenshots")
        << "a changed setting applies to the next screenshot";
}

// A desktop that takes its own screenshots, as a Wayland desktop's portal does: it writes a PNG of
// its choosing, or fails.
class FakeDesktopScreenshot final : public DesktopScreenshot {
public:
    fs::path take() override {
        ++calls;
        if (failure) throw ScreenCaptureError(*failure);
        return file;
    }
    fs::path file;
    std::optional<std::string> failure;
    int calls = 0;
};

TEST_F(ScreenshotServiceTest, ADesktopThatTakesItsOwnScreenshotsIsAskedAndItsFileIsLeftAlone) {
    ScreenshotService service(capture_, pointer_, ScreenshotDestination::project, toasts_, main_, folders_);
    testing::TempDir desktopFolder;
    FakeDesktopScreenshot desktop;
    desktop.file = desktopFolder / "out.png";
    RgbaImage picture;
    picture.width = 30;
    picture.height = 20;
    picture.stride = 120;
    picture.pixels.assign(120 * 20, 0x80);
    for (std::size_t i = 3; i < picture.pixels.size(); i += 4) picture.pixels[i] = 0xFF;
    writeScreenshotPng(picture, desktop.file);
    service.useDesktopScreenshots(&desktop);

    const auto shot = service.capture(std::string("Demo"));
    EXPECT_EQ(desktop.calls, 1);
    EXPECT_TRUE(capture_.grabbedRegions.empty()) << "the display is not grabbed beside the desktop";
    EXPECT_EQ(shot.file.parent_path(), home_ / "Pictures" / "Orvane Screenshots" / "Demo");
    EXPECT_EQ(shot.file.filename(), screenshotFileName(main_.wallNow()));
    EXPECT_EQ(shot.width, 30);
    EXPECT_EQ(shot.height, 20);
    EXPECT_EQ(readScreenshotPng(shot.file).pixels[0], 0x80);
    EXPECT_TRUE(fs::exists(desktop.file)) << "the desktop's own file is not ours to remove";

    // A declined dialog, and a file that is no picture: the reason in the toast, nothing saved.
    const auto before = std::distance(fs::recursive_directory_iterator(home_.path()), {});
    desktop.failure = "The desktop's dialog declined the screenshot.";
    EXPECT_FALSE(service.takeScreenshot(std::nullopt));
    desktop.failure.reset();
    testing::writeTextFile(desktop.file, "not a picture");
    EXPECT_FALSE(service.takeScreenshot(std::nullopt));
    ASSERT_EQ(toasts_.toasts().size(), 2u);
    EXPECT_EQ(toasts_.toasts()[0].detail, "The desktop's dialog declined the screenshot.");
    EXPECT_EQ(toasts_.toasts()[1].detail, "The desktop's screenshot could not be read.");
    EXPECT_EQ(std::distance(fs::recursive_directory_iterator(home_.path()), {}), before);
}

TEST(ScreenshotCropper, CropsOnlyValidRegionsAndOtherwiseKeepsTheWholePicture) {
    testing::TempDir folder;
    const auto file = folder / "shot.png";
    RgbaImage image{40, 30, 160, std::vector<std::uint8_t>(160 * 30, 0xFF)};
    image.pixels[(10 * 40 + 5) * 4] = 0x11;  // a marker pixel at (5, 10)
    writeScreenshotPng(image, file);

    // 1 by 500 is below the 2 by 2 minimum, and missing the picture is a crop failure: both keep
    // the whole picture.
    EXPECT_EQ(saveCroppedScreenshot(file, Rect{3, 0, 1, 500}).width, 40);
    EXPECT_EQ(saveCroppedScreenshot(file, Rect{100, 100, 50, 50}).width, 40);
    EXPECT_EQ(readScreenshotPng(file).height, 30);

    // A rectangle hanging over the edge is cut to the picture.
    const auto saved = saveCroppedScreenshot(file, Rect{5, 10, 100, 100});
    EXPECT_EQ(saved.width, 35);
    EXPECT_EQ(saved.height, 20);
    EXPECT_EQ(saved.pixels[0], 0x11);
    EXPECT_EQ(readScreenshotPng(file).width, 35) << "the file is overwritten with the crop";

    try {
        cropImage(saved, Rect{34, 0, 10, 10});
        FAIL() << "a 1-pixel-wide intersection must be refused";
    } catch (const ScreenshotCropError& e) {
        EXPECT_EQ(e.code(), -2);
        EXPECT_STREQ(e.what(), "crop region is empty or invalid");
    }
    testing::writeTextFile(folder / "broken.png", "not a png");
    try {
        saveCroppedScreenshot(folder / "broken.png", std::nullopt);
        FAIL() << "an unreadable file must fail";
    } catch (const ScreenshotCropError& e) {
        EXPECT_EQ(e.code(), -1);
        EXPECT_EQ(cropperStatusText(&e), "Couldn't save: couldn't get CGImage from source");
    }
    EXPECT_EQ(testing::readTextFile(folder / "broken.png"), "not a png") << "a failed save leaves the file alone";
    EXPECT_EQ(cropperStatusText(nullptr), "Copied to clipboard.");
    EXPECT_THROW(writeScreenshotPng(RgbaImage{}, folder / "empty.png"), ScreenshotCropError);
    EXPECT_FALSE(fs::exists(folder / "empty.png"));
}

TEST(ScreenshotOnX11, SavesTheWholeDisplayWithWhatIsOnIt) {
    testing::testDisplayName();
    X11ScreenCapture capture;
    X11PointerSource pointer;
    testing::TestWindow window(testing::TestWindow::Look::at(100, 80, 120, 90, 0x00FF00));
    testing::movePointer(5, 5);
    testing::TempDir home;
    ManualExecutor main;
    ToastCenter toasts(main);
    ScreenshotFolders folders;
    folders.home = home.path();
    ScreenshotService service(capture, pointer, ScreenshotDestination::project, toasts, main, folders);

    const auto shot = service.capture(std::string("X11"));
    const auto display = capture.shareableContent().displays.front();
    EXPECT_EQ(shot.width, int(display.frame.width));
    EXPECT_EQ(shot.height, int(display.frame.height));
    const auto image = readScreenshotPng(shot.file);
    const auto* pixel = &image.pixels[std::size_t(120) * image.stride + 150 * 4];
    EXPECT_EQ(pixel[1], 0xFF) << "the green window is in the picture";
    EXPECT_EQ(pixel[0], 0x00);
    EXPECT_EQ(pixel[2], 0x00);
}

}  // namespace
}  // namespace orvane
