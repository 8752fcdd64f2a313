#include "platform/x11/x11_screen_capture.h"

#include <X11/Xatom.h>
#include <X11/extensions/Xrandr.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>

#include "base/log.h"
#include "base/log_areas.h"
#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_frame_grabber.h"

namespace orvane {

namespace {

struct RandrResourcesFree {
    void operator()(XRRScreenResources* resources) const { XRRFreeScreenResources(resources); }
};
struct RandrOutputFree {
    void operator()(XRROutputInfo* info) const { XRRFreeOutputInfo(info); }
};
struct RandrCrtcFree {
    void operator()(XRRCrtcInfo* info) const { XRRFreeCrtcInfo(info); }
};

std::vector<CaptureDisplay> listDisplays(Display* display) {
    std::vector<CaptureDisplay> displays;
    const Window root = DefaultRootWindow(display);
    int eventBase = 0, errorBase = 0;
    if (XRRQueryExtension(display, &eventBase, &errorBase)) {
        x11::ErrorTrap trap(display);
        std::unique_ptr<XRRScreenResources, RandrResourcesFree> resources(XRRGetScreenResourcesCurrent(display, root));
        for (int i = 0; resources && i < resources->noutput; ++i) {
            std::unique_ptr<XRROutputInfo, RandrOutputFree> output(
                XRRGetOutputInfo(display, resources.get(), resources->outputs[i]));
            if (!output || output->connection != RR_Connected || output->crtc == None) continue;
            std::unique_ptr<XRRCrtcInfo, RandrCrtcFree> crtc(XRRGetCrtcInfo(display, resources.get(), output->crtc));
            if (!crtc || crtc->width == 0 || crtc->height == 0) continue;
            CaptureDisplay entry;
            entry.id = static_cast<std::uint32_t>(resources->outputs[i]);
            entry.outputName = std::string(output->name, static_cast<std::size_t>(output->nameLen));
            entry.frame = Rect{static_cast<double>(crtc->x), static_cast<double>(crtc->y),
                               static_cast<double>(crtc->width), static_cast<double>(crtc->height)};
            // Two outputs mirroring one CRTC are one picture on screen: list it once.
            const bool mirrored = std::any_of(displays.begin(), displays.end(),
                                              [&](const CaptureDisplay& d) { return d.frame == entry.frame; });
            if (!mirrored) displays.push_back(std::move(entry));
        }
    }
    // No RandR outputs (some virtual servers): the whole screen is the one display.
    if (displays.empty()) {
        const int screen = DefaultScreen(display);
        displays.push_back(CaptureDisplay{0, "screen",
                                          Rect{0, 0, static_cast<double>(DisplayWidth(display, screen)),
                                               static_cast<double>(DisplayHeight(display, screen))},
                                          0});
    }
    // Left to right, then top to bottom, so "Display 1" is the leftmost.
    std::stable_sort(displays.begin(), displays.end(), [](const CaptureDisplay& a, const CaptureDisplay& b) {
        if (a.frame.x != b.frame.x) return a.frame.x < b.frame.x;
        return a.frame.y < b.frame.y;
    });
    return displays;
}

// A panel across the top of a display shows as the current desktop's work area starting below it.
void applyWorkArea(Display* display, std::vector<CaptureDisplay>& displays) {
    const Window root = DefaultRootWindow(display);
    const auto areas = x11::cardinalProperty(display, root, x11::atom(display, "_NET_WORKAREA"), XA_CARDINAL);
    if (areas.size() < 4) return;
    const auto current = x11::cardinalProperty(display, root, x11::atom(display, "_NET_CURRENT_DESKTOP"), XA_CARDINAL);
    std::size_t desktop = current.empty() ? 0 : current[0];
    if ((desktop + 1) * 4 > areas.size()) desktop = 0;
    const Rect work{static_cast<double>(static_cast<long>(areas[desktop * 4])),
                    static_cast<double>(static_cast<long>(areas[desktop * 4 + 1])),
                    static_cast<double>(areas[desktop * 4 + 2]), static_cast<double>(areas[desktop * 4 + 3])};
    for (auto& entry : displays) {
        const bool overlapsHorizontally = work.minX() < entry.frame.maxX() && work.maxX() > entry.frame.minX();
        if (overlapsHorizontally && work.minY() > entry.frame.minY() && work.minY() < entry.frame.maxY()) {
            entry.topPanelHeight = static_cast<int>(work.minY() - entry.frame.minY());
        }
    }
}

bool hasWindowType(Display* display, Window window, std::initializer_list<const char*> types) {
    const auto values =
        x11::cardinalProperty(display, window, x11::atom(display, "_NET_WM_WINDOW_TYPE"), XA_ATOM);
    for (const char* type : types) {
        if (std::find(values.begin(), values.end(), x11::atom(display, type)) != values.end()) return true;
    }
    return false;
}

std::vector<Window> clientWindows(Display* display) {
    const Window root = DefaultRootWindow(display);
    for (const char* name : {"_NET_CLIENT_LIST_STACKING", "_NET_CLIENT_LIST"}) {
        const auto list = x11::cardinalProperty(display, root, x11::atom(display, name), XA_WINDOW);
        if (!list.empty()) return std::vector<Window>(list.begin(), list.end());
    }
    // No EWMH window manager (a bare X server): the mapped top-level windows that name their
    // application through WM_CLASS are the application windows.
    std::vector<Window> found;
    Window rootReturn = 0, parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    x11::ErrorTrap trap(display);
    if (XQueryTree(display, root, &rootReturn, &parent, &children, &count)) {
        x11::XPtr<Window> owned(children);
        for (unsigned i = 0; i < count; ++i) {
            XClassHint hint{};
            if (XGetClassHint(display, children[i], &hint)) {
                XFree(hint.res_name);
                XFree(hint.res_class);
                found.push_back(children[i]);
            }
        }
    }
    return found;
}

std::optional<CaptureWindow> describeWindow(Display* display, Window window) {
    x11::ErrorTrap trap(display);
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display, window, &attributes) || attributes.map_state != IsViewable) return std::nullopt;
    if (hasWindowType(display, window, {"_NET_WM_WINDOW_TYPE_DESKTOP", "_NET_WM_WINDOW_TYPE_DOCK"})) return std::nullopt;
    int rootX = 0, rootY = 0;
    Window child = 0;
    if (!XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &rootX, &rootY, &child)) {
        return std::nullopt;
    }
    CaptureWindow entry;
    entry.id = window;
    entry.frame = Rect{static_cast<double>(rootX), static_cast<double>(rootY), static_cast<double>(attributes.width),
                       static_cast<double>(attributes.height)};
    const auto utf8Name = x11::textProperty(display, window, x11::atom(display, "_NET_WM_NAME"));
    entry.title = utf8Name ? *utf8Name : x11::textProperty(display, window, XA_WM_NAME).value_or("");

    XClassHint hint{};
    if (XGetClassHint(display, window, &hint)) {
        const std::string instance = hint.res_name ? hint.res_name : "";
        const std::string className = hint.res_class ? hint.res_class : "";
        XFree(hint.res_name);
        XFree(hint.res_class);
        entry.appName = className.empty() ? instance : className;
        entry.wmInstance = instance;
        entry.wmClass = className;
    }
    const auto pid = x11::cardinalProperty(display, window, x11::atom(display, "_NET_WM_PID"), XA_CARDINAL);
    if (!pid.empty() && pid[0] > 0) entry.processID = static_cast<std::int64_t>(pid[0]);
    entry.ownedByThisProcess = entry.processID && *entry.processID == static_cast<std::int64_t>(getpid());
    const auto extents = x11::cardinalProperty(display, window, x11::atom(display, "_NET_FRAME_EXTENTS"), XA_CARDINAL);
    if (extents.size() == 4) entry.titleBarHeight = static_cast<int>(extents[2]);
    if (trap.failedAfterSync()) return std::nullopt;  // it closed while we read it
    return entry;
}

}  // namespace

