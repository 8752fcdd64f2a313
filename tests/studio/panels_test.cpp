#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QPlainTextEdit>
#include <QTest>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>

#include "app/preferences.h"
#include "app/services.h"
#include "media/video_frame.h"
#include "model/recording_files.h"
#include "platform/screen_capture.h"
#include "studio/home_window.h"
#include "studio/panels/camera_preview.h"
#include "studio/panels/face_camera_window.h"
#include "studio/panels/recording_panels.h"
#include "studio/panels/teleprompter_window.h"
#include "studio/recording_controller.h"
#include "studio/studio_shell.h"
#include "support/required_service.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace orvane::studio {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A camera that shows one solid colour (YUYV, BT.601 limited range), as a test card would, and can
// be unplugged while it streams.
class SolidCamera final : public CameraDevice {
public:
    explicit SolidCamera(std::array<std::uint8_t, 3> yuv) : yuv_(yuv) {}
    ~SolidCamera() override { stopStreaming(); }
    int width() const override { return 160; }
    int height() const override { return 120; }
    double frameRate() const override { return 30; }
    void startStreaming(CameraFrameCallback onFrame, std::function<void(const std::string&)> onError) override {
        onError_ = std::move(onError);
        thread_ = std::thread([this, onFrame = std::move(onFrame)] {
            std::vector<std::uint8_t> picture(160 * 120 * 2);
            for (std::size_t i = 0; i < picture.size(); i += 4) {
                picture[i] = picture[i + 2] = yuv_[0];
                picture[i + 1] = yuv_[1];
                picture[i + 3] = yuv_[2];
            }
            while (!stop_) {
                if (unplugged_) {
                    onError_("/dev/video-test: No such device");
                    return;
                }
                CameraFrame frame;
                frame.width = 160;
                frame.height = 120;
                frame.data = picture.data();
                frame.bytes = picture.size();
                frame.stride = 320;
                frame.time = std::chrono::steady_clock::now();
                onFrame(frame);
                std::this_thread::sleep_for(30ms);
            }
        });
    }
    void stopStreaming() override {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    void unplug() { unplugged_ = true; }

private:
    std::array<std::uint8_t, 3> yuv_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> unplugged_{false};
    std::thread thread_;
    std::function<void(const std::string&)> onError_;
};

struct SolidCameraSystem final : CameraSystem {
    bool present = true;
    std::atomic<SolidCamera*> last{nullptr};
    std::vector<CameraDeviceInfo> cameras() override {
        if (!present) return {};
        return {CameraDeviceInfo{"/dev/video-test", "usb-Test_Card-video-index0", "Test Card"}};
    }
    bool accessAuthorized() override { return true; }
    std::unique_ptr<CameraDevice> open(const CameraDeviceInfo&) override {
        auto camera = std::make_unique<SolidCamera>(std::array<std::uint8_t, 3>{106, 202, 222});  // magenta
        last = camera.get();
        return camera;
    }
};

bool isMagenta(int r, int g, int b) { return r > 190 && g < 80 && b > 190; }

class PanelsTest : public ::testing::Test {
protected:
    PanelsTest()
        : data_("XDG_DATA_HOME", (dir_.path() / "data").string()),
          config_("XDG_CONFIG_HOME", (dir_.path() / "config").string()),
          cache_("XDG_CACHE_HOME", (dir_.path() / "cache").string()) {}
    ~PanelsTest() override {
        shell_.reset();
        services_.reset();
    }

    app::Services& services() {
        if (!services_) {
            app::ServiceLocations locations;
            locations.preferencesFile = dir_.path() / "config" / "preferences.json";
            locations.library = LibraryLocation::explicitRoot(dir_.path() / "Library" / "Recordings");
            locations.cacheRoot = dir_.path() / "cache";
            locations.makeCameraSystem = [this] {
                auto system = std::make_unique<SolidCameraSystem>();
                system->present = cameraPresent_;
                cameras_ = system.get();
                return system;
            };
            services_ = std::make_unique<app::Services>(locations);
        }
        return *services_;
    }

    StudioShell& startShell() {
        shell_ = std::make_unique<StudioShell>(services());
        shell_->start();
        return *shell_;
    }

