#include "platform/x11/x11_frame_grabber.h"

// Xlib first: the extension headers build on its types.
#include "base/log_areas.h"
#include "platform/x11/x11_connection.h"

#include <X11/Xatom.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/Xcomposite.h>
#include <X11/extensions/Xdamage.h>
#include <X11/extensions/Xfixes.h>
#include <X11/extensions/shape.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "base/log.h"

namespace orvane::x11 {

namespace {

// A System V shared-memory segment attached to us and to the X server for one image.
class SharedImage {
public:
    SharedImage(Display* display, int width, int height) : display_(display) {
        const int screen = DefaultScreen(display);
        image_ = XShmCreateImage(display, DefaultVisual(display, screen), static_cast<unsigned>(DefaultDepth(display, screen)),
                                 ZPixmap, nullptr, &info_, static_cast<unsigned>(width), static_cast<unsigned>(height));
        if (!image_) return;
        info_.shmid = shmget(IPC_PRIVATE, static_cast<std::size_t>(image_->bytes_per_line) * static_cast<std::size_t>(height),
                             IPC_CREAT | 0600);
        if (info_.shmid < 0) return;
        void* address = shmat(info_.shmid, nullptr, 0);
        if (address == reinterpret_cast<void*>(-1)) {
            shmctl(info_.shmid, IPC_RMID, nullptr);
            info_.shmid = -1;
            return;
        }
        info_.shmaddr = image_->data = static_cast<char*>(address);
        info_.readOnly = False;
        ErrorTrap trap(display);
        XShmAttach(display, &info_);
        attached_ = !trap.failedAfterSync();
        // Marked for removal now, so the segment goes away with the last detach even if we crash.
        shmctl(info_.shmid, IPC_RMID, nullptr);
    }
    SharedImage(const SharedImage&) = delete;
    SharedImage& operator=(const SharedImage&) = delete;
    ~SharedImage() {
        if (attached_) {
            XShmDetach(display_, &info_);
            XSync(display_, False);
        }
        if (info_.shmaddr) shmdt(info_.shmaddr);
        if (image_) {
            image_->data = nullptr;  // not Xlib's to free
            XDestroyImage(image_);
        }
    }

    bool usable() const { return attached_; }
    XImage* image() const { return image_; }
    bool grab(Drawable drawable, int x, int y) {
        ErrorTrap trap(display_);
        const Bool ok = XShmGetImage(display_, drawable, image_, x, y, AllPlanes);
        return ok && !trap.failedAfterSync();
    }

private:
    Display* display_;
    XShmSegmentInfo info_{};
    XImage* image_ = nullptr;
    bool attached_ = false;
};

// Copies `pixels` BGRA pixels and makes them opaque: a 24-bit visual leaves the top byte undefined.
// It runs over every pixel of every frame, so four pixels a step where SSE2 is there.
void copyOpaque(const std::uint8_t* in, std::uint8_t* out, int pixels) {
    int i = 0;
#if defined(__SSE2__)
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    for (; i + 4 <= pixels; i += 4) {
        const __m128i four = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 4 * i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * i), _mm_or_si128(four, opaque));
    }
#endif
    for (; i < pixels; ++i) {
        std::memcpy(out + 4 * i, in + 4 * i, 3);
        out[4 * i + 3] = 0xFF;
    }
}

// Source-over blend of XFixes' premultiplied ARGB cursor onto the BGRA frame (premultiplied too, or
// opaque).
void drawCursor(Display* display, ScreenFrame& frame, int originX, int originY) {
    XPtr<XFixesCursorImage> cursor(XFixesGetCursorImage(display));
    if (!cursor) return;
    const int left = cursor->x - cursor->xhot - originX;
    const int top = cursor->y - cursor->yhot - originY;
    for (int row = 0; row < cursor->height; ++row) {
        const int y = top + row;
        if (y < 0 || y >= frame.height) continue;
        for (int column = 0; column < cursor->width; ++column) {
            const int x = left + column;
            if (x < 0 || x >= frame.width) continue;
            const auto pixel = static_cast<std::uint32_t>(cursor->pixels[row * cursor->width + column]);
            const std::uint32_t alpha = pixel >> 24;
            if (alpha == 0) continue;
            std::uint8_t* out = frame.bgra.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(frame.stride) +
                                static_cast<std::size_t>(x) * 4;
            const std::uint32_t inverse = 255 - alpha;
            out[0] = static_cast<std::uint8_t>((pixel & 0xFF) + out[0] * inverse / 255);
            out[1] = static_cast<std::uint8_t>(((pixel >> 8) & 0xFF) + out[1] * inverse / 255);
            out[2] = static_cast<std::uint8_t>(((pixel >> 16) & 0xFF) + out[2] * inverse / 255);
            out[3] = static_cast<std::uint8_t>(alpha + out[3] * inverse / 255);
        }
    }
}