struct X11ScreenCapture::Impl {
    // Catalogue queries and activation come from the main loop; grabbers open their own connections.
    std::mutex mutex;
    x11::Connection connection = x11::openConnection();
};

X11ScreenCapture::X11ScreenCapture() : impl_(std::make_unique<Impl>()) {}
X11ScreenCapture::~X11ScreenCapture() = default;

ShareableContent X11ScreenCapture::shareableContent() {
    std::lock_guard lock(impl_->mutex);
    Display* display = impl_->connection.get();
    ShareableContent content;
    content.displays = listDisplays(display);
    applyWorkArea(display, content.displays);
    for (const Window window : clientWindows(display)) {
        if (auto entry = describeWindow(display, window)) content.windows.push_back(std::move(*entry));
    }
    // The stacking list runs bottom to top; the frontmost window first reads better in a picker.
    std::reverse(content.windows.begin(), content.windows.end());
    log::debug(log_area::kCapture, "shareable content: %zu displays, %zu windows", content.displays.size(),
               content.windows.size());
    return content;
}

std::unique_ptr<FrameGrabber> X11ScreenCapture::grabRegion(const Rect& region, bool showCursor,
                                                           const std::vector<std::uint64_t>& leftOut) {
    return x11::makeRegionGrabber(region, showCursor, leftOut);
}

