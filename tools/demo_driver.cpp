// A small scripted scene for the live demo: a window with three buttons on the X display named by
// $DISPLAY, and, once the recorder is running (SIGUSR1), a pointer path through XTest that glides to
// each button and clicks it. The button lights up when the click really arrives, so the recording
// shows real input reaching a real client. Runs until SIGTERM/SIGINT so the window stays on screen.
// With --animate it instead fills the screen with moving bars redrawn at 120 Hz, twice per frame
// of a 60 fps capture, so a capture benchmark finds a new picture at every grab.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <poll.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

volatile std::sig_atomic_t g_go = 0;
volatile std::sig_atomic_t g_quit = 0;

void onGo(int) { g_go = 1; }
void onQuit(int) { g_quit = 1; }

struct Button {
    int x, y, w, h;
    unsigned long idle, lit;
    bool pressed = false;
};

unsigned long rgb(int r, int g, int b) {
    return (static_cast<unsigned long>(r) << 16) | (static_cast<unsigned long>(g) << 8) | static_cast<unsigned long>(b);
}

void draw(Display* display, Window window, GC gc, int width, int height, const std::array<Button, 3>& buttons) {
    XSetForeground(display, gc, rgb(236, 239, 244));
    XFillRectangle(display, window, gc, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height));
    XSetForeground(display, gc, rgb(46, 52, 64));
    XFillRectangle(display, window, gc, 0, 0, static_cast<unsigned>(width), 48);
    XSetForeground(display, gc, rgb(236, 239, 244));
    const char* title = "Orvane live demo";
    XDrawString(display, window, gc, 16, 30, title, static_cast<int>(std::strlen(title)));
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        const auto& b = buttons[i];
        XSetForeground(display, gc, b.pressed ? b.lit : b.idle);
        XFillRectangle(display, window, gc, b.x, b.y, static_cast<unsigned>(b.w), static_cast<unsigned>(b.h));
        XSetForeground(display, gc, rgb(255, 255, 255));
        char label[32];
        std::snprintf(label, sizeof label, b.pressed ? "Clicked %zu" : "Step %zu", i + 1);
        XDrawString(display, window, gc, b.x + 16, b.y + b.h / 2 + 5, label, static_cast<int>(std::strlen(label)));
    }
    XFlush(display);
}

// Handles pending events (exposures, our own button presses) for up to `ms` milliseconds.
void pump(Display* display, Window window, GC gc, int width, int height, std::array<Button, 3>& buttons, int ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    do {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == Expose && event.xexpose.count == 0) draw(display, window, gc, width, height, buttons);
            if (event.type == ButtonPress) {
                for (auto& b : buttons) {
                    const int ex = event.xbutton.x, ey = event.xbutton.y;
                    if (ex >= b.x && ex < b.x + b.w && ey >= b.y && ey < b.y + b.h) b.pressed = true;
                }
                draw(display, window, gc, width, height, buttons);
            }
        }
        pollfd fd{ConnectionNumber(display), POLLIN, 0};
        poll(&fd, 1, 10);
    } while (std::chrono::steady_clock::now() < until && !g_quit);
}