// Whether anything a grabber shows may have changed since it last looked: XDamage on the watched
// drawables and, when the pointer is drawn in, its position and XFixes cursor-shape events. It reads
// the events of the grabber's own connection, after one round trip that brings in all the server sent
// before it; damage is reset on every yes, so the next drawing reports again.
class ChangeWatch {
public:
    // Watches the root window; `pointerDrawn` when the frames show the pointer.
    ChangeWatch(Display* display, bool pointerDrawn) : display_(display) {
        int errorBase = 0;
        available_ = XDamageQueryExtension(display, &damageEventBase_, &errorBase);
        if (!available_) {
            log::info(log_area::kCapture, "XDamage missing: every frame is grabbed and compared");
            return;
        }
        watch(DefaultRootWindow(display));
        // A new pointer shape (a hand over a link) changes the picture without drawing anything.
        watchesPointer_ = pointerDrawn && XFixesQueryExtension(display, &fixesEventBase_, &errorBase);
        if (watchesPointer_) XFixesSelectCursorInput(display, DefaultRootWindow(display), XFixesDisplayCursorNotifyMask);
    }
    ChangeWatch(const ChangeWatch&) = delete;
    ChangeWatch& operator=(const ChangeWatch&) = delete;
    ~ChangeWatch() {
        ErrorTrap trap(display_);  // a watched window may be gone, and its damage with it
        for (const Damage damage : damages_) XDamageDestroy(display_, damage);
        trap.failedAfterSync();
    }

    // Also a window whose own picture is read: drawing under a covering window never reaches the screen.
    void watch(Drawable drawable) {
        if (!available_) return;
        ErrorTrap trap(display_);
        const Damage damage = XDamageCreate(display_, drawable, XDamageReportNonEmpty);
        if (!trap.failedAfterSync()) damages_.push_back(damage);
    }

    // Every top-level window as well, for a root whose children are redirected: their drawing then
    // lands in their own pictures, and the server's composition of them into the root reports no
    // damage on the root. Windows that appear, map, move, restack or close count as changes.
    void watchTopLevels() {
        if (!available_) return;
        topLevels_ = true;
        XSelectInput(display_, DefaultRootWindow(display_), SubstructureNotifyMask);
        refreshTopLevels();
    }

    bool mayHaveChanged() {
        if (damages_.empty()) return true;
        bool changed = false;
        if (topLevels_) refreshTopLevels();
        if (watchesPointer_) {
            Window root = 0, child = 0;
            int x = 0, y = 0, windowX = 0, windowY = 0;
            unsigned buttons = 0;
            XQueryPointer(display_, DefaultRootWindow(display_), &root, &child, &x, &y, &windowX, &windowY, &buttons);
            changed = x != pointerX_ || y != pointerY_;
            pointerX_ = x;
            pointerY_ = y;
        } else {
            XSync(display_, False);
        }
        bool damaged = false;
        while (XPending(display_) > 0) {
            XEvent event;
            XNextEvent(display_, &event);
            if (event.type == damageEventBase_ + XDamageNotify) damaged = true;
            if (watchesPointer_ && event.type == fixesEventBase_ + XFixesCursorNotify) changed = true;
            switch (event.type) {
                case CreateNotify:
                case DestroyNotify:
                case MapNotify:
                case UnmapNotify:
                case ConfigureNotify:
                case ReparentNotify:
                case CirculateNotify: changed = true; break;
                default: break;
            }
        }
        if (damaged) {
            ErrorTrap trap(display_);  // a window that closed since took its damage with it
            for (const Damage damage : damages_) XDamageSubtract(display_, damage, None, None);
        }
        return changed || damaged;
    }

private:
    // Damage for each child of the root, made for new ones and forgotten for closed ones (the server
    // freed those with the window).
    void refreshTopLevels() {
        Window rootReturn = 0, parent = 0;
        Window* children = nullptr;
        unsigned count = 0;
        ErrorTrap trap(display_);
        if (!XQueryTree(display_, DefaultRootWindow(display_), &rootReturn, &parent, &children, &count)) return;
        XPtr<Window> owned(children);
        const std::vector<Window> now(children, children + count);
        for (auto it = topLevelDamage_.begin(); it != topLevelDamage_.end();) {
            if (std::find(now.begin(), now.end(), it->first) == now.end()) {
                damages_.erase(std::remove(damages_.begin(), damages_.end(), it->second), damages_.end());
                it = topLevelDamage_.erase(it);
            } else {
                ++it;
            }
        }
        for (const Window window : now) {
            const bool known = std::any_of(topLevelDamage_.begin(), topLevelDamage_.end(),
                                           [&](const auto& entry) { return entry.first == window; });
            if (known) continue;
            const Damage damage = XDamageCreate(display_, window, XDamageReportNonEmpty);
            damages_.push_back(damage);
            topLevelDamage_.emplace_back(window, damage);
        }
    }

