#include "app/global_hotkey_wiring.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "app/preferences.h"
#include "app/recording_commands.h"
#include "base/manual_executor.h"
#include "base/toast_center.h"
#include "platform/linux/json_preferences_store.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

// Holds chords the way a window system does: a chord someone else owns is refused.
class FakeHotkeys final : public GlobalHotkeyManager {
public:
    void setHandler(Handler handler) override { handler_ = std::move(handler); }
    bool registerHotkey(HotkeyAction action, const HotkeyChord& chord) override {
        unregisterHotkey(action);
        for (const auto& variant : hotkeyVariants(chord)) {
            if (!takenElsewhere.count(variant.modifiers)) held[action].push_back(variant);
        }
        return held.count(action) > 0;
    }
    void unregisterHotkey(HotkeyAction action) override { held.erase(action); }
    int fd() const override { return -1; }
    void dispatchPending() override {}

    void press(HotkeyAction action) { handler_(action); }

    std::map<HotkeyAction, std::vector<HotkeyChord>> held;
    std::set<std::uint32_t> takenElsewhere;

private:
    Handler handler_;
};

class GlobalHotkeyWiringTest : public ::testing::Test {
protected:
    std::unique_ptr<GlobalHotkeyWiring> wire() {
        return std::make_unique<GlobalHotkeyWiring>(preferences, hotkeys, toasts, router, [this] { ++screenshots; });
    }

    testing::TempDir dir;
    JsonPreferencesStore store{dir / "preferences.json"};
    Preferences preferences{store};
    FakeHotkeys hotkeys;
    ManualExecutor loop;
    ToastCenter toasts{loop};
    RecordingCommandRouter router;
    int screenshots = 0;
};

TEST_F(GlobalHotkeyWiringTest, SwitchesRegisterBothChordsAndPressesReachTheRouter) {
    auto wiring = wire();
    wiring->syncFromPreferences();
    EXPECT_TRUE(hotkeys.held.empty());  // both off by default

    wiring->setHotkeyNewRecordingEnabled(true);
    ASSERT_EQ(hotkeys.held[HotkeyAction::newRecording].size(), 2u);
    EXPECT_EQ(hotkeys.held[HotkeyAction::newRecording][1].modifiers, kHotkeyControl | kHotkeyShift | kHotkeyAlt);
    hotkeys.press(HotkeyAction::newRecording);
    ASSERT_TRUE(router.newRecordingRequest());
    EXPECT_EQ(router.newRecordingRequest()->kind, std::nullopt);

    // A change written by anyone else (the settings screen, another process) syncs too.
    preferences.setHotkeyScreenshotEnabled(true);
    hotkeys.press(HotkeyAction::screenshot);
    EXPECT_EQ(screenshots, 1);

    wiring->setHotkeyNewRecordingEnabled(false);
    EXPECT_EQ(hotkeys.held.count(HotkeyAction::newRecording), 0u);
    EXPECT_EQ(hotkeys.held.count(HotkeyAction::screenshot), 1u);
    EXPECT_TRUE(toasts.toasts().empty());

    // At the next launch the enabled switch registers again.
    wiring.reset();
    hotkeys.held.clear();
    wire()->syncFromPreferences();
    EXPECT_EQ(hotkeys.held.count(HotkeyAction::screenshot), 1u);
    EXPECT_EQ(hotkeys.held.count(HotkeyAction::newRecording), 0u);
}

TEST_F(GlobalHotkeyWiringTest, RefusedChordShowsTheWarningOnlyWhenNothingWasBound) {
    auto wiring = wire();
    hotkeys.takenElsewhere = {kHotkeyControl | kHotkeyShift};
    wiring->setHotkeyNewRecordingEnabled(true);
    EXPECT_TRUE(toasts.toasts().empty());  // the Alt variant still works

    hotkeys.takenElsewhere.insert(kHotkeyControl | kHotkeyShift | kHotkeyAlt);
    wiring->setHotkeyScreenshotEnabled(true);
    ASSERT_EQ(toasts.toasts().size(), 1u);
    EXPECT_EQ(toasts.toasts()[0].level, ToastLevel::warning);
    EXPECT_EQ(toasts.toasts()[0].title, "Couldn't bind the shortcut");
    EXPECT_EQ(toasts.toasts()[0].detail,
              "Another app may already use this chord. Pick a different shortcut from Orvane \u2192 Settings \u2192 "
              "Shortcuts.");
}

TEST_F(GlobalHotkeyWiringTest, OnboardingIsShownUntilDismissedOnce) {
    EXPECT_TRUE(wire()->showHotkeyOnboarding());
    auto wiring = wire();
    wiring->dismissHotkeyOnboarding();
    EXPECT_FALSE(wiring->showHotkeyOnboarding());
    EXPECT_TRUE(preferences.hotkeyOnboardingShown());
    EXPECT_FALSE(wire()->showHotkeyOnboarding());
}

}  // namespace
}  // namespace orvane