// Full-screen bars that move every frame; no pointer script.
int animate(Display* display) {
    const int screen = DefaultScreen(display);
    const int width = DisplayWidth(display, screen), height = DisplayHeight(display, screen);
    Window window = XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0, static_cast<unsigned>(width),
                                        static_cast<unsigned>(height), 0, 0, 0);
    XMapRaised(display, window);
    GC gc = XCreateGC(display, window, 0, nullptr);
    std::printf("ready\n");
    std::fflush(stdout);
    auto next = std::chrono::steady_clock::now();
    for (long frame = 0; !g_quit; ++frame) {
        constexpr int bars = 16;
        const int barWidth = width / bars;
        for (int i = 0; i < bars; ++i) {
            const int shade = static_cast<int>((frame * 4 + i * 16) % 256);
            XSetForeground(display, gc, rgb(shade, (shade * 3 + i * 40) % 256, 255 - shade));
            XFillRectangle(display, window, gc, i * barWidth, 0, static_cast<unsigned>(barWidth),
                           static_cast<unsigned>(height));
        }
        XSetForeground(display, gc, rgb(255, 255, 255));
        const int boxX = static_cast<int>((frame * 12) % std::max(1, width - 200));
        XFillRectangle(display, window, gc, boxX, height / 2 - 100, 200, 200);
        XSync(display, False);
        next += std::chrono::microseconds(8333);
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - std::chrono::steady_clock::now());
        if (wait.count() > 0) poll(nullptr, 0, static_cast<int>(wait.count()));
    }
    XFreeGC(display, gc);
    XDestroyWindow(display, window);
    XCloseDisplay(display);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        const char* name = std::getenv("DISPLAY");
        std::fprintf(stderr, "orvane_demo_driver: cannot open display %s\n", name ? name : "(unset)");
        return 1;
    }
    int event = 0, error = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(display, &event, &error, &major, &minor)) {
        std::fprintf(stderr, "orvane_demo_driver: the X server has no XTEST extension\n");
        return 1;
    }
    std::signal(SIGUSR1, onGo);
    std::signal(SIGTERM, onQuit);
    std::signal(SIGINT, onQuit);
    if (argc > 1 && std::strcmp(argv[1], "--animate") == 0) return animate(display);
    if (argc > 1) {
        std::fprintf(stderr, "usage: orvane_demo_driver [--animate]\n");
        return 2;
    }

    const int screen = DefaultScreen(display);
    const int screenWidth = DisplayWidth(display, screen), screenHeight = DisplayHeight(display, screen);
    const int width = std::min(900, screenWidth - 80), height = std::min(520, screenHeight - 80);
    const int left = (screenWidth - width) / 2, top = (screenHeight - height) / 2;
    Window window = XCreateSimpleWindow(display, RootWindow(display, screen), left, top, static_cast<unsigned>(width),
                                        static_cast<unsigned>(height), 0, 0, rgb(236, 239, 244));
    XStoreName(display, window, "Orvane live demo");
    XSelectInput(display, window, ExposureMask | ButtonPressMask);
    XMapRaised(display, window);
    GC gc = XCreateGC(display, window, 0, nullptr);

    const int bw = width / 5, bh = 80, by = 90;
    std::array<Button, 3> buttons{{{width / 10, by, bw, bh, rgb(94, 129, 172), rgb(163, 190, 140)},
                                   {width / 2 - bw / 2, by + 160, bw, bh, rgb(94, 129, 172), rgb(235, 203, 139)},
                                   {width - width / 10 - bw, by + 320, bw, bh, rgb(94, 129, 172), rgb(191, 97, 106)}}};
    draw(display, window, gc, width, height, buttons);
    std::printf("ready\n");
    std::fflush(stdout);

    while (!g_go && !g_quit) pump(display, window, gc, width, height, buttons, 50);

    // Glide to each button and click it; the clicks come close enough together to make one zoom that
    // eases out again before the recording ends.
    double px = 40, py = 40;
    for (const auto& b : buttons) {
        if (g_quit) break;
        const double tx = left + b.x + b.w / 2.0, ty = top + b.y + b.h / 2.0;
        constexpr int steps = 26;
        for (int s = 1; s <= steps && !g_quit; ++s) {
            const double t = static_cast<double>(s) / steps;
            const double ease = t * t * (3 - 2 * t);
            XTestFakeMotionEvent(display, screen, static_cast<int>(std::lround(px + (tx - px) * ease)),
                                 static_cast<int>(std::lround(py + (ty - py) * ease)), CurrentTime);
            XFlush(display);
            pump(display, window, gc, width, height, buttons, 16);
        }
        px = tx;
        py = ty;
        pump(display, window, gc, width, height, buttons, 150);
        XTestFakeButtonEvent(display, 1, True, CurrentTime);
        XFlush(display);
        pump(display, window, gc, width, height, buttons, 90);
        XTestFakeButtonEvent(display, 1, False, CurrentTime);
        XFlush(display);
        std::printf("clicked\n");
        std::fflush(stdout);
        pump(display, window, gc, width, height, buttons, 300);
    }
    while (!g_quit) pump(display, window, gc, width, height, buttons, 100);

    XFreeGC(display, gc);
    XDestroyWindow(display, window);
    XCloseDisplay(display);
    return 0;
}