    Display* display_;
    bool topLevels_ = false;
    std::vector<std::pair<Window, Damage>> topLevelDamage_;
    bool available_ = false;
    int damageEventBase_ = 0;
    int fixesEventBase_ = 0;
    bool watchesPointer_ = false;
    std::vector<Damage> damages_;
    int pointerX_ = -1, pointerY_ = -1;
};

// Grabs a rectangle of the root window; the rectangle's origin may change between grabs, its size not.
class RootGrabber : public FrameGrabber {
public:
    RootGrabber(int width, int height, bool showCursor)
        : connection_(openConnection()), width_(width), height_(height) {
        Display* display = connection_.get();
        const int screen = DefaultScreen(display);
        if (DefaultDepth(display, screen) < 24) {
            throw ScreenCaptureError("Screen recording needs a 24- or 32-bit colour display.");
        }
        if (XShmQueryExtension(display)) {
            shared_ = std::make_unique<SharedImage>(display, width, height);
            if (!shared_->usable()) shared_.reset();
        }
        if (!shared_) log::info(log_area::kCapture, "MIT-SHM not available; grabbing with XGetImage");
        if (shared_) {
            // One grab now makes the server and this process fault the shared segment in, which
            // costs tens of milliseconds and would otherwise make the recording's first frames late.
            ScreenFrame warmUp;
            grabFrom(DefaultRootWindow(display), 0, 0, 0, 0, warmUp);
        }
        int eventBase = 0, errorBase = 0;
        drawsCursor_ = showCursor && XFixesQueryExtension(display, &eventBase, &errorBase);
        if (showCursor && !drawsCursor_)
            log::warning(log_area::kCapture, "XFixes missing: the pointer is not drawn into the video");
        changes_ = std::make_unique<ChangeWatch>(display, drawsCursor_);
    }

    int width() const override { return width_; }
    int height() const override { return height_; }

    bool mayHaveChanged() override { return changes_->mayHaveChanged(); }

protected:
    Display* display() const { return connection_.get(); }

    void watchForDamage(Drawable drawable) { changes_->watch(drawable); }
    void watchTopLevels() { changes_->watchTopLevels(); }

    void grabAt(int x, int y, ScreenFrame& frame) {
        if (!grabFrom(DefaultRootWindow(connection_.get()), x, y, x, y, frame)) {
            throw ScreenCaptureError("The screen could not be read.");
        }
    }

    // Reads (x, y, width, height) of `drawable`; the pointer is drawn as if the frame's top left sat
    // at (screenX, screenY). Answers false when the server refused the read.
    bool grabFrom(Drawable drawable, int x, int y, int screenX, int screenY, ScreenFrame& frame) {
        Display* display = connection_.get();
        frame.time = std::chrono::steady_clock::now();
        XImage* image = nullptr;
        Image fallback;
        if (shared_) {
            if (!shared_->grab(drawable, x, y)) return false;
            image = shared_->image();
        } else {
            ErrorTrap trap(display);
            fallback.reset(XGetImage(display, drawable, x, y, static_cast<unsigned>(width_),
                                     static_cast<unsigned>(height_), AllPlanes, ZPixmap));
            if (!fallback || trap.failedAfterSync()) return false;
            image = fallback.get();
        }
        if (image->bits_per_pixel != 32) throw ScreenCaptureError("Screen recording needs a 32-bit pixel format.");
        frame.width = width_;
        frame.height = height_;
        frame.stride = width_ * 4;
        frame.bgra.resize(static_cast<std::size_t>(frame.stride) * static_cast<std::size_t>(height_));
        for (int row = 0; row < height_; ++row) {
            const auto* in = reinterpret_cast<const std::uint8_t*>(image->data) +
                             static_cast<std::size_t>(row) * static_cast<std::size_t>(image->bytes_per_line);
            copyOpaque(in, frame.bgra.data() + static_cast<std::size_t>(row) * static_cast<std::size_t>(frame.stride), width_);
        }
        beforePointer(frame, screenX, screenY);
        if (drawsCursor_) drawCursor(display, frame, screenX, screenY);
        return true;
    }

    // Last changes to a grabbed picture whose top left sits at (screenX, screenY), before the
    // pointer goes on top.
    virtual void beforePointer(ScreenFrame&, int /*screenX*/, int /*screenY*/) {}

private:
    Connection connection_;
    int width_;
    int height_;
    std::unique_ptr<SharedImage> shared_;
    bool drawsCursor_ = false;
    std::unique_ptr<ChangeWatch> changes_;  // after the connection, so it goes first
};

struct ScreenBounds {
    int width;
    int height;
};

