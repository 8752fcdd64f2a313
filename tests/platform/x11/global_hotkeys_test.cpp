#include <gtest/gtest.h>
#include <poll.h>

#include <chrono>
#include <vector>

#include "platform/x11/test_display.h"
#include "platform/x11/x11_global_hotkeys.h"

namespace orvane {
namespace {

using namespace testing;

constexpr unsigned long kKey6 = '6';
constexpr unsigned long kKey1 = '1';

class X11GlobalHotkeysTest : public ::testing::Test {
protected:
    void SetUp() override {
        testDisplayName();
        setCapsLock(false);
        manager = makeX11GlobalHotkeyManager();
        manager->setHandler([this](HotkeyAction action) { fired.push_back(action); });
    }
    void TearDown() override { setCapsLock(false); }

    // Feeds the manager what the server sent until `count` actions arrived or a second passed;
    // a chord that must not fire is given the whole second.
    std::vector<HotkeyAction> collect(std::size_t count) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        manager->dispatchPending();
        while (fired.size() < count && std::chrono::steady_clock::now() < deadline) {
            pollfd watch{manager->fd(), POLLIN, 0};
            ::poll(&watch, 1, 50);
            manager->dispatchPending();
        }
        return std::exchange(fired, {});
    }

    std::unique_ptr<GlobalHotkeyManager> manager;
    std::vector<HotkeyAction> fired;
};

TEST_F(X11GlobalHotkeysTest, DefaultChordAndItsAltVariantFireWithEitherCapsLockState) {
    ASSERT_TRUE(manager->registerHotkey(HotkeyAction::newRecording, defaultHotkeyChord(HotkeyAction::newRecording)));
    ASSERT_TRUE(manager->registerHotkey(HotkeyAction::screenshot, defaultHotkeyChord(HotkeyAction::screenshot)));

    typeChord({kKeyControl, kKeyShift, kKey6});
    EXPECT_EQ(collect(1), std::vector<HotkeyAction>{HotkeyAction::newRecording});
    typeChord({kKeyControl, kKeyShift, kKeyAlt, kKey6});
    EXPECT_EQ(collect(1), std::vector<HotkeyAction>{HotkeyAction::newRecording});
    typeChord({kKeyControl, kKeyShift, kKey1});
    EXPECT_EQ(collect(1), std::vector<HotkeyAction>{HotkeyAction::screenshot});

    setCapsLock(true);
    typeChord({kKeyControl, kKeyShift, kKey6});
    typeChord({kKeyControl, kKeyShift, kKeyAlt, kKey1});
    EXPECT_EQ(collect(2), (std::vector<HotkeyAction>{HotkeyAction::newRecording, HotkeyAction::screenshot}));
    setCapsLock(false);

    // Other modifiers are other chords.
    typeChord({kKeyControl, kKey6});
    typeChord({kKeyShift, kKey6});
    EXPECT_TRUE(collect(1).empty());
}

TEST_F(X11GlobalHotkeysTest, UnregisteringRemovesBothChordsAndCustomChordsWithAltGetNoVariant) {
    ASSERT_TRUE(manager->registerHotkey(HotkeyAction::newRecording, defaultHotkeyChord(HotkeyAction::newRecording)));
    manager->unregisterHotkey(HotkeyAction::newRecording);
    typeChord({kKeyControl, kKeyShift, kKey6});
    typeChord({kKeyControl, kKeyShift, kKeyAlt, kKey6});
    EXPECT_TRUE(collect(1).empty());

    // Ungrabbed for real: another program can now take the chord.
    {
        ForeignKeyGrab base(kKey6, kHotkeyControl | kHotkeyShift);
        ForeignKeyGrab withAlt(kKey6, kHotkeyControl | kHotkeyShift | kHotkeyAlt);
        EXPECT_TRUE(base.held());
        EXPECT_TRUE(withAlt.held());
    }

    // A custom chord that already holds Alt is registered alone.
    ASSERT_TRUE(manager->registerHotkey(HotkeyAction::screenshot,
                                        {static_cast<std::uint32_t>(kKey1), kHotkeyControl | kHotkeyAlt}));
    typeChord({kKeyControl, kKeyAlt, kKey1});
    EXPECT_EQ(collect(1), std::vector<HotkeyAction>{HotkeyAction::screenshot});
    typeChord({kKeyControl, kKey1});
    EXPECT_TRUE(collect(1).empty());
}

TEST_F(X11GlobalHotkeysTest, ChordsHeldByAnotherProgramAreRefused) {
    const HotkeyChord chord = defaultHotkeyChord(HotkeyAction::newRecording);
    {
        // Only the base chord is taken: the Alt variant still registers, so the action works.
        ForeignKeyGrab other(kKey6, chord.modifiers);
        ASSERT_TRUE(other.held());
        EXPECT_TRUE(manager->registerHotkey(HotkeyAction::newRecording, chord));
        typeChord({kKeyControl, kKeyShift, kKeyAlt, kKey6});
        EXPECT_EQ(collect(1), std::vector<HotkeyAction>{HotkeyAction::newRecording});
        manager->unregisterHotkey(HotkeyAction::newRecording);
    }
    {
        ForeignKeyGrab base(kKey6, chord.modifiers);
        ForeignKeyGrab withAlt(kKey6, chord.modifiers | kHotkeyAlt);
        ASSERT_TRUE(base.held() && withAlt.held());
        EXPECT_FALSE(manager->registerHotkey(HotkeyAction::newRecording, chord));
    }
    // Once the other program lets go, the chord can be had.
    EXPECT_TRUE(manager->registerHotkey(HotkeyAction::newRecording, chord));
}

}  // namespace
}  // namespace orvane
