#include "platform/linux/stop_signals.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>

#include "base/executor.h"
#include "base/file_descriptor.h"
#include "base/thread_name.h"

namespace orvane {

namespace {

// The signals that stop a long command.
sigset_t stopSignalSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

}  // namespace

// A signalfd read by one thread; an eventfd tells that thread to end.
struct StopSignals::Watcher {
    sigset_t previous{};
    FileDescriptor signals{-1};
    FileDescriptor wake{-1};
    std::thread thread;

    void run(const std::function<void()>& onSignal) const {
        pollfd fds[2] = {{signals.get(), POLLIN, 0}, {wake.get(), POLLIN, 0}};
        for (;;) {
            if (::poll(fds, 2, -1) < 0) {
                if (errno == EINTR) continue;
                return;
            }
            if (fds[1].revents != 0) return;
            if (fds[0].revents & POLLIN) {
                signalfd_siginfo info{};
                if (::read(signals.get(), &info, sizeof info) == static_cast<ssize_t>(sizeof info)) onSignal();
            }
        }
    }
};

StopSignals::StopSignals(Executor& executor, std::function<void()> onStop)
    : watcher_(std::make_unique<Watcher>()), onStop_(std::make_shared<std::function<void()>>(std::move(onStop))) {
    const sigset_t set = stopSignalSet();
    pthread_sigmask(SIG_BLOCK, &set, &watcher_->previous);
    watcher_->signals = FileDescriptor(::signalfd(-1, &set, SFD_CLOEXEC));
    watcher_->wake = FileDescriptor(::eventfd(0, EFD_CLOEXEC));
    if (watcher_->signals.get() < 0 || watcher_->wake.get() < 0) {
        const int error = errno;
        pthread_sigmask(SIG_SETMASK, &watcher_->previous, nullptr);
        throw std::runtime_error("cannot watch for Ctrl-C: " + std::string(std::strerror(error)));
    }
    std::weak_ptr<std::function<void()>> target = onStop_;
    watcher_->thread = std::thread([watcher = watcher_.get(), &executor, target] {
        setCurrentThreadName("orvane.signals");
        watcher->run([&executor, target] {
            executor.post([target] {
                if (const auto call = target.lock()) (*call)();
            });
        });
    });
}

StopSignals::~StopSignals() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(watcher_->wake.get(), &one, sizeof one);
    watcher_->thread.join();
    // A signal that arrived after the last read is still pending; it must not kill the process once
    // the mask is lifted, so it is taken here.
    const sigset_t set = stopSignalSet();
    const timespec now{0, 0};
    while (sigtimedwait(&set, nullptr, &now) > 0) {
    }
    pthread_sigmask(SIG_SETMASK, &watcher_->previous, nullptr);
}

}  // namespace orvane