ScreenBounds screenBounds(Display* display) {
    const int screen = DefaultScreen(display);
    return {DisplayWidth(display, screen), DisplayHeight(display, screen)};
}

// Blends premultiplied BGRA `in` over `out`, as a window of an ARGB visual is drawn over what it covers.
void blendOver(const std::uint8_t* in, std::uint8_t* out, int pixels) {
    for (int i = 0; i < pixels; ++i) {
        const std::uint32_t inverse = 255u - in[i * 4 + 3];
        for (int c = 0; c < 4; ++c) {
            out[i * 4 + c] = static_cast<std::uint8_t>(in[i * 4 + c] + out[i * 4 + c] * inverse / 255);
        }
    }
}

struct PixelRect {
    int x = 0, y = 0, width = 0, height = 0;
    bool empty() const { return width <= 0 || height <= 0; }
    PixelRect intersected(const PixelRect& other) const {
        const int left = std::max(x, other.x), top = std::max(y, other.y);
        const int right = std::min(x + width, other.x + other.width);
        const int bottom = std::min(y + height, other.y + other.height);
        return {left, top, right - left, bottom - top};
    }
};

// Takes chosen top-level windows out of a picture of the root window. Every top-level window is
// redirected (automatically, so the screen looks the same) to keep its own picture; where a left-out
// window lies, the other windows are composed again from their pictures, bottom to top, over a
// backdrop that shows the root's background. Only those rectangles are recomposed: the rest of the
// frame stays the plain root grab, and with no left-out window mapped the grab costs one query.
class LeftOutWindows {
public:
    LeftOutWindows(Display* display, const PixelRect& region, const std::vector<std::uint64_t>& ids)
        : display_(display), region_(region) {
        for (const auto id : ids) leftOut_.push_back(Entry{static_cast<Window>(id), None});
        if (leftOut_.empty()) return;
        if (!hasComposite(display)) {
            log::warning(log_area::kCapture, "no XComposite: this application's own windows show in the recording");
            leftOut_.clear();
            return;
        }
        const Window root = DefaultRootWindow(display);
        ErrorTrap trap(display);
        XCompositeRedirectSubwindows(display, root, CompositeRedirectAutomatic);
        redirected_ = !trap.failedAfterSync();
        if (!redirected_) {
            log::warning(log_area::kCapture, "windows could not be redirected; own windows show in the recording");
            leftOut_.clear();
            return;
        }
        createBackdrop();
    }
    LeftOutWindows(const LeftOutWindows&) = delete;
    LeftOutWindows& operator=(const LeftOutWindows&) = delete;
    ~LeftOutWindows() {
        if (!redirected_) return;
        ErrorTrap trap(display_);
        if (backdrop_ != None) XDestroyWindow(display_, backdrop_);
        XCompositeUnredirectSubwindows(display_, DefaultRootWindow(display_), CompositeRedirectAutomatic);
        XSync(display_, False);
    }

    // False when the server cannot redirect windows: the frames are the plain root grab.
    bool active() const { return redirected_; }

