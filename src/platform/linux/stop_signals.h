#pragma once

#include <functional>
#include <memory>

namespace orvane {

class Executor;

// Ctrl-C and SIGTERM while a long command runs (a recording, an export): instead of killing the
// process they call `onStop` on `executor`, so the command can stop cleanly and leave nothing
// half-written. The signals are blocked in the creating thread and in every thread it starts
// afterwards: create this before any worker thread. Destroy it on the executor's thread; a call
// still queued then is dropped. The previous signal mask comes back.
class StopSignals {
public:
    StopSignals(Executor& executor, std::function<void()> onStop);
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

private:
    struct Watcher;
    std::unique_ptr<Watcher> watcher_;
    // Queued calls hold it weakly: once this object is gone they do nothing.
    std::shared_ptr<std::function<void()>> onStop_;
};

}  // namespace orvane
