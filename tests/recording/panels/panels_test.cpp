#include <gtest/gtest.h>

#include "base/manual_executor.h"
#include "recording/panels/face_camera_panel.h"
#include "recording/panels/panel_frame_text.h"
#include "recording/panels/teleprompter.h"

namespace orvane {
namespace {

using namespace std::chrono_literals;

// What the panels hand on to be kept, kept here the way the settings store would.
class PanelTest : public ::testing::Test {
protected:
    FaceCameraPanelMemory faceMemory() {
        return {[this](const std::string& frame) { face_.frame = frame; },
                [this](double radius) { face_.cornerRadius = radius; },
                [this](bool flipped) { face_.flipped = flipped; }};
    }
    TeleprompterMemory teleprompterMemory() {
        return {[this](const std::string& frame) { teleprompter_.frame = frame; },
                [this](double opacity) { teleprompter_.textPlateOpacity = opacity; },
                [this](double points) { teleprompter_.fontSize = points; },
                [this](double speed) { teleprompter_.scrollSpeed = speed; }};
    }

    FaceCameraPanelSettings face_;
    TeleprompterSettings teleprompter_;
    ManualExecutor main_;
};

TEST_F(PanelTest, FaceCameraRadiusPicksCircleOrRoundedRectangle) {
    FaceCameraPanel panel(faceMemory());
    panel.setScreenFrame({1000, 500, 120, 100});
    panel.setCornerRadius(60);
    // A large radius makes a circle and squares the panel around its centre.
    EXPECT_TRUE(panel.isCircular());
    EXPECT_EQ(panel.screenFrame(), (Rect{950, 440, 220, 220}));
    EXPECT_EQ(parsePanelFrameText(*face_.frame), panel.screenFrame());
    EXPECT_EQ(panel.effectiveCornerRadius(), 999);
    EXPECT_EQ(face_.cornerRadius, 60);
    EXPECT_TRUE(panel.mask().circular);
    EXPECT_EQ(panel.mask().maskRect, (Rect{0, 0, 220, 220})) << "the circle fills the grown square";
    EXPECT_EQ(panel.screenFrame(), (Rect{950, 440, 220, 220}));
    // A wide circle keeps its height and centres the inscribed circle.
    panel.setCornerRadius(999);
    panel.setScreenFrame({0, 0, 300, 250});
    EXPECT_EQ(panel.screenFrame(), (Rect{0, -25, 300, 300}));
    panel.setScreenFrame({0, 0, 400, 260});
    EXPECT_EQ(panel.screenFrame(), (Rect{0, -70, 400, 400}));
    EXPECT_EQ(panel.effectiveCornerRadius(), 999);

    // A small radius is a rounded rectangle that keeps the frame.
    FaceCameraPanel rounded(faceMemory());
    rounded.setScreenFrame({10, 20, 120, 100});
    rounded.setCornerRadius(20);
    EXPECT_FALSE(rounded.isCircular());
    const auto mask = rounded.applyShape();
    EXPECT_FALSE(mask.circular);
    EXPECT_EQ(mask.maskRect, (Rect{0, 0, 120, 100}));
    EXPECT_EQ(mask.maskCornerRadius, 20);
    EXPECT_EQ(rounded.effectiveCornerRadius(), 20) << "the recorder stores the radius itself";
    EXPECT_EQ(rounded.screenFrame(), (Rect{10, 20, 120, 100}));
    // Just under half the short side minus half a point is still a rounded rectangle.
    rounded.setCornerRadius(49.4);
    EXPECT_FALSE(rounded.isCircular());
    rounded.setCornerRadius(49.5);
    EXPECT_TRUE(rounded.isCircular());
}

TEST_F(PanelTest, FaceCameraRestoresWhatWasStoredWithDefaultsForMissingOrUnreadableValues) {
    {
        FaceCameraPanel fresh(faceMemory());
        fresh.restore(face_);
        EXPECT_EQ(fresh.cornerRadius(), 18);
        EXPECT_FALSE(fresh.isFlipped());
    }
    face_.frame = "{{40, 60}, {300, 200}}";
    face_.cornerRadius = 0;
    face_.flipped = true;
    FaceCameraPanel panel(faceMemory());
    panel.restore(face_);
    EXPECT_EQ(panel.screenFrame(), (Rect{40, 60, 300, 200}));
    EXPECT_EQ(panel.cornerRadius(), 18) << "a stored 0 means the default radius";
    EXPECT_TRUE(panel.isFlipped());

    face_.frame = "{{40, 60}, {300}}";
    face_.cornerRadius = 32;
    panel.restore(face_);
    EXPECT_EQ(panel.screenFrame(), (Rect{40, 60, 300, 200})) << "an unreadable frame is ignored";
    EXPECT_EQ(panel.cornerRadius(), 32);

    // Dragging stores the frame, never below the window's minimum size.
    panel.setScreenFrame({-5.5, 7.25, 50, 50});
    EXPECT_EQ(face_.frame, "{{-5.5, 7.25}, {120, 90}}");
}

TEST(FaceCameraNormalizedFrame, IsTheShareOfTheCapturedDisplayOnlyWhenMostOfThePanelIsOnIt) {
    const Rect display{0, 0, 1000, 500};
    EXPECT_EQ(faceCameraNormalizedFrame({750, 300, 200, 100}, display), (Rect{0.75, 0.6, 0.2, 0.2}));
    // Two thirds on the display to the right, or exactly half: not part of this recording.
    EXPECT_FALSE(faceCameraNormalizedFrame({900, 100, 300, 100}, display));
    EXPECT_FALSE(faceCameraNormalizedFrame({900, 100, 200, 100}, display));
    // A panel hanging over the top-left corner is clamped to the frame.
    const auto overhang = faceCameraNormalizedFrame({-10, -10, 100, 100}, display);
    ASSERT_TRUE(overhang);
    EXPECT_EQ(overhang->x, 0);
    EXPECT_EQ(overhang->y, 0);
    // A second display placed to the right of the first, captured on its own.
    EXPECT_DOUBLE_EQ(faceCameraNormalizedFrame({1100, 50, 100, 50}, Rect{1000, 0, 800, 600})->x, 0.125);
    EXPECT_FALSE(faceCameraNormalizedFrame({100, 100, 100, 100}, Rect{0, 0, 0, 0}));

    // The stored frame text round-trips and refuses what is not a frame.
    const Rect frame{12.5, -3, 640, 480.25};
    EXPECT_EQ(panelFrameText(frame), "{{12.5, -3}, {640, 480.25}}");
    EXPECT_EQ(parsePanelFrameText(panelFrameText(frame)), frame);
    EXPECT_EQ(parsePanelFrameText(" { {1,2} , {3, 4} } "), (Rect{1, 2, 3, 4}));
    for (const char* bad : {"", "{{1, 2}, {3, 4}} extra", "{{nan, 2}, {3, 4}}", "1 2 3 4"}) {
        EXPECT_FALSE(parsePanelFrameText(bad)) << bad;
    }
}

TEST_F(PanelTest, TeleprompterStoresItsLookWithDefaultsAndClamps) {
    {
        TeleprompterController fresh(teleprompter_, teleprompterMemory(), main_);
        EXPECT_EQ(fresh.opacity(), 0);
        EXPECT_EQ(fresh.fontSize(), 30);
        EXPECT_EQ(fresh.scrollSpeed(), 42);
        EXPECT_FALSE(fresh.storedFrame());
    }
    teleprompter_ = {std::nullopt, 0.8, 44, 12};
    TeleprompterController teleprompter(teleprompter_, teleprompterMemory(), main_);
    EXPECT_EQ(teleprompter.opacity(), 0.35);
    EXPECT_EQ(teleprompter.fontSize(), 44);
    EXPECT_EQ(teleprompter.scrollSpeed(), 12);
    teleprompter.setOpacity(-1);
    EXPECT_EQ(teleprompter_.textPlateOpacity, 0);
    teleprompter.setFontSize(26);
    EXPECT_EQ(teleprompter_.fontSize, 26);
    teleprompter.setScrollSpeed(60);
    EXPECT_EQ(teleprompter_.scrollSpeed, 60);
    teleprompter.setFrame({100, 80, 300, 100});
    EXPECT_EQ(teleprompter.storedFrame(), (Rect{100, 80, 420, 180})) << "the window's minimum size applies";
    EXPECT_EQ(teleprompter_.frame, "{{100, 80}, {420, 180}}");

    // A manual offset stays within the script; a script that fits does not scroll.
    teleprompter.setOverflowHeight(250);
    teleprompter.setScrollOffset(400);
    EXPECT_EQ(teleprompter.scrollOffset(), 250);
    teleprompter.setScrollOffset(-20);
    EXPECT_EQ(teleprompter.scrollOffset(), 0);
    teleprompter.setOverflowHeight(-5);
    teleprompter.setScrollOffset(10);
    EXPECT_EQ(teleprompter.scrollOffset(), 0);
}

TEST_F(PanelTest, TeleprompterAutoScrollMovesBySpeedTimesElapsedTimeUntilStopped) {
    TeleprompterController teleprompter(teleprompter_, teleprompterMemory(), main_);
    teleprompter.setOverflowHeight(1000);
    teleprompter.setScrollSpeed(60);
    teleprompter.startAutoScroll();
    EXPECT_TRUE(teleprompter.isAutoScrolling());
    main_.advance(1s);
    // 60 ticks; the first only sets the clock, the other 59 each add 1/60 s worth.
    EXPECT_NEAR(teleprompter.scrollOffset(), 59.0, 1e-4);
    teleprompter.stopAutoScroll();
    main_.advance(1s);
    EXPECT_NEAR(teleprompter.scrollOffset(), 59.0, 1e-4) << "a stopped teleprompter stays put";
    EXPECT_EQ(main_.pendingCount(), 0u);

    // Restarting does not count the paused time.
    teleprompter.startAutoScroll();
    main_.advance(std::chrono::duration_cast<Duration>(std::chrono::duration<double>(2.0 / 60.0)));
    EXPECT_NEAR(teleprompter.scrollOffset(), 60.0, 1e-4);
    teleprompter.stopAutoScroll();

    teleprompter.setScrollSpeed(-30);
    teleprompter.startAutoScroll();
    main_.advance(1s);
    EXPECT_NEAR(teleprompter.scrollOffset(), 60.0, 1e-4) << "a negative speed never scrolls backwards";
    teleprompter.stopAutoScroll();
}

}  // namespace
}  // namespace orvane
