#include "base/executor.h"

namespace orvane {

namespace {
struct RepeatingTimer : std::enable_shared_from_this<RepeatingTimer> {
    Executor& executor;
    Duration interval;
    Task task;
    std::shared_ptr<std::atomic<bool>> cancelled;

    RepeatingTimer(Executor& e, Duration i, Task t, std::shared_ptr<std::atomic<bool>> c)
        : executor(e), interval(i), task(std::move(t)), cancelled(std::move(c)) {}

    void schedule(Duration delay) {
        auto self = shared_from_this();
        executor.postAfter(delay, [self] {
            if (self->cancelled->load()) return;
            self->task();
            if (!self->cancelled->load()) self->schedule(self->interval);
        });
    }
};
}  // namespace

TimerHandle Executor::postRepeating(Duration firstDelay, Duration interval, Task task) {
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    auto timer = std::make_shared<RepeatingTimer>(*this, interval, std::move(task), cancelled);
    timer->schedule(firstDelay);
    return TimerHandle(cancelled);
}

}  // namespace orvane