    // Recomposes the parts of `frame` (whose top left is at (originX, originY)) that left-out windows cover.
    void apply(ScreenFrame& frame, int originX, int originY) {
        if (leftOut_.empty()) return;
        Display* display = display_;
        const Window root = DefaultRootWindow(display);
        Window rootReturn = 0, parent = 0;
        Window* children = nullptr;
        unsigned count = 0;
        ErrorTrap trap(display);
        if (!XQueryTree(display, root, &rootReturn, &parent, &children, &count)) return;
        XPtr<Window> owned(children);
        const std::vector<Window> stack(children, children + count);
        const PixelRect region{originX, originY, frame.width, frame.height};

        std::vector<Window> ownTops;
        std::vector<PixelRect> covered;
        for (auto& entry : leftOut_) {
            if (std::find(stack.begin(), stack.end(), entry.topLevel) == stack.end())
                entry.topLevel = topLevelOf(entry.window);
            if (entry.topLevel == None) continue;
            ownTops.push_back(entry.topLevel);
            XWindowAttributes attributes{};
            if (!XGetWindowAttributes(display, entry.topLevel, &attributes) || attributes.map_state != IsViewable)
                continue;
            const PixelRect bounds{attributes.x, attributes.y, attributes.width + 2 * attributes.border_width,
                                   attributes.height + 2 * attributes.border_width};
            const PixelRect part = bounds.intersected(region);
            if (!part.empty()) covered.push_back(part);
        }
        if (covered.empty()) return;

        // What each remaining window is, read once for all covered rectangles.
        struct Layer {
            Window window;
            PixelRect bounds;
            bool ownAlpha;
        };
        std::vector<Layer> layers;
        // The backdrop goes first whatever its place: a window lowered below it since is still above
        // the root's background on screen.
        std::vector<Window> order{stack};
        if (backdrop_ != None && std::find(order.begin(), order.end(), backdrop_) != order.end()) {
            order.erase(std::find(order.begin(), order.end(), backdrop_));
            order.insert(order.begin(), backdrop_);
        }
        for (const Window window : order) {
            if (std::find(ownTops.begin(), ownTops.end(), window) != ownTops.end()) continue;
            XWindowAttributes attributes{};
            if (!XGetWindowAttributes(display, window, &attributes) || attributes.map_state != IsViewable ||
                attributes.c_class != InputOutput || (attributes.depth != 24 && attributes.depth != 32)) {
                continue;
            }
            const PixelRect bounds{attributes.x, attributes.y, attributes.width + 2 * attributes.border_width,
                                   attributes.height + 2 * attributes.border_width};
            const bool touches = std::any_of(covered.begin(), covered.end(),
                                             [&](const PixelRect& part) { return !bounds.intersected(part).empty(); });
            if (touches) layers.push_back(Layer{window, bounds, attributes.depth == 32});
        }
        trap.failedAfterSync();  // a window that closed meanwhile is simply not drawn

        // Each rectangle is composed on its own and copied in whole, so overlapping rectangles never
        // blend a translucent window twice.
        for (const PixelRect& part : covered) {
            scratch_.assign(static_cast<std::size_t>(part.width) * static_cast<std::size_t>(part.height) * 4, 0);
            for (const Layer& layer : layers) drawLayer(layer.window, layer.bounds, layer.ownAlpha, part);
            for (int row = 0; row < part.height; ++row) {
                std::uint8_t* out =
                    frame.bgra.data() +
                    static_cast<std::size_t>(part.y - originY + row) * static_cast<std::size_t>(frame.stride) +
                    static_cast<std::size_t>(part.x - originX) * 4;
                const std::uint8_t* in =
                    scratch_.data() + static_cast<std::size_t>(row) * static_cast<std::size_t>(part.width) * 4;
                copyOpaque(in, out, part.width);
            }
        }
    }

private:
    struct Entry {
        Window window;
        Window topLevel;  // the root's child holding it (a window manager's frame, or itself); None unknown
    };

    // The root's own background (pixel, tile or wallpaper pixmap) as a window of its own: a window
    // whose background is ParentRelative holds exactly what the root paints under it. It must never
    // cover anything on screen (a desktop window a window manager lowers below it would vanish), so it
    // is redirected manually, which keeps the server from drawing it at all. Where a compositing
    // manager already redirects every window manually, that request is refused and the manager draws
    // it: then it sits lowest, takes no input and asks for zero opacity.
    void createBackdrop() {
        Display* display = display_;
        XSetWindowAttributes attributes{};
        attributes.override_redirect = True;
        attributes.background_pixmap = ParentRelative;
        ErrorTrap trap(display);
        backdrop_ =
            XCreateWindow(display, DefaultRootWindow(display), region_.x, region_.y,
                          static_cast<unsigned>(region_.width), static_cast<unsigned>(region_.height), 0,
                          CopyFromParent, InputOutput, CopyFromParent, CWOverrideRedirect | CWBackPixmap, &attributes);
        if (trap.failedAfterSync()) {
            log::warning(log_area::kCapture, "no backdrop window; the root background under own windows shows black");
            backdrop_ = None;
            return;
        }
        {
            ErrorTrap manual(display);
            XCompositeRedirectWindow(display, backdrop_, CompositeRedirectManual);
            if (manual.failedAfterSync()) log::info(log_area::kCapture, "a compositing manager draws the backdrop");
        }
        int shapeEvent = 0, shapeError = 0;
        if (XShapeQueryExtension(display, &shapeEvent, &shapeError)) {
            XShapeCombineRectangles(display, backdrop_, ShapeInput, 0, 0, nullptr, 0, ShapeSet, Unsorted);
        }
        const unsigned long transparent = 0;
        XChangeProperty(display, backdrop_, atom(display, "_NET_WM_WINDOW_OPACITY"), XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&transparent), 1);
        XLowerWindow(display, backdrop_);
        XMapWindow(display, backdrop_);
        trap.failedAfterSync();
    }

    Window topLevelOf(Window window) {
        const Window root = DefaultRootWindow(display_);
        Window current = window;
        for (;;) {
            Window rootReturn = 0, parent = 0;
            Window* children = nullptr;
            unsigned count = 0;
            ErrorTrap trap(display_);
            if (!XQueryTree(display_, current, &rootReturn, &parent, &children, &count) || trap.failedAfterSync()) {
                return None;  // not created yet, or closed
            }
            XPtr<Window> owned(children);
            if (parent == root || parent == None) return current;
            current = parent;
        }
    }

    void drawLayer(Window window, const PixelRect& bounds, bool ownAlpha, const PixelRect& part) {
        const PixelRect visible = bounds.intersected(part);
        if (visible.empty()) return;
        ErrorTrap trap(display_);
        const Pixmap pixmap = XCompositeNameWindowPixmap(display_, window);
        Image image(XGetImage(display_, pixmap, visible.x - bounds.x, visible.y - bounds.y,
                              static_cast<unsigned>(visible.width), static_cast<unsigned>(visible.height), AllPlanes,
                              ZPixmap));
        XFreePixmap(display_, pixmap);
        if (trap.failedAfterSync() || !image || image->bits_per_pixel != 32) return;
        for (int row = 0; row < image->height; ++row) {
            const auto* in = reinterpret_cast<const std::uint8_t*>(image->data) +
                             static_cast<std::size_t>(row) * static_cast<std::size_t>(image->bytes_per_line);
            std::uint8_t* out = scratch_.data() + (static_cast<std::size_t>(visible.y - part.y + row) *
                                                       static_cast<std::size_t>(part.width) +
                                                   static_cast<std::size_t>(visible.x - part.x)) *
                                                      4;
            if (ownAlpha) {
                blendOver(in, out, image->width);
            } else {
                copyOpaque(in, out, image->width);
            }
        }
    }

    Display* display_;
    PixelRect region_;
    std::vector<Entry> leftOut_;
    bool redirected_ = false;
    Window backdrop_ = None;
    std::vector<std::uint8_t> scratch_;
};

