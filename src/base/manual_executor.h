#pragma once

#include <cstdint>
#include <map>
#include <utility>

#include "base/executor.h"

namespace orvane {

// Virtual time for tests: nothing runs until the test advances the clock, and then every task due
// by the new time runs in due order (ties in posting order), with now() reading each task's due time.
// Single-threaded: post and advance from the test's thread only.
class ManualExecutor final : public Executor {
public:
    ManualExecutor();

    SteadyTime now() const override { return now_; }
    SystemTime wallNow() const override;
    void post(Task task) override;
    TimerHandle postAfter(Duration delay, Task task) override;
    // Runs the task at once: the test thread is the executor's only thread.
    void runSync(Task task) override { task(); }

    // Moves virtual time forward by `delta`, running everything that falls due.
    void advance(Duration delta);
    // Runs the tasks that are due now, including those they post for now.
    void runPending() { advance(Duration::zero()); }
    std::size_t pendingCount() const { return queue_.size(); }

private:
    struct Entry {
        Task task;
        std::shared_ptr<std::atomic<bool>> cancelled;
    };
    SteadyTime now_;
    SystemTime wallStart_;
    SteadyTime steadyStart_;
    std::uint64_t sequence_ = 0;
    std::multimap<std::pair<SteadyTime, std::uint64_t>, Entry> queue_;
};

}  // namespace orvane