    testing::TempDir dir_;
    testing::ScopedEnv data_;
    testing::ScopedEnv config_;
    testing::ScopedEnv cache_;
    bool cameraPresent_ = true;
    SolidCameraSystem* cameras_ = nullptr;
    std::unique_ptr<app::Services> services_;
    std::unique_ptr<StudioShell> shell_;
};

TEST_F(PanelsTest, ADisplayRecordingLeavesOutTheStudiosWindowsAndKeepsWhereTheBubbleSat) {
    ORVANE_REQUIRE_SERVICE(std::getenv("DISPLAY") != nullptr, "an X server (run under scripts/with-test-services.sh)");
    Preferences& preferences = services().preferences();
    preferences.setDefaultAudioOn(false);
    preferences.setDefaultMicOn(false);
    preferences.setDefaultWebcamOn(false);
    StudioShell& shell = startShell();
    shell.home().hide();  // the user's windows, not the library, are what a display recording is about
    RecordingController& recording = shell.recording();
    ASSERT_TRUE(QTest::qWaitFor([&] { return recording.catalogStatus() != CatalogStatus::loading; }, 10000));
    ASSERT_EQ(recording.catalogStatus(), CatalogStatus::loaded) << recording.catalogError().toStdString();
    const Rect display = recording.catalog().displays.front().frame;

    // Both panels and the recording control show magenta, which the desktop has none of.
    RecordingPanels& panels = recording.panels();
    panels.faceCamera().setScreenFrame(Rect{100, 120, 240, 180});
    panels.faceCamera().setVisible(true);
    panels.teleprompter().setScript("Hello, and welcome to the tour.");
    panels.teleprompter().setVisible(true);
    panels.teleprompterWindow().setStyleSheet("QPushButton { background: #ff00ff; color: #ff00ff; border: none; }");
    panels.teleprompterWindow().move(600, 400);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !panels.preview().frame().isNull(); }, 5000)) << "the camera shows live";

    ScreenCaptureSystem& capture = services().screenCapture();
    auto magentaOnScreen = [&] {
        ScreenFrame frame;
        capture.grabRegion(display, false, {})->grab(frame);
        int found = 0;
        for (std::size_t i = 0; i + 3 < frame.bgra.size(); i += 4)
            found += isMagenta(frame.bgra[i + 2], frame.bgra[i + 1], frame.bgra[i]);
        return found;
    };

    ASSERT_TRUE(recording.startWithSource(std::nullopt, RecordingSourceKind::display));
    ASSERT_TRUE(QTest::qWaitFor([&] { return recording.phase() == ScreenRecorder::Phase::recording; }, 15000));
    QWidget* control = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->accessibleName() == "Recording control") control = top;
    }
    ASSERT_NE(control, nullptr);
    control->setStyleSheet("QWidget#recordingControl, QWidget#recordingControl * { background: #ff00ff; }");
    ASSERT_TRUE(QTest::qWaitFor([&] { return control->isVisible(); }, 2000));
    // A desktop in a colour of its own, under everything: made after the start, so it is not one of
    // the windows the recording leaves out, and stands for the other applications.
    QWidget desktop(nullptr, Qt::FramelessWindowHint);
    desktop.setStyleSheet("background: #2a6f4d;");
    desktop.setAttribute(Qt::WA_StyledBackground);
    desktop.setGeometry(QRectF(display.x, display.y, display.width, display.height).toRect());
    desktop.show();
    desktop.lower();
    QTest::qWait(400);
    // The screen shows them all the while: the bubble alone is over 30,000 pixels.
    EXPECT_GT(magentaOnScreen(), 40000);

    // Where the server really put the bubble, as the desktop lists its windows.
    std::optional<Rect> bubbleOnScreen;
    const auto bubbleID = static_cast<std::uint64_t>(panels.faceCameraWindow().winId());
    for (const auto& window : capture.shareableContent().windows) {
        if (window.id == bubbleID) bubbleOnScreen = window.frame;
    }
    ASSERT_TRUE(bubbleOnScreen);
    QTest::qWait(1200);
    recording.stop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return recording.phase() == ScreenRecorder::Phase::idle; }, 30000));
    ASSERT_EQ(services().library().recordings().size(), 1u);
    const RecordingMeta made = services().library().recordings().front();
    EXPECT_FALSE(panels.faceCameraWindow().isVisible()) << "the stop hides the bubble";

    ASSERT_TRUE(made.facePIPNormalizedFrame);
    EXPECT_NEAR(made.facePIPNormalizedFrame->x, (bubbleOnScreen->x - display.x) / display.width, 1e-9);
    EXPECT_NEAR(made.facePIPNormalizedFrame->y, (bubbleOnScreen->y - display.y) / display.height, 1e-9);
    EXPECT_NEAR(made.facePIPNormalizedFrame->width, bubbleOnScreen->width / display.width, 1e-9);
    EXPECT_NEAR(made.facePIPNormalizedFrame->height, bubbleOnScreen->height / display.height, 1e-9);
    EXPECT_EQ(made.facePIPCornerRadius, 18);

    const fs::path movie = services().library().folderOf(made.id).screenVideoFile(made);
    const int bubbleX = static_cast<int>(bubbleOnScreen->x + bubbleOnScreen->width / 2 - display.x);
    const int bubbleY = static_cast<int>(bubbleOnScreen->y + bubbleOnScreen->height / 2 - display.y);
    for (const double seconds : {0.9, 1.4}) {
        const auto image = extractVideoFrame(movie, seconds, 4096, 4096);
        ASSERT_TRUE(image) << "frame at " << seconds;
        int magenta = 0, desktopColour = 0;
        for (int y = 0; y < image->height; ++y) {
            const std::uint8_t* row =
                image->pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(image->stride);
            for (int x = 0; x < image->width; ++x) {
                const std::uint8_t* p = row + x * 4;
                magenta += isMagenta(p[2], p[1], p[0]);
                desktopColour += std::abs(p[2] - 0x2a) < 24 && std::abs(p[1] - 0x6f) < 24 && std::abs(p[0] - 0x4d) < 24;
            }
        }
        EXPECT_EQ(magenta, 0) << "at " << seconds << " s the recording shows a studio window";
        EXPECT_GT(desktopColour, image->width * image->height / 2) << "the frame holds the desktop";
        const std::uint8_t* centre = image->pixels.data() +
                                     static_cast<std::size_t>(bubbleY) * static_cast<std::size_t>(image->stride) +
                                     static_cast<std::size_t>(bubbleX) * 4;
        EXPECT_LT(std::abs(centre[1] - 0x6f), 24) << "where the bubble sat, the desktop under it shows";
    }
}

