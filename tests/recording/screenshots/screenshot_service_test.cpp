#include "recording/screenshot_service.h"

#include <gtest/gtest.h>

#include "base/manual_executor.h"
#include "platform/linux/json_preferences_store.h"
#include "recording/screenshot_crop.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

// Paints each display a solid colour so a test can tell which one was grabbed.
class FakeScreenCapture final : public ScreenCaptureSystem {
public:
    std::vector<CaptureDisplay> displays;
    std::vector<Rect> grabbedRegions;

    ShareableContent shareableContent() override { return {displays, {}}; }
    std::unique_ptr<FrameGrabber> grabRegion(const Rect& region, bool showCursor) override {
        EXPECT_TRUE(showCursor) << "screenshots show the pointer";
        grabbedRegions.push_back(region);
        return std::make_unique<Grabber>(region);
    }
    std::unique_ptr<FrameGrabber> grabWindow(std::uint64_t, const Rect&, bool) override {
        ADD_FAILURE() << "screenshots grab displays, not windows";
        return nullptr;
    }
    void activateWindow(std::uint64_t) override {}
    std::vector<CaptureWindow> normalWindowsOn(const Rect&) override { return {}; }
    std::unique_ptr<FrameGrabber> grabWindowsOverTransparency(const Rect&, const std::vector<std::uint64_t>&,
                                                              bool) override {
        ADD_FAILURE() << "screenshots grab displays as they look";
        return nullptr;
    }

private:
    class Grabber final : public FrameGrabber {
    public:
        explicit Grabber(const Rect& region) : region_(region) {}
        int width() const override { return static_cast<int>(region_.width); }
        int height() const override { return static_cast<int>(region_.height); }
        void grab(ScreenFrame& frame) override {
            frame.width = width();
            frame.height = height();
            frame.stride = frame.width * 4;
            frame.bgra.assign(static_cast<std::size_t>(frame.stride) * frame.height, 0);
            const std::uint8_t blue = region_.x > 0 ? 0xFF : 0x00;
            for (std::size_t i = 0; i < frame.bgra.size(); i += 4) {
                frame.bgra[i] = blue;
                frame.bgra[i + 2] = 0x80;
                frame.bgra[i + 3] = 0;  // X servers leave the top byte undefined
            }
        }

    private:
        Rect region_;
    };
};

class FakePointer final : public PointerSource {
public:
    PointerLocation where;
    PointerLocation location() override { return where; }
    bool startButtonMonitor(std::function<void(bool)>) override { return false; }
    void stopButtonMonitor() override {}
};

class ScreenshotServiceTest : public ::testing::Test {
protected:
    ScreenshotServiceTest() {
        folders_.home = home_.path();
        folders_.userDirectory = [](std::string_view) { return std::optional<fs::path>(); };
        capture_.displays = {CaptureDisplay{11, "eDP-1", Rect{0, 0, 64, 40}, 0},
                             CaptureDisplay{12, "HDMI-1", Rect{64, 0, 96, 60}, 0}};
    }

    testing::TempDir home_;
    testing::TempDir config_;
    JsonPreferencesStore store_{config_ / "preferences.json"};
    Preferences preferences_{store_};
    ManualExecutor main_;
    ToastCenter toasts_{main_};
    FakeScreenCapture capture_;
    FakePointer pointer_;
    ScreenshotFolders folders_;
};

TEST_F(ScreenshotServiceTest, CapturesTheDisplayUnderThePointerIntoTheProjectFolder) {
    ScreenshotService service(capture_, pointer_, preferences_, toasts_, main_, folders_);
    std::vector<fs::path> announced;
    auto subscription = service.screenshotSaved.subscribe([&](const fs::path& file) { announced.push_back(file); });
    pointer_.where = {100, 30};

    const auto shot = service.capture(std::string("../Launch"));
    EXPECT_EQ(shot.destination, ScreenshotDestination::project);
    EXPECT_TRUE(shot.projectActive);
    EXPECT_EQ(shot.file.parent_path(), home_ / "Pictures" / "Orvane Screenshots" / "-Launch");
    EXPECT_EQ(shot.file.filename(), screenshotFileName(main_.wallNow()));
    EXPECT_EQ(capture_.grabbedRegions.back(), (Rect{64, 0, 96, 60})) << "the secondary display, at its own size";
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

TEST_F(ScreenshotServiceTest, DestinationComesFromThePreferenceAndPointerOffScreenUsesThePrimary) {
    preferences_.setScreenshotDestination("desktop");
    ScreenshotService service(capture_, pointer_, preferences_, toasts_, main_, folders_);
    pointer_.where = {-500, -500};
    const auto shot = service.capture(std::nullopt);
    EXPECT_EQ(shot.file.parent_path(), home_ / "Desktop");
    EXPECT_FALSE(shot.projectActive);
    EXPECT_EQ(capture_.grabbedRegions.back(), (Rect{0, 0, 64, 40}));

    const auto forced = service.capture(std::string("...."), ScreenshotDestination::project);
    EXPECT_EQ(forced.file.parent_path(), home_ / "Pictures" / "Orvane Screenshots")
        << "a name made of full stops gives no sub-folder";
}

TEST_F(ScreenshotServiceTest, NoDisplayIsAWarningToastAndNothingOnDisk) {
    capture_.displays.clear();
    ScreenshotService service(capture_, pointer_, preferences_, toasts_, main_, folders_);
    EXPECT_FALSE(service.takeScreenshot(std::string("Demo")));
    ASSERT_EQ(toasts_.toasts().size(), 1u);
    EXPECT_EQ(toasts_.toasts()[0].level, ToastLevel::warning);
    EXPECT_EQ(toasts_.toasts()[0].title, "Screenshot failed");
    EXPECT_EQ(toasts_.toasts()[0].detail, "No display was reported by the X server.");
    EXPECT_FALSE(fs::exists(home_ / "Pictures"));
}

TEST(ScreenshotCropper, CropsOnlyValidRegionsAndOtherwiseKeepsTheWholePicture) {
    testing::TempDir folder;
    const auto file = folder / "shot.png";
    RgbaImage image;
    image.width = 40;
    image.height = 30;
    image.stride = 160;
    image.pixels.assign(160 * 30, 0xFF);
    image.pixels[(10 * 40 + 5) * 4] = 0x11;  // a marker pixel at (5, 10)
    writeScreenshotPng(image, file);

    // 1 by 500 is below the 2 by 2 minimum: saved uncropped.
    auto saved = saveCroppedScreenshot(file, Rect{3, 0, 1, 500});
    EXPECT_EQ(saved.width, 40);
    // Missing the picture entirely is a crop failure, which also keeps the whole picture.
    saved = saveCroppedScreenshot(file, Rect{100, 100, 50, 50});
    EXPECT_EQ(saved.width, 40);
    EXPECT_EQ(readScreenshotPng(file).height, 30);

    // A rectangle hanging over the edge is cut to the picture.
    saved = saveCroppedScreenshot(file, Rect{5, 10, 100, 100});
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

}  // namespace
}  // namespace orvane