std::unique_ptr<FrameGrabber> X11ScreenCapture::grabWindow(std::uint64_t windowID, const Rect& crop, bool showCursor) {
    return x11::makeWindowGrabber(windowID, crop, showCursor);
}

void X11ScreenCapture::activateWindow(std::uint64_t windowID) {
    std::lock_guard lock(impl_->mutex);
    Display* display = impl_->connection.get();
    const Window root = DefaultRootWindow(display);
    x11::ErrorTrap trap(display);
    // Ask the window manager, as a pager would (source indication 2), so focus-stealing prevention
    // lets it through; without a window manager raising and focusing it directly does the same.
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = static_cast<Window>(windowID);
    event.xclient.message_type = x11::atom(display, "_NET_ACTIVE_WINDOW");
    event.xclient.format = 32;
    event.xclient.data.l[0] = 2;
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XRaiseWindow(display, static_cast<Window>(windowID));
    XSetInputFocus(display, static_cast<Window>(windowID), RevertToParent, CurrentTime);
    if (trap.failedAfterSync())
        log::warning(log_area::kCapture, "could not activate window 0x%lx", static_cast<unsigned long>(windowID));
}

std::vector<CaptureWindow> X11ScreenCapture::normalWindowsOn(const Rect& displayFrame) {
    std::lock_guard lock(impl_->mutex);
    Display* display = impl_->connection.get();
    std::vector<CaptureWindow> windows;
    if (!x11::hasComposite(display)) {
        log::info(log_area::kCapture, "no XComposite: windows cannot be recorded over transparency");
        return windows;
    }
    const Atom typeAtom = x11::atom(display, "_NET_WM_WINDOW_TYPE");
    const Atom normal = x11::atom(display, "_NET_WM_WINDOW_TYPE_NORMAL");
    for (const Window window : clientWindows(display)) {
        // Dialogs, menus, tooltips, docks and the desktop are not application windows here.
        const auto types = x11::cardinalProperty(display, window, typeAtom, XA_ATOM);
        if (!types.empty() && std::find(types.begin(), types.end(), normal) == types.end()) continue;
        auto entry = describeWindow(display, window);
        if (!entry || entry->ownedByThisProcess) continue;
        const Rect& frame = entry->frame;
        const bool onDisplay = frame.minX() < displayFrame.maxX() && frame.maxX() > displayFrame.minX() &&
                               frame.minY() < displayFrame.maxY() && frame.maxY() > displayFrame.minY();
        if (onDisplay) windows.push_back(std::move(*entry));
    }
    return windows;
}

std::unique_ptr<FrameGrabber> X11ScreenCapture::grabWindowsOverTransparency(const Rect& displayFrame,
                                                                              const std::vector<std::uint64_t>& windowIDs,
                                                                              bool showCursor) {
    return x11::makeWindowCompositeGrabber(displayFrame, windowIDs, showCursor);
}

}  // namespace orvane