TEST_F(PanelsTest, TheWindowsFollowThePanelRulesAndRememberThem) {
    Preferences& preferences = services().preferences();
    preferences.setTeleprompterTextPlateOpacity(0.8);
    startShell();  // turns the engine's main loop, which the teleprompter scrolls on
    {
        RecordingPanels panels(services());
        FaceCameraPanel& bubble = panels.faceCamera();
        FaceCameraWindow& window = panels.faceCameraWindow();
        bubble.setVisible(true);
        ASSERT_TRUE(QTest::qWaitFor([&] { return window.isVisible(); }, 2000));

        // A radius of 60 on a 120 by 100 bubble: a circle, grown to a 220 square around its centre.
        bubble.setScreenFrame(Rect{400, 300, 120, 100});
        bubble.setCornerRadius(60);
        EXPECT_EQ(window.geometry(), QRect(350, 240, 220, 220));
        const QRect round = window.mask().boundingRect();
        EXPECT_NEAR(round.width(), 220, 2);
        EXPECT_NEAR(round.height(), 220, 2);
        EXPECT_FALSE(window.mask().contains(QPoint(3, 3))) << "the corners are cut away";
        EXPECT_TRUE(window.mask().contains(QPoint(110, 110)));
        EXPECT_EQ(bubble.effectiveCornerRadius(), 999);

        // A radius of 20 keeps the rectangle with rounded corners.
        bubble.setCornerRadius(20);
        bubble.setScreenFrame(Rect{400, 300, 240, 180});
        EXPECT_EQ(window.geometry(), QRect(400, 300, 240, 180));
        EXPECT_FALSE(window.mask().contains(QPoint(1, 1)));
        EXPECT_TRUE(window.mask().contains(QPoint(20, 1)));
        EXPECT_EQ(bubble.effectiveCornerRadius(), 20);

        // Shrunk below its minimum it stops there; moved by the user, the panel follows and keeps the place.
        window.resize(60, 40);
        EXPECT_EQ(window.size(), QSize(120, 90));
        window.move(500, 200);
        EXPECT_TRUE(QTest::qWaitFor([&] { return bubble.screenFrame().x == 500; }, 2000));
        EXPECT_EQ(bubble.screenFrame(), (Rect{500, 200, 120, 90}));
        EXPECT_EQ(preferences.faceCameraFrame(), "{{500, 200}, {120, 90}}");

        // The teleprompter reads its look from the preferences with the limits applied.
        TeleprompterController& teleprompter = panels.teleprompter();
        EXPECT_DOUBLE_EQ(teleprompter.opacity(), 0.35);
        EXPECT_DOUBLE_EQ(teleprompter.fontSize(), 30);
        EXPECT_DOUBLE_EQ(teleprompter.scrollSpeed(), 42);
        teleprompter.setVisible(true);
        TeleprompterWindow& prompter = panels.teleprompterWindow();
        ASSERT_TRUE(QTest::qWaitFor([&] { return prompter.isVisible(); }, 2000));
        prompter.resize(100, 100);
        EXPECT_GE(prompter.width(), 420);
        EXPECT_GE(prompter.height(), 180);
        prompter.move(40, 420);
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return preferences.teleprompterFrame().value_or("").find("{{40, 420}") == 0; }, 2000));

        // A long script overflows and scrolls forward only, at the stored speed.
        std::string script;
        for (int line = 0; line < 60; ++line) script += "Line " + std::to_string(line) + " of what to say.\n";
        teleprompter.setScript(script);
        teleprompter.setScrollSpeed(-20);
        teleprompter.startAutoScroll();
        QTest::qWait(200);
        EXPECT_DOUBLE_EQ(teleprompter.scrollOffset(), 0) << "a negative speed does not scroll back";
        teleprompter.setScrollSpeed(120);
        EXPECT_TRUE(QTest::qWaitFor([&] { return teleprompter.scrollOffset() > 20; }, 3000));
        teleprompter.setVisible(false);
        EXPECT_FALSE(teleprompter.isAutoScrolling()) << "a hidden teleprompter stops scrolling";
        EXPECT_FALSE(prompter.isVisible());
    }

    // The next run puts the bubble where it was left.
    RecordingPanels again(services());
    EXPECT_EQ(again.faceCamera().screenFrame(), (Rect{500, 200, 120, 90}));
    EXPECT_EQ(again.faceCameraWindow().geometry(), QRect(500, 200, 120, 90));
}