class RegionGrabber final : public RootGrabber {
public:
    RegionGrabber(int x, int y, int width, int height, bool showCursor, const std::vector<std::uint64_t>& leftOut)
        : RootGrabber(width, height, showCursor), x_(x), y_(y) {
        const auto bounds = screenBounds(display());
        if (x < 0 || y < 0 || x + width > bounds.width || y + height > bounds.height) {
            throw ScreenCaptureError("The area to record is not on the screen.");
        }
        if (!leftOut.empty()) {
            leftOut_ = std::make_unique<LeftOutWindows>(display(), PixelRect{x, y, width, height}, leftOut);
            if (leftOut_->active()) watchTopLevels();
        }
    }
    void grab(ScreenFrame& frame) override { grabAt(x_, y_, frame); }

protected:
    void beforePointer(ScreenFrame& frame, int screenX, int screenY) override {
        if (leftOut_) leftOut_->apply(frame, screenX, screenY);
    }

private:
    int x_, y_;
    std::unique_ptr<LeftOutWindows> leftOut_;
};

// Follows one window. When the crop lies inside the client area and the server has XComposite, the
// window's own off-screen picture is read, so windows above it do not show; otherwise (the title bar
// is wanted, or the window's depth differs from the screen's) the screen where it sits is read.
class WindowGrabber final : public RootGrabber {
public:
    WindowGrabber(Window window, int cropX, int cropY, int width, int height, bool showCursor)
        : RootGrabber(width, height, showCursor), window_(window), cropX_(cropX), cropY_(cropY) {
        locate();
        Display* display = this->display();
        if (cropX >= 0 && cropY >= 0 && hasComposite(display)) {
            ErrorTrap trap(display);
            XCompositeRedirectWindow(display, window_, CompositeRedirectAutomatic);
            redirected_ = !trap.failedAfterSync();
        }
        if (redirected_) watchForDamage(window_);
    }
    ~WindowGrabber() override {
        if (!redirected_) return;
        ErrorTrap trap(display());
        XCompositeUnredirectWindow(display(), window_, CompositeRedirectAutomatic);
    }

    void grab(ScreenFrame& frame) override {
        const auto [x, y] = locate();
        if (redirected_ && grabOwnPicture(x, y, frame)) return;
        grabAt(x, y, frame);
    }

private:
    bool grabOwnPicture(int screenX, int screenY, ScreenFrame& frame) {
        Display* display = this->display();
        XWindowAttributes attributes{};
        {
            ErrorTrap trap(display);
            if (!XGetWindowAttributes(display, window_, &attributes) || trap.failedAfterSync()) return false;
        }
        // A window that shrank below the crop is read from the screen until it grows back.
        if (cropX_ + width() > attributes.width || cropY_ + height() > attributes.height) return false;
        Pixmap pixmap = None;
        {
            ErrorTrap trap(display);
            pixmap = XCompositeNameWindowPixmap(display, window_);
            if (trap.failedAfterSync()) pixmap = None;
        }
        if (pixmap == None) return false;
        const bool ok = grabFrom(pixmap, cropX_, cropY_, screenX, screenY, frame);
        XFreePixmap(display, pixmap);
        if (!ok) {
            // Typically a window of another depth than the screen's: read the screen from now on.
            log::info(log_area::kCapture, "window picture not readable; grabbing the screen where it is");
            redirected_ = false;
            ErrorTrap trap(display);
            XCompositeUnredirectWindow(display, window_, CompositeRedirectAutomatic);
        }
        return ok;
    }

