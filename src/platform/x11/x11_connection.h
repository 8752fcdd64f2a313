#pragma once

// Owning handles and small helpers for Xlib. Only files in this folder include X11 headers.

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orvane::x11 {

struct DisplayCloser {
    void operator()(Display* display) const { XCloseDisplay(display); }
};
// One connection to the X server. Xlib connections are not shared between threads here: every
// thread that talks to the server opens its own.
using Connection = std::unique_ptr<Display, DisplayCloser>;

struct XFreeDeleter {
    void operator()(void* data) const {
        if (data) XFree(data);
    }
};
template <typename T>
using XPtr = std::unique_ptr<T, XFreeDeleter>;

struct ImageDestroyer {
    void operator()(XImage* image) const { XDestroyImage(image); }
};
using Image = std::unique_ptr<XImage, ImageDestroyer>;

// Opens the display named by $DISPLAY (or `name`). Throws ScreenCaptureError with a user-facing
// text when no X server answers, e.g. under a Wayland session without Xwayland.
Connection openConnection(const char* name = nullptr);

// Collects X protocol errors raised on this thread instead of letting Xlib's default handler end the
// process (a window may close between listing and reading its properties). While a trap is alive,
// errors raised by this thread's requests are counted; check them after XSync.
class ErrorTrap {
public:
    explicit ErrorTrap(Display* display);
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;
    ~ErrorTrap();
    // Flushes the requests so far and answers whether any of them failed.
    bool failedAfterSync();
    int lastErrorCode() const;

private:
    Display* display_;
    int previousCount_;
};

Atom atom(Display* display, const char* name);

// A window property of the given type as 32-bit items (Xlib stores them in longs) or as bytes.
std::vector<unsigned long> cardinalProperty(Display* display, Window window, Atom property, Atom type);
std::optional<std::string> textProperty(Display* display, Window window, Atom property);

// Whether the server hands out windows' own pictures (XComposite 0.2 or later).
bool hasComposite(Display* display);

}  // namespace orvane::x11
