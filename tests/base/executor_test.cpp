#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <vector>

#include "base/bounded_wait.h"
#include "base/event_loop.h"
#include "base/manual_executor.h"

namespace orvane {
namespace {

using namespace std::chrono_literals;

TEST(ManualExecutor, RunsTasksInDueOrderOnlyWhenTimeAdvances) {
    ManualExecutor executor;
    std::vector<std::string> order;
    const auto start = executor.now();
    executor.postAfter(20ms, [&] { order.push_back("b@" + std::to_string((executor.now() - start) / 1ms)); });
    executor.postAfter(10ms, [&] { order.push_back("a@" + std::to_string((executor.now() - start) / 1ms)); });
    executor.post([&] { order.push_back("now"); });
    auto cancelled = executor.postAfter(15ms, [&] { order.push_back("cancelled"); });
    cancelled.cancel();

    EXPECT_TRUE(order.empty());
    executor.advance(10ms);
    EXPECT_EQ(order, (std::vector<std::string>{"now", "a@10"}));
    executor.advance(100ms);
    EXPECT_EQ(order, (std::vector<std::string>{"now", "a@10", "b@20"}));
    EXPECT_EQ(executor.now() - start, 110ms);
}

TEST(ManualExecutor, RepeatingTimerFiresAtItsIntervalUntilCancelled) {
    ManualExecutor executor;
    int ticks = 0;
    auto timer = executor.postRepeating(0ms, 1'000'000'000ns / 60, [&] { ++ticks; });
    executor.advance(1s);
    EXPECT_EQ(ticks, 61);  // at 0 and every sixtieth up to and including 1 s
    timer.cancel();
    executor.advance(1s);
    EXPECT_EQ(ticks, 61);
    EXPECT_EQ(executor.pendingCount(), 0u);
}

TEST(EventLoop, SerialQueueRunsTasksInOrderAndRunSyncWaits) {
    SerialQueue queue("orvane.test");
    std::vector<int> seen;
    for (int i = 0; i < 100; ++i) queue.post([&seen, i] { seen.push_back(i); });
    std::size_t countAtSync = 0;
    queue.runSync([&] { countAtSync = seen.size(); });
    EXPECT_EQ(countAtSync, 100u);

    std::promise<void> fired;
    queue.postAfter(5ms, [&] { fired.set_value(); });
    EXPECT_EQ(fired.get_future().wait_for(5s), std::future_status::ready);
    EXPECT_THROW(queue.runSync([] { throw std::runtime_error("boom"); }), std::runtime_error);

    // A queue dropped at once is stopped even when its thread has not begun to run yet.
    for (int i = 0; i < 200; ++i) SerialQueue("orvane.short");
}

TEST(BoundedWait, AnswersWithTheValueOrNothingAfterTheLimit) {
    EXPECT_EQ(runBounded<int>(5s, [] { return 7; }), 7);
    EXPECT_EQ(runBounded<int>(5s, []() -> int { throw std::runtime_error("no keyring"); }), std::nullopt);

    auto release = std::make_shared<std::promise<void>>();
    auto gate = release->get_future().share();
    EXPECT_EQ(runBounded<int>(20ms, [gate] { gate.wait(); return 1; }), std::nullopt);
    release->set_value();  // the hung call finishes later; its answer is dropped
}

}  // namespace
}  // namespace orvane
