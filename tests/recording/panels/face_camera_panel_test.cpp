#include "recording/panels/face_camera_panel.h"

#include <gtest/gtest.h>

#include "platform/linux/json_preferences_store.h"
#include "recording/panels/panel_frame_text.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

class FaceCameraPanelTest : public ::testing::Test {
protected:
    testing::TempDir folder_;
    JsonPreferencesStore store_{folder_ / "preferences.json"};
    Preferences preferences_{store_};
};

TEST_F(FaceCameraPanelTest, LargeRadiusMakesACircleAndSquaresThePanelAroundItsCentre) {
    FaceCameraPanel panel(preferences_);
    panel.setScreenFrame({1000, 500, 120, 100});
    panel.setCornerRadius(60);

    EXPECT_TRUE(panel.isCircular());
    EXPECT_EQ(panel.screenFrame(), (Rect{950, 440, 220, 220}));
    EXPECT_EQ(parsePanelFrameText(*preferences_.faceCameraFrame()), panel.screenFrame());
    EXPECT_EQ(panel.effectiveCornerRadius(), 999);
    EXPECT_EQ(preferences_.faceCameraRadius(), 60);

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
}

TEST_F(FaceCameraPanelTest, SmallRadiusIsARoundedRectangleThatKeepsTheFrame) {
    FaceCameraPanel panel(preferences_);
    panel.setScreenFrame({10, 20, 120, 100});
    panel.setCornerRadius(20);
    EXPECT_FALSE(panel.isCircular());
    const auto mask = panel.applyShape();
    EXPECT_FALSE(mask.circular);
    EXPECT_EQ(mask.maskRect, (Rect{0, 0, 120, 100}));
    EXPECT_EQ(mask.maskCornerRadius, 20);
    EXPECT_EQ(panel.effectiveCornerRadius(), 20) << "the recorder stores the radius itself";
    EXPECT_EQ(panel.screenFrame(), (Rect{10, 20, 120, 100}));

    // Just under half the short side minus half a point is still a rounded rectangle.
    panel.setCornerRadius(49.4);
    EXPECT_FALSE(panel.isCircular());
    panel.setCornerRadius(49.5);
    EXPECT_TRUE(panel.isCircular());
}

TEST_F(FaceCameraPanelTest, RestoresWhatWasStoredWithDefaultsForMissingOrUnreadableValues) {
    {
        FaceCameraPanel fresh(preferences_);
        fresh.restore();
        EXPECT_EQ(fresh.cornerRadius(), 18);
        EXPECT_FALSE(fresh.isFlipped());
    }
    preferences_.setFaceCameraFrame("{{40, 60}, {300, 200}}");
    preferences_.setFaceCameraRadius(0);
    preferences_.setFaceCameraFlipped(true);
    FaceCameraPanel panel(preferences_);
    panel.restore();
    EXPECT_EQ(panel.screenFrame(), (Rect{40, 60, 300, 200}));
    EXPECT_EQ(panel.cornerRadius(), 18) << "a stored 0 means the default radius";
    EXPECT_TRUE(panel.isFlipped());

    preferences_.setFaceCameraFrame("{{40, 60}, {300}}");
    preferences_.setFaceCameraRadius(32);
    panel.restore();
    EXPECT_EQ(panel.screenFrame(), (Rect{40, 60, 300, 200})) << "an unreadable frame is ignored";
    EXPECT_EQ(panel.cornerRadius(), 32);

    // Dragging stores the frame, never below the window's minimum size.
    panel.setScreenFrame({-5.5, 7.25, 50, 50});
    EXPECT_EQ(preferences_.faceCameraFrame(), "{{-5.5, 7.25}, {120, 90}}");
}

TEST(FaceCameraNormalizedFrame, IsTheShareOfTheCapturedDisplayOnlyWhenMostOfThePanelIsOnIt) {
    const Rect display{0, 0, 1000, 500};
    const auto inside = faceCameraNormalizedFrame({750, 300, 200, 100}, display);
    ASSERT_TRUE(inside);
    EXPECT_DOUBLE_EQ(inside->x, 0.75);
    EXPECT_DOUBLE_EQ(inside->y, 0.6);
    EXPECT_DOUBLE_EQ(inside->width, 0.2);
    EXPECT_DOUBLE_EQ(inside->height, 0.2);

    // Two thirds on the display to the right: not part of this recording.
    EXPECT_FALSE(faceCameraNormalizedFrame({900, 100, 300, 100}, display));
    // Exactly half is not "more than half".
    EXPECT_FALSE(faceCameraNormalizedFrame({900, 100, 200, 100}, display));

    // A panel hanging over the top-left corner is clamped to the frame.
    const auto overhang = faceCameraNormalizedFrame({-10, -10, 100, 100}, display);
    ASSERT_TRUE(overhang);
    EXPECT_EQ(overhang->x, 0);
    EXPECT_EQ(overhang->y, 0);

    // A second display placed to the right of the first, captured on its own.
    const auto secondary = faceCameraNormalizedFrame({1100, 50, 100, 50}, Rect{1000, 0, 800, 600});
    ASSERT_TRUE(secondary);
    EXPECT_DOUBLE_EQ(secondary->x, 0.125);
    EXPECT_FALSE(faceCameraNormalizedFrame({100, 100, 100, 100}, Rect{0, 0, 0, 0}));
}

TEST(PanelFrameText, RoundTripsAndRejectsWhatIsNotAFrame) {
    const Rect frame{12.5, -3, 640, 480.25};
    EXPECT_EQ(panelFrameText(frame), "{{12.5, -3}, {640, 480.25}}");
    EXPECT_EQ(parsePanelFrameText(panelFrameText(frame)), frame);
    EXPECT_EQ(parsePanelFrameText(" { {1,2} , {3, 4} } "), (Rect{1, 2, 3, 4}));
    EXPECT_FALSE(parsePanelFrameText(""));
    EXPECT_FALSE(parsePanelFrameText("{{1, 2}, {3, 4}} extra"));
    EXPECT_FALSE(parsePanelFrameText("{{nan, 2}, {3, 4}}"));
    EXPECT_FALSE(parsePanelFrameText("1 2 3 4"));
}

}  // namespace
}  // namespace orvane
