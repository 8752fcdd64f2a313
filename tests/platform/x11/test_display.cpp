#include "platform/x11/test_display.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

extern char** environ;

namespace orvane::testing {

namespace {

struct Server {
    std::string name;
    pid_t pid = 0;
    ~Server() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
};

bool answers(const std::string& name) {
    Display* display = XOpenDisplay(name.c_str());
    if (!display) return false;
    XCloseDisplay(display);
    return true;
}

Server& server() {
    static Server instance;
    static std::once_flag once;
    std::call_once(once, [] {
        if (const char* given = std::getenv("ORVANE_TEST_DISPLAY"); given && *given && answers(given)) {
            instance.name = given;
        } else {
            // Xvfb picks a display number nobody holds and writes it to the pipe once it accepts
            // clients, so test processes started side by side never race for one.
            int fds[2];
            if (pipe(fds) != 0) throw std::runtime_error("cannot make a pipe for Xvfb");
            // -noreset: an X server resets when its last client leaves, and a connection made during
            // the reset fails.
            std::vector<std::string> args{"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0",
                                          "1280x720x24", "-nolisten", "tcp", "-noreset"};
            std::vector<char*> argv;
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            posix_spawn_file_actions_t actions;
            posix_spawn_file_actions_init(&actions);
            posix_spawn_file_actions_addclose(&actions, fds[0]);
            posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
            const int spawned = posix_spawnp(&instance.pid, "Xvfb", &actions, nullptr, argv.data(), environ);
            posix_spawn_file_actions_destroy(&actions);
            close(fds[1]);
            if (spawned != 0) {
                close(fds[0]);
                throw std::runtime_error("cannot start Xvfb");
            }
            std::string number;
            pollfd wait{fds[0], POLLIN, 0};
            char c = 0;
            while (poll(&wait, 1, 20000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
            close(fds[0]);
            if (number.empty()) throw std::runtime_error("Xvfb did not report a display");
            instance.name = ":" + number;
            if (!answers(instance.name)) throw std::runtime_error("Xvfb did not come up on " + instance.name);
        }
        setenv("DISPLAY", instance.name.c_str(), 1);
    });
    return instance;
}

// One connection for the helpers, used from the test's thread.
Display* helperDisplay() {
    static Display* display = [] {
        Display* d = XOpenDisplay(testDisplayName().c_str());
        if (!d) throw std::runtime_error("cannot open the test display");
        return d;
    }();
    return display;
}

Atom atom(const char* name) { return XInternAtom(helperDisplay(), name, False); }

std::vector<Window>& listedWindows() {
    static std::vector<Window> windows;
    return windows;
}

void publishClientList() {
    Display* d = helperDisplay();
    const auto& windows = listedWindows();
    std::vector<unsigned long> values(windows.begin(), windows.end());
    XChangeProperty(d, DefaultRootWindow(d), atom("_NET_CLIENT_LIST"), XA_WINDOW, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(values.data()), static_cast<int>(values.size()));
    XSync(d, False);
}

}  // namespace

const std::string& testDisplayName() { return server().name; }

void typeChord(const std::vector<unsigned long>& keysyms) {
    Display* d = helperDisplay();
    for (const auto keysym : keysyms) XTestFakeKeyEvent(d, XKeysymToKeycode(d, keysym), True, CurrentTime);
    for (auto it = keysyms.rbegin(); it != keysyms.rend(); ++it) {
        XTestFakeKeyEvent(d, XKeysymToKeycode(d, *it), False, CurrentTime);
    }
    XSync(d, False);
}

void setCapsLock(bool on) {
    Display* d = helperDisplay();
    Window root = 0, child = 0;
    int rootX = 0, rootY = 0, x = 0, y = 0;
    unsigned state = 0;
    XQueryPointer(d, DefaultRootWindow(d), &root, &child, &rootX, &rootY, &x, &y, &state);
    if (((state & LockMask) != 0) != on) typeChord({kKeyCapsLock});
}

ForeignKeyGrab::ForeignKeyGrab(unsigned long keysym, std::uint32_t modifiers) {
    Display* d = XOpenDisplay(testDisplayName().c_str());
    if (!d) throw std::runtime_error("cannot open a second X connection");
    unsigned mask = 0;
    if (modifiers & 1u) mask |= ShiftMask;
    if (modifiers & 2u) mask |= ControlMask;
    if (modifiers & 4u) mask |= Mod1Mask;
    if (modifiers & 8u) mask |= Mod4Mask;
    static int refusals = 0;
    refusals = 0;
    XSync(d, False);
    const auto previous = XSetErrorHandler([](Display*, XErrorEvent*) -> int {
        ++refusals;
        return 0;
    });
    XGrabKey(d, XKeysymToKeycode(d, keysym), mask, DefaultRootWindow(d), False, GrabModeAsync, GrabModeAsync);
    XSync(d, False);
    XSetErrorHandler(previous);
    held_ = refusals == 0;
    display_ = d;
}

ForeignKeyGrab::~ForeignKeyGrab() { XCloseDisplay(static_cast<Display*>(display_)); }

void movePointer(int x, int y) {
    Display* d = helperDisplay();
    XTestFakeMotionEvent(d, -1, x, y, CurrentTime);
    XSync(d, False);
}

void pressLeftButton() {
    Display* d = helperDisplay();
    XTestFakeButtonEvent(d, 1, True, CurrentTime);
    XSync(d, False);
}

void releaseLeftButton() {
    Display* d = helperDisplay();
    XTestFakeButtonEvent(d, 1, False, CurrentTime);
    XSync(d, False);
}

void clickLeftButton() {
    Display* d = helperDisplay();
    XTestFakeButtonEvent(d, 1, True, CurrentTime);
    XTestFakeButtonEvent(d, 1, False, CurrentTime);
    XSync(d, False);
}

void setWorkArea(int x, int y, int width, int height) {
    Display* d = helperDisplay();
    const unsigned long values[4] = {static_cast<unsigned long>(x), static_cast<unsigned long>(y),
                                     static_cast<unsigned long>(width), static_cast<unsigned long>(height)};
    XChangeProperty(d, DefaultRootWindow(d), atom("_NET_WORKAREA"), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(values), 4);
    XSync(d, False);
}

void clearWorkArea() {
    Display* d = helperDisplay();
    XDeleteProperty(d, DefaultRootWindow(d), atom("_NET_WORKAREA"));
    XSync(d, False);
}

TestWindow::TestWindow(const Look& look) : rgb_(look.rgb) {
    Display* d = helperDisplay();
    const int screen = DefaultScreen(d);
    XSetWindowAttributes attributes{};
    attributes.background_pixel = look.rgb;
    attributes.override_redirect = False;
    const Window w = XCreateWindow(d, RootWindow(d, screen), look.x, look.y, static_cast<unsigned>(look.width),
                                   static_cast<unsigned>(look.height), 0, CopyFromParent, InputOutput, CopyFromParent,
                                   CWBackPixel, &attributes);
    window_ = w;
    XClassHint hint{};
    std::string instance = look.wmInstance, className = look.wmClass;
    hint.res_name = instance.data();
    hint.res_class = className.data();
    XSetClassHint(d, w, &hint);
    XChangeProperty(d, w, atom("_NET_WM_NAME"), atom("UTF8_STRING"), 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(look.title.data()), static_cast<int>(look.title.size()));
    const unsigned long pid = static_cast<unsigned long>(look.pid);
    XChangeProperty(d, w, atom("_NET_WM_PID"), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&pid), 1);
    if (look.titleBarHeight > 0) {
        const unsigned long extents[4] = {0, 0, static_cast<unsigned long>(look.titleBarHeight), 0};
        XChangeProperty(d, w, atom("_NET_FRAME_EXTENTS"), XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(extents), 4);
    }
    if (look.takesClicks) XSelectInput(d, w, ButtonPressMask | ButtonReleaseMask);
    XMapRaised(d, w);
    XSync(d, False);
    // Without a window manager the window is placed where it was asked; wait until it is viewable.
    for (int attempt = 0; attempt < 100; ++attempt) {
        XWindowAttributes a{};
        XGetWindowAttributes(d, w, &a);
        if (a.map_state == IsViewable) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    fill(look.rgb);
    listedWindows().push_back(w);
    publishClientList();
}

TestWindow::~TestWindow() { destroy(); }

void TestWindow::moveTo(int x, int y) {
    Display* d = helperDisplay();
    XMoveWindow(d, static_cast<Window>(window_), x, y);
    XSync(d, False);
    fill(rgb_);
}

void TestWindow::fill(std::uint32_t rgb) {
    rgb_ = rgb;
    Display* d = helperDisplay();
    const Window w = static_cast<Window>(window_);
    XSetWindowBackground(d, w, rgb);
    XClearWindow(d, w);
    XSync(d, False);
}

int TestWindow::takePresses() {
    Display* d = helperDisplay();
    XSync(d, False);
    int presses = 0;
    XEvent event;
    while (XCheckTypedWindowEvent(d, static_cast<Window>(window_), ButtonPress, &event)) ++presses;
    return presses;
}

void TestWindow::destroy() {
    if (!window_) return;
    Display* d = helperDisplay();
    auto& windows = listedWindows();
    windows.erase(std::remove(windows.begin(), windows.end(), static_cast<Window>(window_)), windows.end());
    publishClientList();
    XDestroyWindow(d, static_cast<Window>(window_));
    XSync(d, False);
    window_ = 0;
}

}  // namespace orvane::testing
