#include <gtest/gtest.h>

#include <chrono>
#include <limits>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "render/export/export_progress.h"

namespace orvane {
namespace {

TEST(ExportProgressText, DurationsReadInTheLargestUnitsThatMatterAndEstimatesWaitForARate) {
    // From ten minutes on, seconds are noise.
    for (const auto& [seconds, text] : std::vector<std::pair<long long, std::string>>{
             {0, "0s"}, {45, "45s"}, {59, "59s"}, {60, "1m"}, {125, "2m 5s"}, {180, "3m"}, {599, "9m 59s"},
             {600, "10m"}, {725, "12m"}, {3599, "59m"}, {3600, "1h"}, {3660, "1h 1m"}, {7259, "2h"}, {-5, "0s"}}) {
        EXPECT_EQ(durationText(seconds), text) << seconds;
    }
    // One second or less left is not worth a number.
    const double forever = std::numeric_limits<double>::infinity(), unknown = std::numeric_limits<double>::quiet_NaN();
    for (const auto& [fraction, elapsed, text] : std::vector<std::tuple<double, double, std::string>>{
             {0.5, 0.9, "estimating time remaining"}, {0.019, 100, "estimating time remaining"},
             {0.5, 10, "about 10s remaining"}, {0.5, 125, "about 2m 5s remaining"}, {0.25, 20, "about 1m remaining"},
             {0.02, 1, "about 49s remaining"}, {0.25, 1200, "about 1h remaining"}, {0.995, 5000, "finishing up"},
             {0.995, 0.1, "finishing up"}, {1.0, 30, "finishing up"}, {0.9, 9, "finishing up"},
             {0.5, forever, "finishing up"}, {0.5, unknown, "estimating time remaining"}}) {
        EXPECT_EQ(remainingStatusText(fraction, elapsed), text) << fraction << " after " << elapsed;
    }
}

struct Report {
    double fraction;
    std::optional<std::string> status;
};

TEST(SegmentRenderProgressCounter, ReportsEverySecondOfVideoAndTheLastFrame) {
    auto now = std::chrono::steady_clock::time_point{};
    std::vector<Report> reports;
    // 30 frames cached of 100, 70 to render at 30 fps.
    SegmentRenderProgressCounter counter(
        30, 100, 70, 30, [&](double fraction, std::optional<std::string> status) { reports.push_back({fraction, status}); },
        [&] { return now; });
    for (int i = 0; i < 29; ++i) {
        now += std::chrono::milliseconds(100);
        counter.frameRendered();
    }
    EXPECT_TRUE(reports.empty());
    now += std::chrono::milliseconds(100);
    counter.frameRendered();  // 30 rendered after 3 s: 60 % done
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_DOUBLE_EQ(reports[0].fraction, 0.6);
    // 40 frames left at 10 a second; the cached frames took no time and do not speed the estimate up.
    EXPECT_EQ(reports[0].status, "about 4s remaining");

    // A failed hardware attempt's frames are rendered again and must not count twice.
    counter.discard(10);
    EXPECT_EQ(counter.renderedMissingFrames(), 20);
    for (int i = 0; i < 50; ++i) counter.frameRendered();
    ASSERT_EQ(reports.size(), 4u);  // at 30 and 60 rendered, then at the 70th and last
    EXPECT_DOUBLE_EQ(reports[1].fraction, 0.6);
    EXPECT_DOUBLE_EQ(reports[2].fraction, 0.9);
    EXPECT_DOUBLE_EQ(reports[3].fraction, 1.0);
    EXPECT_EQ(reports[3].status, "finishing up");
    counter.discard(1000);
    EXPECT_EQ(counter.renderedMissingFrames(), 0);
    EXPECT_DOUBLE_EQ(counter.fraction(), 0.3);
}

TEST(SegmentRenderProgressCounter, ZeroFpsReportsEveryFrameAndEmptyJobsStayInRange) {
    int reports = 0;
    SegmentRenderProgressCounter counter(0, 3, 3, 0, [&](double, std::optional<std::string>) { ++reports; });
    for (int i = 0; i < 3; ++i) counter.frameRendered();
    EXPECT_EQ(reports, 3);
    // More frames than the total (a retry that overlaps) never passes 1.
    counter.frameRendered();
    EXPECT_DOUBLE_EQ(counter.fraction(), 1.0);

    SegmentRenderProgressCounter empty(0, 0, 0, 30, nullptr);
    empty.frameRendered();  // no callback: nothing to call
    EXPECT_DOUBLE_EQ(empty.fraction(), 0.0);
}

}  // namespace
}  // namespace orvane
