#include <gtest/gtest.h>

#include <chrono>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "render/export/export_progress.h"

namespace orvane {
namespace {

TEST(ExportProgressText, DurationsReadInTheLargestUnitsThatMatter) {
    EXPECT_EQ(durationText(0), "0s");
    EXPECT_EQ(durationText(45), "45s");
    EXPECT_EQ(durationText(59), "59s");
    EXPECT_EQ(durationText(60), "1m");
    EXPECT_EQ(durationText(125), "2m 5s");
    EXPECT_EQ(durationText(180), "3m");
    EXPECT_EQ(durationText(599), "9m 59s");
    // From ten minutes on, seconds are noise.
    EXPECT_EQ(durationText(600), "10m");
    EXPECT_EQ(durationText(725), "12m");
    EXPECT_EQ(durationText(3599), "59m");
    EXPECT_EQ(durationText(3600), "1h");
    EXPECT_EQ(durationText(3660), "1h 1m");
    EXPECT_EQ(durationText(7259), "2h");
    EXPECT_EQ(durationText(-5), "0s");
}

TEST(ExportProgressText, StatusEstimatesOnlyOnceTheRateIsKnown) {
    EXPECT_EQ(remainingStatusText(0.5, 0.9), "estimating time remaining");
    EXPECT_EQ(remainingStatusText(0.019, 100), "estimating time remaining");
    EXPECT_EQ(remainingStatusText(0.5, 10), "about 10s remaining");
    EXPECT_EQ(remainingStatusText(0.5, 125), "about 2m 5s remaining");
    EXPECT_EQ(remainingStatusText(0.25, 20), "about 1m remaining");
    EXPECT_EQ(remainingStatusText(0.02, 1), "about 49s remaining");
    EXPECT_EQ(remainingStatusText(0.25, 1200), "about 1h remaining");
    EXPECT_EQ(remainingStatusText(0.995, 5000), "finishing up");
    EXPECT_EQ(remainingStatusText(0.995, 0.1), "finishing up");
    EXPECT_EQ(remainingStatusText(1.0, 30), "finishing up");
    // One second or less left is not worth a number.
    EXPECT_EQ(remainingStatusText(0.9, 9), "finishing up");
    EXPECT_EQ(remainingStatusText(0.5, std::numeric_limits<double>::infinity()), "finishing up");
    EXPECT_EQ(remainingStatusText(0.5, std::numeric_limits<double>::quiet_NaN()), "estimating time remaining");
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
