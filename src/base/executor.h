#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

#include "base/iso8601.h"

namespace orvane {

using SteadyTime = std::chrono::steady_clock::time_point;
using Duration = std::chrono::nanoseconds;
using Task = std::function<void()>;

// Cancels a scheduled task. Dropping the handle leaves the task scheduled; cancelling after the
// task ran is harmless. Safe to use from any thread.
class TimerHandle {
public:
    TimerHandle() = default;
    explicit TimerHandle(std::shared_ptr<std::atomic<bool>> cancelled) : cancelled_(std::move(cancelled)) {}
    void cancel() const {
        if (cancelled_) cancelled_->store(true);
    }
    bool isCancelled() const { return cancelled_ && cancelled_->load(); }

private:
    std::shared_ptr<std::atomic<bool>> cancelled_;
};

// All "now" readings go through a clock so tests can run on virtual time.
class Clock {
public:
    virtual ~Clock() = default;
    virtual SteadyTime now() const = 0;
    virtual SystemTime wallNow() const = 0;
};

// Runs tasks one at a time in the order they are due. The main loop and every serial queue are
// executors; objects owned by one are touched only from its tasks.
class Executor : public Clock {
public:
    virtual void post(Task task) = 0;
    virtual TimerHandle postAfter(Duration delay, Task task) = 0;
    // Runs `task` on this executor and returns once it has run. Must not be called from a task of
    // the same executor (it would wait for itself).
    virtual void runSync(Task task) = 0;

    // A repeating timer: first run after `firstDelay`, then every `interval`, until cancelled.
    TimerHandle postRepeating(Duration firstDelay, Duration interval, Task task);
};

// The real clock: std::chrono's steady and system clocks.
class SystemClock final : public Clock {
public:
    SteadyTime now() const override { return std::chrono::steady_clock::now(); }
    SystemTime wallNow() const override { return std::chrono::system_clock::now(); }
};

}  // namespace orvane
