#include "base/event_loop.h"

#include <sys/eventfd.h>
#include <unistd.h>
#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <asio/steady_timer.hpp>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <future>
#include <optional>
#include <system_error>

#include "base/file_descriptor.h"
#include "base/thread_name.h"

namespace orvane {

namespace {

// The timers of a loop that another loop drives: they wait here and post their task to the loop
// when due, which wakes its owner through the descriptor.
struct TimerThread {
    asio::io_context context;
    asio::executor_work_guard<asio::io_context::executor_type> keepAlive{context.get_executor()};
    std::thread thread;

    TimerThread() {
        thread = std::thread([this] {
            setCurrentThreadName("orvane.timers");
            context.run();
        });
    }
    ~TimerThread() {
        keepAlive.reset();
        context.stop();
        thread.join();
    }
    TimerThread(const TimerThread&) = delete;
    TimerThread& operator=(const TimerThread&) = delete;
};

}  // namespace

struct EventLoop::Impl {
    asio::io_context context;
    std::optional<asio::executor_work_guard<asio::io_context::executor_type>> keepAlive{context.get_executor()};
    std::optional<FileDescriptor> wakeup;
    std::atomic<int> wakeupFd{-1};
    // Last, so it stops before the context its timers post to goes away.
    std::unique_ptr<TimerThread> timers;

    void wake() const {
        const int fd = wakeupFd.load(std::memory_order_acquire);
        if (fd < 0) return;
        const std::uint64_t one = 1;
        // A full counter (EAGAIN) already means "readable"; nothing else can fail on an eventfd.
        [[maybe_unused]] const auto written = ::write(fd, &one, sizeof one);
    }
};

EventLoop::EventLoop() : impl_(std::make_unique<Impl>()) {}
EventLoop::~EventLoop() = default;

SteadyTime EventLoop::now() const { return std::chrono::steady_clock::now(); }
SystemTime EventLoop::wallNow() const { return std::chrono::system_clock::now(); }

void EventLoop::post(Task task) {
    asio::post(impl_->context, std::move(task));
    impl_->wake();
}

TimerHandle EventLoop::postAfter(Duration delay, Task task) {
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    if (impl_->timers) {
        auto timer = std::make_shared<asio::steady_timer>(impl_->timers->context, delay);
        timer->async_wait([this, timer, cancelled, task = std::move(task)](const std::error_code& error) mutable {
            if (error || cancelled->load()) return;
            post([cancelled, task = std::move(task)] {
                if (!cancelled->load()) task();
            });
        });
        return TimerHandle(cancelled);
    }
    auto timer = std::make_shared<asio::steady_timer>(impl_->context, delay);
    timer->async_wait([timer, cancelled, task = std::move(task)](const std::error_code& error) {
        if (!error && !cancelled->load()) task();
    });
    return TimerHandle(cancelled);
}

void EventLoop::runSync(Task task) {
    std::promise<void> done;
    auto finished = done.get_future();
    post([&] {
        try {
            task();
            done.set_value();
        } catch (...) {
            done.set_exception(std::current_exception());
        }
    });
    finished.get();
}

void EventLoop::run() {
    impl_->context.restart();
    impl_->context.run();
}

void EventLoop::stop() { impl_->context.stop(); }

int EventLoop::attachToExternalLoop() {
    if (impl_->wakeup) return impl_->wakeup->get();
    const int fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (fd < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
    impl_->wakeup.emplace(fd);
    impl_->timers = std::make_unique<TimerThread>();
    impl_->wakeupFd.store(fd, std::memory_order_release);
    // Tasks posted before now are waiting too.
    impl_->wake();
    return fd;
}

void EventLoop::runReady() {
    if (impl_->wakeup) {
        std::uint64_t count = 0;
        [[maybe_unused]] const auto drained = ::read(impl_->wakeup->get(), &count, sizeof count);
    }
    impl_->context.restart();
    impl_->context.poll();
}

void EventLoop::runUnlessStopped() { impl_->context.run(); }

SerialQueue::SerialQueue(const std::string& label) {
    thread_ = std::thread([this, label] {
        setCurrentThreadName(label);
        runUnlessStopped();
    });
}

SerialQueue::~SerialQueue() {
    stop();
    if (thread_.joinable()) thread_.join();
}

}  // namespace orvane
