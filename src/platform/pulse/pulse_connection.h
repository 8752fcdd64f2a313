#pragma once

// RAII over libpulse's threaded main loop and one connected context. Internal to src/platform/pulse/.

#include <pulse/pulseaudio.h>

#include <functional>
#include <memory>
#include <string>

namespace orvane::pulse {

// Holds the main-loop lock for a scope. Callbacks run on the loop's thread with the lock already held,
// so they must never take it.
class MainloopLock {
public:
    explicit MainloopLock(pa_threaded_mainloop* loop) : loop_(loop) { pa_threaded_mainloop_lock(loop_); }
    MainloopLock(const MainloopLock&) = delete;
    MainloopLock& operator=(const MainloopLock&) = delete;
    ~MainloopLock() { pa_threaded_mainloop_unlock(loop_); }

private:
    pa_threaded_mainloop* loop_;
};

// A started threaded main loop with a context connected to the server named by the environment
// (PULSE_SERVER, else the user's default). Never spawns a server: a missing one is an error.
class Connection {
public:
    // `clientName` shows in the server's client list. Throws AudioSystemError when no server answers.
    explicit Connection(const std::string& clientName);
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection();

    pa_threaded_mainloop* loop() const { return loop_; }
    pa_context* context() const { return context_; }

    // The server's last error as text, for messages. Call with the lock held.
    std::string lastErrorText() const;

    // Waits, lock held, until `operation` finishes (its callback must call signal()); false when the
    // context died meanwhile. Takes ownership of the operation. A null operation answers false.
    bool await(pa_operation* operation);
    // Wakes await() and waits on the loop; for callbacks.
    void signal() { pa_threaded_mainloop_signal(loop_, 0); }
    void wait() { pa_threaded_mainloop_wait(loop_); }
    bool contextAlive() const;

private:
    void release();

    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
};

}  // namespace orvane::pulse
