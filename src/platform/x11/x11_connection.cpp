#include "platform/x11/x11_connection.h"

#include <X11/Xatom.h>
#include <X11/extensions/Xcomposite.h>

#include <mutex>

#include "base/log.h"
#include "platform/screen_capture.h"

namespace orvane::x11 {

namespace {

// Per thread, so a trap on the capture thread never sees the pointer thread's errors.
thread_local int trappedErrors = 0;
thread_local int trappedErrorCode = 0;

int countError(Display*, XErrorEvent* event) {
    ++trappedErrors;
    trappedErrorCode = event->error_code;
    return 0;
}

// Xlib's default handler exits the process on any protocol error; a window that closes while we
// read it must not end a recording. The handler is process-wide, so install it once.
void installErrorHandler() {
    static std::once_flag once;
    std::call_once(once, [] {
        XInitThreads();
        XSetErrorHandler(countError);
    });
}

}  // namespace

Connection openConnection(const char* name) {
    installErrorHandler();
    Display* display = XOpenDisplay(name);
    if (!display) {
        const char* wanted = name ? name : std::getenv("DISPLAY");
        throw ScreenCaptureError(std::string("Could not connect to the X display ") +
                                 (wanted && *wanted ? std::string("\"") + wanted + "\"" : std::string("(DISPLAY is not set)")) +
                                 ". Screen recording needs an X11 session.");
    }
    return Connection(display);
}

ErrorTrap::ErrorTrap(Display* display) : display_(display), previousCount_(trappedErrors) {}

ErrorTrap::~ErrorTrap() {
    // Errors from requests made under the trap are consumed here rather than counted later.
    XSync(display_, False);
    trappedErrors = previousCount_;
}

bool ErrorTrap::failedAfterSync() {
    XSync(display_, False);
    return trappedErrors != previousCount_;
}

int ErrorTrap::lastErrorCode() const { return trappedErrorCode; }

Atom atom(Display* display, const char* name) { return XInternAtom(display, name, False); }

std::vector<unsigned long> cardinalProperty(Display* display, Window window, Atom property, Atom type) {
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    ErrorTrap trap(display);
    const int status = XGetWindowProperty(display, window, property, 0, 1 << 16, False, type, &actualType, &format,
                                          &count, &remaining, &data);
    XPtr<unsigned char> owned(data);
    if (status != Success || actualType != type || format != 32 || !data) return {};
    const auto* items = reinterpret_cast<const unsigned long*>(data);
    return std::vector<unsigned long>(items, items + count);
}

std::optional<std::string> textProperty(Display* display, Window window, Atom property) {
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    ErrorTrap trap(display);
    const int status = XGetWindowProperty(display, window, property, 0, 1 << 16, False, AnyPropertyType, &actualType,
                                          &format, &count, &remaining, &data);
    XPtr<unsigned char> owned(data);
    if (status != Success || format != 8 || !data) return std::nullopt;
    return std::string(reinterpret_cast<const char*>(data), count);
}

bool hasComposite(Display* display) {
    int eventBase = 0, errorBase = 0, major = 0, minor = 2;
    return XCompositeQueryExtension(display, &eventBase, &errorBase) && XCompositeQueryVersion(display, &major, &minor) &&
           (major > 0 || minor >= 2);
}

}  // namespace orvane::x11
