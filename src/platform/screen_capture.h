#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/geometry.h"
#include "base/huge_page_memory.h"
#include "platform/pointer_source.h"

namespace orvane {

// Everything below is in global pixels of the desktop (the X screen's root window), origin at the
// top left: displays, windows and capture regions share that space with the pointer source.

// One monitor: an active XRandR output, or the whole screen when XRandR has none.
struct CaptureDisplay {
    std::uint32_t id = 0;       // stable while the output exists (the RandR output id)
    std::string outputName;     // "HDMI-1", "screen"
    Rect frame;                 // native pixels
    // Height of a panel reserved across the top of this display (work-area strut); 0 without one.
    int topPanelHeight = 0;
};

// One top-level application window as the window manager lists it.
struct CaptureWindow {
    std::uint64_t id = 0;        // the client window's XID
    std::string title;           // _NET_WM_NAME, else WM_NAME; may be empty
    std::string appName;         // WM_CLASS class ("Firefox"), else the instance name
    std::string wmInstance;      // WM_CLASS instance as set ("Navigator", "google-chrome")
    std::string wmClass;         // WM_CLASS class as set ("firefox", "Google-chrome")
    std::optional<std::int64_t> processID;  // _NET_WM_PID
    Rect frame;                  // the client area
    int titleBarHeight = 0;      // the window manager's decoration above the client (_NET_FRAME_EXTENTS top)
    bool ownedByThisProcess = false;
};

struct ShareableContent {
    std::vector<CaptureDisplay> displays;
    std::vector<CaptureWindow> windows;  // in the window manager's stacking order
};

// Frame pixels live on huge pages: a recording moves sixty of them a second between threads.
using FramePixels = std::vector<std::uint8_t, HugePageAllocator<std::uint8_t>>;

// One captured picture: 32-bit BGRA (byte order B, G, R, A), rows `stride` bytes apart.
struct ScreenFrame {
    int width = 0;
    int height = 0;
    int stride = 0;
    FramePixels bgra;
    std::chrono::steady_clock::time_point time;  // when it was grabbed, on the monotonic clock
};

// Capture failures; `what()` is the user-facing text.
class ScreenCaptureError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Grabs successive pictures of one region or window. Used from one thread at a time.
class FrameGrabber {
public:
    virtual ~FrameGrabber() = default;
    // The size every frame has.
    virtual int width() const = 0;
    virtual int height() const = 0;
    // Fills `frame` with the current picture. Throws ScreenCaptureError when the source is gone
    // (the window closed, the display was unplugged) or the server stopped answering.
    virtual void grab(ScreenFrame& frame) = 0;
    // False only when the grabber knows the picture is the same as at its last grab (nothing drawn,
    // the pointer where it was), so the grab can be skipped. Grabbers that cannot tell answer true.
    virtual bool mayHaveChanged() { return true; }
};

// What a desktop's own source dialog can offer (Wayland's screen-cast portal).
enum class DesktopPickKind { monitor, window };
struct DesktopPickerOffer {
    bool monitors = false;
    bool windows = false;
};

// The desktop's capture services.
class ScreenCaptureSystem {
public:
    virtual ~ScreenCaptureSystem() = default;

    // The displays and the listed application windows. Throws ScreenCaptureError when the display
    // server cannot be reached.
    virtual ShareableContent shareableContent() = 0;

    // A grabber of `region` (global pixels, inside the desktop), optionally with the pointer drawn in.
    // `leftOut` are top-level windows (this application's own controls and panels) that must not be
    // recorded: where they lie, the frame shows what they cover. Windows that are not mapped, or do not
    // exist yet, cost nothing; they are looked up on every grab.
    virtual std::unique_ptr<FrameGrabber> grabRegion(const Rect& region, bool showCursor,
                                                     const std::vector<std::uint64_t>& leftOut) = 0;

    // A grabber of one window's content, `crop` given relative to the window's client area. It follows
    // the window when it moves.
    virtual std::unique_ptr<FrameGrabber> grabWindow(std::uint64_t windowID, const Rect& crop, bool showCursor) = 0;

    // Raises a window and gives it focus, as a click on it in a task bar would.
    virtual void activateWindow(std::uint64_t windowID) = 0;

    // For a capture over transparency: the application windows shown on `displayFrame` (mapped,
    // normal or untyped, at least partly on it, none of this process's own), bottom to top. A fresh
    // query each call; empty when this desktop cannot compose windows.
    virtual std::vector<CaptureWindow> normalWindowsOn(const Rect& displayFrame) = 0;

    // A grabber of `displayFrame` that draws only `windowIDs`, each from its own picture at its
    // current place and in the current stacking order, over a fully transparent canvas. Frames
    // carry straight (not premultiplied) alpha. A window that closes meanwhile just disappears.
    virtual std::unique_ptr<FrameGrabber> grabWindowsOverTransparency(const Rect& displayFrame,
                                                                      const std::vector<std::uint64_t>& windowIDs,
                                                                      bool showCursor) = 0;

    // Set on desktops that list nothing beforehand because the user picks the picture in the
    // desktop's own dialog: what that dialog offers. Nothing where sources are listed.
    virtual std::optional<DesktopPickerOffer> desktopPicker() { return std::nullopt; }
    // Asks the desktop's dialog for a source of `kind`, or reuses the user's earlier grant for it.
    // The picked picture is the one display of the answer, at origin 0,0, and grabRegion() records
    // it. Throws ScreenCaptureError when the user declines or the desktop fails.
    virtual ShareableContent pickInDesktopDialog(DesktopPickKind) {
        throw ScreenCaptureError("This desktop has no source dialog; pick a source from the list.");
    }
};

}  // namespace orvane
