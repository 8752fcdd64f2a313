#include "app/global_hotkey_wiring.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <thread>

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

TEST_F(GlobalHotkeyWiringTest, CustomChordsApplyLiveAndWritesFromOtherThreadsSyncOnTheMainLoop) {
    auto wiring = std::make_unique<GlobalHotkeyWiring>(
        preferences, hotkeys, toasts, router, [] {}, &loop);
    preferences.setHotkeyNewRecordingEnabled(true);
    EXPECT_TRUE(hotkeys.held.empty()) << "the sync waits for the main loop";
    loop.runPending();
    ASSERT_EQ(hotkeys.held[HotkeyAction::newRecording].size(), 2u);
    EXPECT_EQ(hotkeys.held[HotkeyAction::newRecording][0], defaultHotkeyChord(HotkeyAction::newRecording));

    // A custom chord replaces the default at once; one that already holds Alt has no Alt variant.
    std::thread writer(
        [&] { GlobalHotkeyWiring::setCustomChordText(preferences, HotkeyAction::newRecording, "Ctrl+Alt+R"); });
    writer.join();
    loop.runPending();
    ASSERT_EQ(hotkeys.held[HotkeyAction::newRecording].size(), 1u);
    EXPECT_EQ(hotkeys.held[HotkeyAction::newRecording][0], (HotkeyChord{'r', kHotkeyControl | kHotkeyAlt}));

    // Text that is no chord (written by hand into the file) keeps the shortcut on its default.
    GlobalHotkeyWiring::setCustomChordText(preferences, HotkeyAction::newRecording, "Ctrl+Banana");
    loop.runPending();
    EXPECT_EQ(hotkeys.held[HotkeyAction::newRecording][0], defaultHotkeyChord(HotkeyAction::newRecording));

    // A chord for a switched-off action registers nothing; a wiring gone before its sync ran is safe.
    GlobalHotkeyWiring::setCustomChordText(preferences, HotkeyAction::screenshot, "Super+F9");
    preferences.setHotkeyNewRecordingEnabled(false);
    wiring.reset();
    loop.runPending();
    EXPECT_EQ(hotkeys.held.count(HotkeyAction::screenshot), 0u);
    EXPECT_EQ(hotkeys.held.count(HotkeyAction::newRecording), 1u);
}

TEST(HotkeyChordText, ReadsWhatPeopleWriteAndRefusesBareOrUnknownKeys) {
    EXPECT_EQ(parseHotkeyChord("Ctrl+Shift+6"), (HotkeyChord{'6', kHotkeyControl | kHotkeyShift}));
    EXPECT_EQ(parseHotkeyChord(" control + alt + r "), (HotkeyChord{'r', kHotkeyControl | kHotkeyAlt}));
    EXPECT_EQ(parseHotkeyChord("SUPER+f12"), (HotkeyChord{0xffc9, kHotkeySuper}));
    EXPECT_EQ(parseHotkeyChord("Shift+F1"), (HotkeyChord{0xffbe, kHotkeyShift}));
    for (const char* bad : {"", "6", "Ctrl+", "Ctrl+Shift", "Ctrl+6+Shift", "Ctrl+F13", "Ctrl+F0", "Ctrl++6",
                            "Ctrl+Hyper+6", "Ctrl+ß", "Ctrl+66"}) {
        EXPECT_EQ(parseHotkeyChord(bad), std::nullopt) << bad;
    }
    // Printing and reading again gives the same chord.
    for (const HotkeyChord chord :
         {HotkeyChord{'z', kHotkeyControl | kHotkeyShift | kHotkeyAlt | kHotkeySuper},
          HotkeyChord{0xffbe + 8, kHotkeyAlt}, defaultHotkeyChord(HotkeyAction::screenshot)}) {
        EXPECT_EQ(parseHotkeyChord(hotkeyChordText(chord)), chord) << hotkeyChordText(chord);
    }
    EXPECT_EQ(hotkeyChordText(HotkeyChord{'r', kHotkeyAlt | kHotkeyControl}), "Ctrl+Alt+R");
}

}  // namespace
}  // namespace orvane
