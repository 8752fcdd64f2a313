#include "base/manual_executor.h"

namespace orvane {

ManualExecutor::ManualExecutor()
    : now_(SteadyTime{} + std::chrono::hours(1)),
      wallStart_(std::chrono::sys_days{std::chrono::year{2026} / 1 / 1}),
      steadyStart_(now_) {}

SystemTime ManualExecutor::wallNow() const {
    return wallStart_ + std::chrono::duration_cast<SystemTime::duration>(now_ - steadyStart_);
}

void ManualExecutor::post(Task task) { postAfter(Duration::zero(), std::move(task)); }

TimerHandle ManualExecutor::postAfter(Duration delay, Task task) {
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    const auto due = now_ + std::max(delay, Duration::zero());
    queue_.emplace(std::make_pair(due, sequence_++), Entry{std::move(task), cancelled});
    return TimerHandle(cancelled);
}

void ManualExecutor::advance(Duration delta) {
    const auto target = now_ + delta;
    while (!queue_.empty() && queue_.begin()->first.first <= target) {
        auto node = queue_.extract(queue_.begin());
        now_ = node.key().first;
        if (!node.mapped().cancelled->load()) node.mapped().task();
    }
    now_ = target;
}

}  // namespace orvane