TEST_F(PanelsTest, TheBubbleSaysWhenNoCameraAnswersOrItGoesAway) {
    {
        cameraPresent_ = false;
        RecordingPanels panels(services());
        panels.faceCamera().setVisible(true);
        EXPECT_TRUE(QTest::qWaitFor([&] { return panels.preview().statusText() == "No camera found"; }, 5000));
        EXPECT_TRUE(panels.preview().frame().isNull());
    }
    services_.reset();
    cameraPresent_ = true;
    RecordingPanels panels(services());
    panels.faceCamera().setVisible(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !panels.preview().frame().isNull(); }, 5000));
    const QRgb colour = panels.preview().frame().pixel(10, 10);
    EXPECT_TRUE(isMagenta(qRed(colour), qGreen(colour), qBlue(colour))) << std::hex << colour;
    ASSERT_NE(cameras_->last.load(), nullptr);
    cameras_->last.load()->unplug();
    EXPECT_TRUE(QTest::qWaitFor([&] { return panels.preview().statusText() == "Camera disconnected"; }, 5000));
    EXPECT_TRUE(panels.preview().frame().isNull());
    // Hiding and showing again opens the camera afresh.
    panels.faceCamera().setVisible(false);
    panels.faceCamera().setVisible(true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !panels.preview().frame().isNull(); }, 5000));
}

}  // namespace
}  // namespace orvane::studio
