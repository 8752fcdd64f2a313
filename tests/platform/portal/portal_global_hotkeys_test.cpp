#include "platform/portal/portal_global_hotkeys.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "support/temp_dir.h"

namespace orvane {
namespace {

TEST(PortalShortcutTriggerTest, ChordsAreAskedForInThePortalsOwnSpelling) {
    EXPECT_EQ(portalShortcutTrigger(defaultHotkeyChord(HotkeyAction::newRecording)), "CTRL+SHIFT+6");
    EXPECT_EQ(portalShortcutTrigger(*parseHotkeyChord("Super+Alt+R")), "ALT+LOGO+r");
    EXPECT_EQ(portalShortcutTrigger(*parseHotkeyChord("Ctrl+F12")), "CTRL+F12");
}

// The desktop's side of the portal is the session's test backend: it logs what it was asked and
// presses a shortcut when told to, as a user at the keyboard would.
class PortalGlobalHotkeysTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* log = std::getenv("ORVANE_PORTAL_BACKEND_LOG");
        const char* decline = std::getenv("ORVANE_PORTAL_BACKEND_DECLINE");
        if (!log || !decline) {
            GTEST_SKIP() << "runs inside the headless Wayland session with the test portal backend "
                            "(ctest -R orvane_wayland_record_test)";
        }
        log_ = log;
        decline_ = decline;
    }

    std::string backendLog() const {
        std::ifstream in(log_);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    static bool press(const std::string& id) {
        const std::string command =
            "busctl --user call org.freedesktop.impl.portal.desktop.orvanetest /org/freedesktop/portal/desktop "
            "org.orvane.test.Keyboard Press s " +
            id + " >/dev/null";
        return std::system(command.c_str()) == 0;
    }

    // The presses once there are `count`, or whatever came within a generous bound.
    std::vector<HotkeyAction> waitForPresses(PortalGlobalHotkeys& hotkeys, std::size_t count) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (pressed_.size() < count && std::chrono::steady_clock::now() < deadline) {
            pollfd watched{hotkeys.fd(), POLLIN, 0};
            ::poll(&watched, 1, 100);
            hotkeys.dispatchPending();
        }
        return pressed_;
    }

    std::string log_;
    std::string decline_;
    std::vector<HotkeyAction> pressed_;
};

TEST_F(PortalGlobalHotkeysTest, BoundChordsArriveAsPressesUntilUnboundAndARefusalIsReported) {
    auto hotkeys = PortalGlobalHotkeys::connect();
    ASSERT_NE(hotkeys, nullptr) << "the session's portal offers GlobalShortcuts";
    hotkeys->setHandler([this](HotkeyAction action) { pressed_.push_back(action); });

    ASSERT_TRUE(hotkeys->registerHotkey(HotkeyAction::newRecording, defaultHotkeyChord(HotkeyAction::newRecording)));
    ASSERT_TRUE(hotkeys->registerHotkey(HotkeyAction::screenshot, *parseHotkeyChord("Super+Alt+R")));
    const auto asked = backendLog();
    EXPECT_NE(asked.find("bind newRecording CTRL+SHIFT+6"), std::string::npos) << asked;
    EXPECT_NE(asked.find("bind screenshot ALT+LOGO+r"), std::string::npos) << asked;

    ASSERT_TRUE(press("newRecording"));
    ASSERT_TRUE(press("screenshot"));
    EXPECT_EQ(waitForPresses(*hotkeys, 2),
              (std::vector<HotkeyAction>{HotkeyAction::newRecording, HotkeyAction::screenshot}));

    // Unbound: the desktop may still send the old session's key, which is not ours any more.
    hotkeys->unregisterHotkey(HotkeyAction::newRecording);
    press("newRecording");
    ASSERT_TRUE(press("screenshot"));
    EXPECT_EQ(
        waitForPresses(*hotkeys, 3),
        (std::vector<HotkeyAction>{HotkeyAction::newRecording, HotkeyAction::screenshot, HotkeyAction::screenshot}));

    // The user declines in the desktop's dialog.
    testing::writeTextFile(decline_, "");
    EXPECT_FALSE(hotkeys->registerHotkey(HotkeyAction::newRecording, defaultHotkeyChord(HotkeyAction::newRecording)));
    std::filesystem::remove(decline_);
}

}  // namespace
}  // namespace orvane