    // Where the crop sits on the screen now, kept inside the screen so the grab stays valid while
    // the window is partly off it.
    std::pair<int, int> locate() {
        Display* display = this->display();
        ErrorTrap trap(display);
        int rootX = 0, rootY = 0;
        Window child = 0;
        const Bool ok = XTranslateCoordinates(display, window_, DefaultRootWindow(display), cropX_, cropY_, &rootX,
                                              &rootY, &child);
        if (!ok || trap.failedAfterSync()) throw ScreenCaptureError("The window being recorded was closed.");
        const auto bounds = screenBounds(display);
        rootX = std::clamp(rootX, 0, std::max(0, bounds.width - width()));
        rootY = std::clamp(rootY, 0, std::max(0, bounds.height - height()));
        return {rootX, rootY};
    }

    Window window_;
    int cropX_, cropY_;
    bool redirected_ = false;
};

int pixels(double value) { return static_cast<int>(std::lround(value)); }

// Draws chosen windows from their own XComposite pictures over a transparent canvas, so whatever
// lies behind them (the desktop background, panels, other applications) stays transparent. The
// canvas is premultiplied while windows and the pointer go in, and straightened at the end.
class WindowCompositeGrabber final : public FrameGrabber {
public:
    WindowCompositeGrabber(int x, int y, int width, int height, const std::vector<std::uint64_t>& windowIDs,
                           bool showCursor)
        : connection_(openConnection()), x_(x), y_(y), width_(width), height_(height) {
        Display* display = connection_.get();
        if (!hasComposite(display)) {
            throw ScreenCaptureError("Recording windows over transparency needs the X server's Composite extension.");
        }
        const auto bounds = screenBounds(display);
        if (x < 0 || y < 0 || x + width > bounds.width || y + height > bounds.height) {
            throw ScreenCaptureError("The area to record is not on the screen.");
        }
        for (const auto id : windowIDs) {
            const auto window = static_cast<Window>(id);
            ErrorTrap trap(display);
            XCompositeRedirectWindow(display, window, CompositeRedirectAutomatic);
            if (trap.failedAfterSync()) continue;  // already gone
            windows_.push_back(Entry{window, topLevelOf(window)});
        }
        int eventBase = 0, errorBase = 0;
        drawsCursor_ = showCursor && XFixesQueryExtension(display, &eventBase, &errorBase);
        // The screen shows moves and restacking; each window's own picture shows its drawing.
        changes_ = std::make_unique<ChangeWatch>(display, drawsCursor_);
        for (const auto& entry : windows_) changes_->watch(entry.window);
    }
    ~WindowCompositeGrabber() override {
        Display* display = connection_.get();
        ErrorTrap trap(display);
        for (const auto& entry : windows_) XCompositeUnredirectWindow(display, entry.window, CompositeRedirectAutomatic);
        XSync(display, False);
    }

    int width() const override { return width_; }
    int height() const override { return height_; }
    bool mayHaveChanged() override { return changes_->mayHaveChanged(); }

    void grab(ScreenFrame& frame) override {
        Display* display = connection_.get();
        frame.time = std::chrono::steady_clock::now();
        frame.width = width_;
        frame.height = height_;
        frame.stride = width_ * 4;
        frame.bgra.assign(static_cast<std::size_t>(frame.stride) * static_cast<std::size_t>(height_), 0);
        for (const Window window : stackingOrder()) drawWindow(window, frame);
        if (drawsCursor_) drawCursor(display, frame, x_, y_);
        straighten(frame);
    }

private:
    struct Entry {
        Window window;
        Window topLevel;  // the child of the root it sits in (a window manager's frame, or itself)
    };

    Window topLevelOf(Window window) {
        Display* display = connection_.get();
        const Window root = DefaultRootWindow(display);
        Window current = window;
        for (;;) {
            Window rootReturn = 0, parent = 0;
            Window* children = nullptr;
            unsigned count = 0;
            ErrorTrap trap(display);
            if (!XQueryTree(display, current, &rootReturn, &parent, &children, &count)) return window;
            XPtr<Window> owned(children);
            if (parent == root || parent == None) return current;
            current = parent;
        }
    }

    // Bottom to top as the server stacks them now, so a window raised while recording comes forward.
    std::vector<Window> stackingOrder() {
        Display* display = connection_.get();
        Window rootReturn = 0, parent = 0;
        Window* children = nullptr;
        unsigned count = 0;
        std::vector<Window> ordered;
        ErrorTrap trap(display);
        if (!XQueryTree(display, DefaultRootWindow(display), &rootReturn, &parent, &children, &count)) return ordered;
        XPtr<Window> owned(children);
        for (unsigned i = 0; i < count; ++i) {
            for (const auto& entry : windows_) {
                if (entry.topLevel == children[i]) ordered.push_back(entry.window);
            }
        }
        return ordered;
    }

