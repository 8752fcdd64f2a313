#include "base/event_loop.h"

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <asio/steady_timer.hpp>
#include <future>
#include <optional>

#include "base/thread_name.h"

namespace orvane {

struct EventLoop::Impl {
    asio::io_context context;
    std::optional<asio::executor_work_guard<asio::io_context::executor_type>> keepAlive{context.get_executor()};
};

EventLoop::EventLoop() : impl_(std::make_unique<Impl>()) {}
EventLoop::~EventLoop() = default;

SteadyTime EventLoop::now() const { return std::chrono::steady_clock::now(); }
SystemTime EventLoop::wallNow() const { return std::chrono::system_clock::now(); }

void EventLoop::post(Task task) { asio::post(impl_->context, std::move(task)); }

TimerHandle EventLoop::postAfter(Duration delay, Task task) {
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
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
