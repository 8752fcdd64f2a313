#pragma once

#include <memory>
#include <string>
#include <thread>

#include "base/executor.h"

namespace orvane {

// The real executor: an Asio io_context. `run()` turns the calling thread into the loop (the main
// loop); `SerialQueue` below gives a loop its own named thread.
class EventLoop : public Executor {
public:
    EventLoop();
    ~EventLoop() override;
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    SteadyTime now() const override;
    SystemTime wallNow() const override;
    void post(Task task) override;
    TimerHandle postAfter(Duration delay, Task task) override;
    void runSync(Task task) override;

    // Runs tasks until stop(); keeps running while idle.
    void run();
    void stop();

    // Hands this loop to another event loop on the same thread (the desktop toolkit's): from now on
    // the returned descriptor becomes readable whenever a task is due, and the owner calls
    // runReady() then instead of run(). Timers wait on a helper thread of their own and post their
    // task when due, so nothing has to poll. Call once, before other threads post.
    int attachToExternalLoop();
    // Runs every task that is due now, without waiting for more.
    void runReady();

protected:
    // Runs tasks until stop() without first clearing a stop() that came earlier, for a loop whose
    // thread may begin after its owner has already asked it to end.
    void runUnlessStopped();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// One task at a time, in order, on a thread of its own (a "serial queue").
class SerialQueue final : public EventLoop {
public:
    // `label` names the thread as the system shows it (15 characters are kept).
    explicit SerialQueue(const std::string& label);
    ~SerialQueue() override;

private:
    std::thread thread_;
};

}  // namespace orvane
