#include "recording/panels/teleprompter.h"

#include <gtest/gtest.h>

#include "base/manual_executor.h"
#include "platform/linux/json_preferences_store.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

using namespace std::chrono_literals;

class TeleprompterTest : public ::testing::Test {
protected:
    testing::TempDir folder_;
    JsonPreferencesStore store_{folder_ / "preferences.json"};
    Preferences preferences_{store_};
    ManualExecutor main_;
};

TEST_F(TeleprompterTest, StoredLookIsReadWithDefaultsAndClampedOpacity) {
    {
        TeleprompterController fresh(preferences_, main_);
        EXPECT_EQ(fresh.opacity(), 0);
        EXPECT_EQ(fresh.fontSize(), 30);
        EXPECT_EQ(fresh.scrollSpeed(), 42);
        EXPECT_FALSE(fresh.storedFrame());
    }
    preferences_.setTeleprompterTextPlateOpacity(0.8);
    preferences_.setTeleprompterFontSize(44);
    preferences_.setTeleprompterScrollSpeed(12);
    TeleprompterController teleprompter(preferences_, main_);
    EXPECT_EQ(teleprompter.opacity(), 0.35);
    EXPECT_EQ(teleprompter.fontSize(), 44);
    EXPECT_EQ(teleprompter.scrollSpeed(), 12);

    teleprompter.setOpacity(-1);
    EXPECT_EQ(preferences_.teleprompterTextPlateOpacity(), 0);
    teleprompter.setFontSize(26);
    EXPECT_EQ(preferences_.teleprompterFontSize(), 26);
    teleprompter.setScrollSpeed(60);
    EXPECT_EQ(preferences_.teleprompterScrollSpeed(), 60);

    teleprompter.setFrame({100, 80, 300, 100});
    EXPECT_EQ(teleprompter.storedFrame(), (Rect{100, 80, 420, 180})) << "the window's minimum size applies";
}

TEST_F(TeleprompterTest, AutoScrollMovesBySpeedTimesElapsedTimeUntilStopped) {
    TeleprompterController teleprompter(preferences_, main_);
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

TEST_F(TeleprompterTest, SettingTheOffsetKeepsItWithinTheScript) {
    TeleprompterController teleprompter(preferences_, main_);
    teleprompter.setOverflowHeight(250);
    teleprompter.setScrollOffset(400);
    EXPECT_EQ(teleprompter.scrollOffset(), 250);
    teleprompter.setScrollOffset(-20);
    EXPECT_EQ(teleprompter.scrollOffset(), 0);
    teleprompter.setOverflowHeight(-5);
    teleprompter.setScrollOffset(10);
    EXPECT_EQ(teleprompter.scrollOffset(), 0) << "a script that fits does not scroll";
}

}  // namespace
}  // namespace orvane
