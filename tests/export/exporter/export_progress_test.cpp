#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <limits>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "export/export_progress.h"
#include "export/render_attempt.h"
#include "export/render_plan.h"
#include "model/scene_render_snapshot.h"

namespace orvane {
namespace {

TEST(ExportProgressText, DurationsReadInTheLargestUnitsThatMatterAndEstimatesWaitForARate) {
    // From ten minutes on, seconds are noise.
    for (const auto& [seconds, text] : std::vector<std::pair<long long, std::string>>{{0, "0s"},
                                                                                      {45, "45s"},
                                                                                      {59, "59s"},
                                                                                      {60, "1m"},
                                                                                      {125, "2m 5s"},
                                                                                      {180, "3m"},
                                                                                      {599, "9m 59s"},
                                                                                      {600, "10m"},
                                                                                      {725, "12m"},
                                                                                      {3599, "59m"},
                                                                                      {3600, "1h"},
                                                                                      {3660, "1h 1m"},
                                                                                      {7259, "2h"},
                                                                                      {-5, "0s"}}) {
        EXPECT_EQ(durationText(seconds), text) << seconds;
    }
    // One second or less left is not worth a number.
    const double forever = std::numeric_limits<double>::infinity(), unknown = std::numeric_limits<double>::quiet_NaN();
    for (const auto& [fraction, elapsed, text] :
         std::vector<std::tuple<double, double, std::string>>{{0.5, 0.9, "estimating time remaining"},
                                                              {0.019, 100, "estimating time remaining"},
                                                              {0.5, 10, "about 10s remaining"},
                                                              {0.5, 125, "about 2m 5s remaining"},
                                                              {0.25, 20, "about 1m remaining"},
                                                              {0.02, 1, "about 49s remaining"},
                                                              {0.25, 1200, "about 1h remaining"},
                                                              {0.995, 5000, "finishing up"},
                                                              {0.995, 0.1, "finishing up"},
                                                              {1.0, 30, "finishing up"},
                                                              {0.9, 9, "finishing up"},
                                                              {0.5, forever, "finishing up"},
                                                              {0.5, unknown, "estimating time remaining"}}) {
        EXPECT_EQ(remainingStatusText(fraction, elapsed), text) << fraction << " after " << elapsed;
    }
}

struct Report {
    double fraction;
    std::optional<std::string> status;
};

TEST(SegmentRenderProgressCounter, ReportsEverySecondOfVideoTheLastFrameAndStaysInRange) {
    auto now = std::chrono::steady_clock::time_point{};
    std::vector<Report> reports;
    // 30 frames cached of 100, 70 to render at 30 fps.
    SegmentRenderProgressCounter counter(
        30, 100, 70, 30,
        [&](double fraction, std::optional<std::string> status) {
            reports.push_back({fraction, status});
        },
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

    // Zero fps reports every frame; more frames than the total, or none, stay in range.
    int calls = 0;
    SegmentRenderProgressCounter everyFrame(0, 3, 3, 0, [&](double, std::optional<std::string>) { ++calls; });
    for (int i = 0; i < 3; ++i) everyFrame.frameRendered();
    EXPECT_EQ(calls, 3);
    // More frames than the total (a retry that overlaps) never passes 1.
    everyFrame.frameRendered();
    EXPECT_DOUBLE_EQ(everyFrame.fraction(), 1.0);

    SegmentRenderProgressCounter empty(0, 0, 0, 30, nullptr);
    empty.frameRendered();  // no callback: nothing to call
    EXPECT_DOUBLE_EQ(empty.fraction(), 0.0);
}

TEST(RenderPlan, BatchesWorkersAndSegmentsFollowTheWork) {
    // Batches shrink with the longer side, portrait counting its height.
    for (const auto& [w, h, batch] : std::vector<std::array<int, 3>>{
             {1280, 720, 12}, {1080, 1799, 12}, {1800, 1012, 8}, {1080, 1920, 8}, {2999, 2000, 8}, {3840, 2160, 4}}) {
        EXPECT_EQ(exportBatchSize(w, h), batch) << w << "x" << h;
    }
    // Unknown core counts (0) get one worker; 4K at most two encoders and their frames at once; never
    // more workers than segments to render.
    for (const auto& [cores, w, h, work, workers] : std::vector<std::array<int, 5>>{{1, 1920, 1080, 10, 1},
                                                                                    {0, 1920, 1080, 10, 1},
                                                                                    {2, 1920, 1080, 10, 2},
                                                                                    {4, 1920, 1080, 10, 2},
                                                                                    {5, 1920, 1080, 10, 2},
                                                                                    {6, 1920, 1080, 10, 3},
                                                                                    {8, 1920, 1080, 10, 3},
                                                                                    {64, 1920, 1080, 10, 3},
                                                                                    {8, 3840, 2160, 10, 2},
                                                                                    {8, 2160, 3840, 10, 2},
                                                                                    {2, 3840, 2160, 10, 2},
                                                                                    {3, 1920, 1080, 10, 2},
                                                                                    {8, 1920, 1080, 2, 2},
                                                                                    {8, 1920, 1080, 1, 1},
                                                                                    {8, 1920, 1080, 0, 0}}) {
        EXPECT_EQ(segmentWorkerCount(static_cast<unsigned>(cores), w, h, work), workers)
            << cores << " cores, " << w << "x" << h << ", " << work;
    }

    const auto segments = cutIntoSegments(125, 30);
    ASSERT_EQ(segments.size(), 3u);
    EXPECT_EQ(segments[0], (RenderSegment{0, 0, 60}));
    EXPECT_EQ(segments[1], (RenderSegment{1, 60, 120}));
    EXPECT_EQ(segments[2], (RenderSegment{2, 120, 125}));
    // Boundaries do not depend on the length, so a longer edit keeps the earlier segments.
    EXPECT_EQ(cutIntoSegments(400, 30)[1], segments[1]);
    EXPECT_EQ(cutIntoSegments(120, 30).size(), 2u);
    EXPECT_EQ(cutIntoSegments(1, 60), (std::vector<RenderSegment>{{0, 0, 1}}));
    EXPECT_TRUE(cutIntoSegments(0, 30).empty());
    EXPECT_EQ(cutIntoSegments(5, 0).size(), 3u);  // a zero rate still makes progress
}

TEST(RenderPlan, TheRecordingDecodesAtTheSizeTheWindowNeedsUnlessThatIsNearlyItsOwn) {
    SceneRenderSnapshot snapshot;
    snapshot.edit.frame.inset = 0.04;
    const auto box = [&](double width, double height, int canvasWidth, int canvasHeight, double zoom = 1) {
        snapshot.edit.frame.videoSize = {width, height};
        const DecodeBox b = recordingDecodeBox(snapshot, canvasWidth, canvasHeight, zoom);
        return std::pair{b.width, b.height};
    };
    // A 1080p recording in a 1080p frame's window: a shrink of under a tenth is left to the compositor.
    EXPECT_EQ(box(1920, 1080, 1920, 1080), (std::pair{1920, 1080}));
    // A 4K recording shown in a 1080p frame is shrunk while converting, to the window's size.
    const auto [w, h] = box(3840, 2160, 1920, 1080);
    EXPECT_LT(w, 1920);
    EXPECT_GT(w, 1500);
    EXPECT_NEAR(static_cast<double>(w) / h, 16.0 / 9, 0.01);
    // A zoom needs the pixels it enlarges: the same 4K recording zoomed 2.5x decodes at full size.
    EXPECT_EQ(box(3840, 2160, 1920, 1080, 2.5), (std::pair{3840, 2160}));
}

}  // namespace
}  // namespace orvane
