#include <gtest/gtest.h>

#include <thread>

#include "base/manual_executor.h"
#include "base/toast_center.h"

namespace orvane {
namespace {

using namespace std::chrono_literals;

TEST(ToastCenter, ToastsExpireByLevelUnlessPersistent) {
    ManualExecutor executor;
    ToastCenter center(executor);
    int notifications = 0;
    auto subscription = center.observe([&](const auto&) { ++notifications; });

    center.post(ToastLevel::success, "Exported");
    center.post(ToastLevel::warning, "Recovered 1 unfinished recording", "detail");
    center.post(ToastLevel::error, "Upload failed");
    center.post(ToastLevel::info, "Pinned", std::nullopt, {}, /*persistent=*/true);
    ASSERT_EQ(center.toasts().size(), 4u);
    EXPECT_EQ(center.toasts()[1].detail, "detail");

    executor.advance(3999ms);
    EXPECT_EQ(center.toasts().size(), 4u);
    executor.advance(1ms);
    EXPECT_EQ(center.toasts().size(), 3u);
    executor.advance(3s);  // 7 s
    EXPECT_EQ(center.toasts().size(), 2u);
    executor.advance(5s);  // 12 s
    ASSERT_EQ(center.toasts().size(), 1u);
    EXPECT_EQ(center.toasts()[0].title, "Pinned");
    executor.advance(1h);
    EXPECT_EQ(center.toasts().size(), 1u);
    EXPECT_EQ(notifications, 7);
}

TEST(ToastCenter, ActionRunsOnceAndDismisses) {
    ManualExecutor executor;
    ToastCenter center(executor);
    int opened = 0;
    const auto id = center.post(ToastLevel::info, "Saved", std::nullopt, {{"Open", [&] { ++opened; }}});
    center.performAction(id, 0);
    center.performAction(id, 0);
    EXPECT_EQ(opened, 1);
    EXPECT_TRUE(center.toasts().empty());
    executor.advance(10s);  // the expiry of an already dismissed toast is harmless
    EXPECT_TRUE(center.toasts().empty());
}

// Toasts are a main-loop list that the studio draws from; a post from a worker would race the drawing.
TEST(ToastCenterDeathTest, ASecondThreadStopsADebugBuild) {
#ifdef NDEBUG
    GTEST_SKIP() << "the ownership check is compiled out of release builds";
#else
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ManualExecutor executor;
    ToastCenter center(executor);
    center.post(ToastLevel::info, "From the loop");
    executor.advance(10s);
    const auto fromWorker = [&] { std::thread([&] { center.post(ToastLevel::error, "From a worker"); }).join(); };
    EXPECT_DEATH(fromWorker(), "post \\(.*toast_center.cpp:[0-9]+\\) ran off the thread that owns its object");
#endif
}

}  // namespace
}  // namespace orvane
