#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <string>
#include <thread>

#include <poll.h>
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

namespace {
bool readableWithin(int fd, int milliseconds) {
    pollfd entry{fd, POLLIN, 0};
    return ::poll(&entry, 1, milliseconds) == 1;
}
}  // namespace

TEST(EventLoop, AnExternallyDrivenLoopWakesItsOwnerForPostsAndDueTimersOnly) {
    EventLoop loop;
    std::vector<std::string> ran;
    loop.post([&] { ran.push_back("early"); });
    const int fd = loop.attachToExternalLoop();
    // A task posted before attaching is not stranded.
    ASSERT_TRUE(readableWithin(fd, 1000));
    loop.runReady();
    EXPECT_EQ(ran, std::vector<std::string>{"early"});
    EXPECT_FALSE(readableWithin(fd, 0)) << "an idle loop must not keep its owner awake";

    std::thread([&] { loop.post([&] { ran.push_back("from a thread"); }); }).join();
    ASSERT_TRUE(readableWithin(fd, 1000));
    loop.runReady();
    EXPECT_EQ(ran.back(), "from a thread");

    const TimerHandle cancelled = loop.postAfter(20ms, [&] { ran.push_back("cancelled"); });
    loop.postAfter(30ms, [&] { ran.push_back("timer"); });
    cancelled.cancel();
    EXPECT_FALSE(readableWithin(fd, 5));
    // The cancelled timer may still wake the owner once; only the live one runs.
    for (int i = 0; i < 10 && ran.back() != "timer"; ++i) {
        if (readableWithin(fd, 1000)) loop.runReady();
    }
    EXPECT_EQ(ran, (std::vector<std::string>{"early", "from a thread", "timer"}));
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