    void drawWindow(Window window, ScreenFrame& frame) {
        Display* display = connection_.get();
        ErrorTrap trap(display);
        XWindowAttributes attributes{};
        if (!XGetWindowAttributes(display, window, &attributes) || attributes.map_state != IsViewable) return;
        int rootX = 0, rootY = 0;
        Window child = 0;
        if (!XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &rootX, &rootY, &child)) return;
        // The part of the window inside the recorded rectangle, in the window's own coordinates.
        const int left = std::max(rootX, x_), top = std::max(rootY, y_);
        const int right = std::min(rootX + attributes.width, x_ + width_);
        const int bottom = std::min(rootY + attributes.height, y_ + height_);
        if (right <= left || bottom <= top) return;
        const Pixmap pixmap = XCompositeNameWindowPixmap(display, window);
        if (trap.failedAfterSync()) return;  // closed or unmapped since
        // The picture includes the window's border; its content starts inside it.
        const int border = attributes.border_width;
        Image image(XGetImage(display, pixmap, left - rootX + border, top - rootY + border, static_cast<unsigned>(right - left),
                              static_cast<unsigned>(bottom - top), AllPlanes, ZPixmap));
        XFreePixmap(display, pixmap);
        if (trap.failedAfterSync() || !image || image->bits_per_pixel != 32) return;
        // A 32-bit window (an ARGB visual) brings its own premultiplied alpha; any other is opaque.
        const bool ownAlpha = attributes.depth == 32;
        for (int row = 0; row < image->height; ++row) {
            const auto* in = reinterpret_cast<const std::uint8_t*>(image->data) +
                             static_cast<std::size_t>(row) * static_cast<std::size_t>(image->bytes_per_line);
            std::uint8_t* out = frame.bgra.data() +
                                static_cast<std::size_t>(top - y_ + row) * static_cast<std::size_t>(frame.stride) +
                                static_cast<std::size_t>(left - x_) * 4;
            if (!ownAlpha) {
                copyOpaque(in, out, image->width);
                continue;
            }
            for (int column = 0; column < image->width; ++column) {
                const std::uint32_t inverse = 255u - in[column * 4 + 3];
                for (int c = 0; c < 4; ++c) {
                    out[column * 4 + c] = static_cast<std::uint8_t>(in[column * 4 + c] + out[column * 4 + c] * inverse / 255);
                }
            }
        }
    }

    static void straighten(ScreenFrame& frame) {
        for (std::size_t i = 0; i + 3 < frame.bgra.size(); i += 4) {
            const std::uint32_t alpha = frame.bgra[i + 3];
            if (alpha == 0 || alpha == 255) continue;
            for (std::size_t c = 0; c < 3; ++c) {
                frame.bgra[i + c] = static_cast<std::uint8_t>(std::min<std::uint32_t>(255, (frame.bgra[i + c] * 255u + alpha / 2) / alpha));
            }
        }
    }

    Connection connection_;
    int x_, y_, width_, height_;
    std::vector<Entry> windows_;
    bool drawsCursor_ = false;
    std::unique_ptr<ChangeWatch> changes_;
};

}  // namespace

std::unique_ptr<FrameGrabber> makeRegionGrabber(const Rect& region, bool showCursor,
                                                const std::vector<std::uint64_t>& leftOut) {
    if (region.width < 1 || region.height < 1) throw ScreenCaptureError("The area to record is empty.");
    return std::make_unique<RegionGrabber>(pixels(region.x), pixels(region.y), pixels(region.width),
                                           pixels(region.height), showCursor, leftOut);
}

std::unique_ptr<FrameGrabber> makeWindowGrabber(std::uint64_t windowID, const Rect& crop, bool showCursor) {
    if (crop.width < 1 || crop.height < 1) throw ScreenCaptureError("The area to record is empty.");
    return std::make_unique<WindowGrabber>(static_cast<Window>(windowID), pixels(crop.x), pixels(crop.y),
                                           pixels(crop.width), pixels(crop.height), showCursor);
}

std::unique_ptr<FrameGrabber> makeWindowCompositeGrabber(const Rect& displayFrame,
                                                         const std::vector<std::uint64_t>& windowIDs, bool showCursor) {
    if (displayFrame.width < 1 || displayFrame.height < 1) throw ScreenCaptureError("The area to record is empty.");
    return std::make_unique<WindowCompositeGrabber>(pixels(displayFrame.x), pixels(displayFrame.y),
                                                    pixels(displayFrame.width), pixels(displayFrame.height), windowIDs,
                                                    showCursor);
}

}  // namespace orvane::x11
