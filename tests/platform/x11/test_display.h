#pragma once

#include <cstdint>
#include <string>
#include <vector>

// X11 for the tests: a private Xvfb server, windows that stand for other applications, and XTest
// input. Only test code includes this; it keeps X11 headers out of the tests' own files.
namespace orvane::testing {

// The X display the tests use: $ORVANE_TEST_DISPLAY when the CI wrapper started one, otherwise a
// private `Xvfb :N -screen 0 1280x720x24` started on first use and stopped at exit. Sets $DISPLAY
// so code under test connects to it. Never the user's own desktop.
const std::string& testDisplayName();

// Pointer input through XTest, as a user's hand would give it.
void movePointer(int x, int y);
void pressLeftButton();
void releaseLeftButton();
// Press and release in one request, as a touchpad tap or a synthetic click arrives: both events
// reach clients together, with no time between them.
void clickLeftButton();

// Keyboard input through XTest. Keys are X keysyms; the few the tests use are named here so tests
// need no X11 headers.
inline constexpr unsigned long kKeyShift = 0xffe1;
inline constexpr unsigned long kKeyControl = 0xffe3;
inline constexpr unsigned long kKeyAlt = 0xffe9;
inline constexpr unsigned long kKeyCapsLock = 0xffe5;
// Presses the keys in order and releases them in reverse, as a hand plays a chord.
void typeChord(const std::vector<unsigned long>& keysyms);
// Turns Caps Lock on or off (a no-op when it already is).
void setCapsLock(bool on);

// Another program holding a passive grab of one chord on the root window, on a connection of its
// own. `modifiers` uses the HotkeyModifier bits.
class ForeignKeyGrab {
public:
    ForeignKeyGrab(unsigned long keysym, std::uint32_t modifiers);
    ~ForeignKeyGrab();
    ForeignKeyGrab(const ForeignKeyGrab&) = delete;
    ForeignKeyGrab& operator=(const ForeignKeyGrab&) = delete;
    // False when someone else already held the chord.
    bool held() const { return held_; }

private:
    void* display_ = nullptr;
    bool held_ = false;
};

// Declares a work area on the root window (_NET_WORKAREA), as a desktop with a top panel does.
void setWorkArea(int x, int y, int width, int height);
void clearWorkArea();

// A top-level window of another "application", listed in the root's _NET_CLIENT_LIST like a window
// manager would list it, filled with one colour.
class TestWindow {
public:
    struct Look {
        int x = 0, y = 0, width = 200, height = 150;
        std::string title;
        std::string wmInstance = "testapp";
        std::string wmClass = "TestApp";
        long pid = 4242;
        std::uint32_t rgb = 0xFF0000;
        int titleBarHeight = 0;  // published as _NET_FRAME_EXTENTS
        bool takesClicks = false;  // selects button presses, so a click grabs the pointer as in a real app

        static Look at(int x, int y, int width, int height, std::uint32_t rgb) {
            Look look;
            look.x = x;
            look.y = y;
            look.width = width;
            look.height = height;
            look.rgb = rgb;
            return look;
        }
    };
    explicit TestWindow(const Look& look);
    ~TestWindow();
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    std::uint64_t id() const { return window_; }
    void moveTo(int x, int y);
    void fill(std::uint32_t rgb);
    // The button presses delivered to a window that takes clicks since the last call.
    int takePresses();
    void destroy();

private:
    std::uint64_t window_ = 0;
    std::uint32_t rgb_;
};

}  // namespace orvane::testing
