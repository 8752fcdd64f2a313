#include "platform/x11/x11_pointer_source.h"

#include <X11/extensions/XInput2.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "base/log.h"
#include "base/log_areas.h"
#include "base/thread_name.h"
#include "platform/x11/x11_connection.h"

namespace orvane {

namespace {

// A pipe that wakes the monitor thread's poll() when it should stop.
class WakePipe {
public:
    WakePipe() {
        if (pipe(fds_) != 0) fds_[0] = fds_[1] = -1;
    }
    WakePipe(const WakePipe&) = delete;
    WakePipe& operator=(const WakePipe&) = delete;
    ~WakePipe() {
        for (int fd : fds_) {
            if (fd >= 0) close(fd);
        }
    }
    bool valid() const { return fds_[0] >= 0; }
    int readEnd() const { return fds_[0]; }
    void wake() {
        const char byte = 1;
        [[maybe_unused]] const auto written = write(fds_[1], &byte, 1);
    }

private:
    int fds_[2] = {-1, -1};
};

class ButtonMonitor {
public:
    // Answers nothing when the server lacks XInput 2.
    static std::unique_ptr<ButtonMonitor> start(std::function<void(bool)> onChange) {
        auto connection = x11::openConnection();
        Display* display = connection.get();
        int opcode = 0, event = 0, error = 0;
        if (!XQueryExtension(display, "XInputExtension", &opcode, &event, &error)) return nullptr;
        // From 2.1 on, raw events reach the root window even while another client holds a grab; with
        // 2.0 the release of a click on any application's window (an implicit grab) never arrives.
        int major = 2, minor = 2;
        if (XIQueryVersion(display, &major, &minor) != Success) return nullptr;

        unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
        XISetMask(bits, XI_RawButtonPress);
        XISetMask(bits, XI_RawButtonRelease);
        XIEventMask mask{XIAllMasterDevices, sizeof(bits), bits};
        x11::ErrorTrap trap(display);
        XISelectEvents(display, DefaultRootWindow(display), &mask, 1);
        if (trap.failedAfterSync()) return nullptr;
        return std::unique_ptr<ButtonMonitor>(new ButtonMonitor(std::move(connection), opcode, std::move(onChange)));
    }

    ButtonMonitor(const ButtonMonitor&) = delete;
    ButtonMonitor& operator=(const ButtonMonitor&) = delete;
    ~ButtonMonitor() {
        stopping_ = true;
        wake_.wake();
        thread_.join();
    }

private:
    ButtonMonitor(x11::Connection connection, int opcode, std::function<void(bool)> onChange)
        : connection_(std::move(connection)), opcode_(opcode), onChange_(std::move(onChange)) {
        thread_ = std::thread([this] { run(); });
    }

    void run() {
        setCurrentThreadName("orvane.buttons");
        Display* display = connection_.get();
        pollfd fds[2] = {{ConnectionNumber(display), POLLIN, 0}, {wake_.readEnd(), POLLIN, 0}};
        while (!stopping_) {
            while (XPending(display) > 0) {
                XEvent event{};
                XNextEvent(display, &event);
                XGenericEventCookie* cookie = &event.xcookie;
                if (cookie->type != GenericEvent || cookie->extension != opcode_) continue;
                if (!XGetEventData(display, cookie)) continue;
                if (cookie->evtype == XI_RawButtonPress || cookie->evtype == XI_RawButtonRelease) {
                    const auto* raw = static_cast<const XIRawEvent*>(cookie->data);
                    // Raw events carry the physical button number; 1 is the primary (left) button.
                    if (raw->detail == 1) onChange_(cookie->evtype == XI_RawButtonPress);
                }
                XFreeEventData(display, cookie);
            }
            if (stopping_) break;
            poll(fds, 2, -1);
        }
    }

    x11::Connection connection_;
    int opcode_;
    std::function<void(bool)> onChange_;
    WakePipe wake_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace

struct X11PointerSource::Impl {
    std::mutex mutex;  // location() may come from any queue
    x11::Connection connection = x11::openConnection();
    std::mutex monitorMutex;
    std::unique_ptr<ButtonMonitor> monitor;
};

X11PointerSource::X11PointerSource() : impl_(std::make_unique<Impl>()) {}

X11PointerSource::~X11PointerSource() { stopButtonMonitor(); }

PointerLocation X11PointerSource::location() {
    std::lock_guard lock(impl_->mutex);
    Display* display = impl_->connection.get();
    Window rootReturn = 0, child = 0;
    int rootX = 0, rootY = 0, winX = 0, winY = 0;
    unsigned mask = 0;
    XQueryPointer(display, DefaultRootWindow(display), &rootReturn, &child, &rootX, &rootY, &winX, &winY, &mask);
    return {static_cast<double>(rootX), static_cast<double>(rootY)};
}

bool X11PointerSource::startButtonMonitor(std::function<void(bool leftDown)> onChange) {
    std::lock_guard lock(impl_->monitorMutex);
    impl_->monitor.reset();
    try {
        impl_->monitor = ButtonMonitor::start(std::move(onChange));
    } catch (const std::exception& e) {
        log::warning(log_area::kCursor, "button monitor: %s", e.what());
    }
    if (!impl_->monitor) log::warning(log_area::kCursor, "XInput 2 is not available; clicks are not monitored");
    return impl_->monitor != nullptr;
}

void X11PointerSource::stopButtonMonitor() {
    std::lock_guard lock(impl_->monitorMutex);
    impl_->monitor.reset();
}

}  // namespace orvane
