#include <gtest/gtest.h>

#include <string>

#include "render/export/render_plan.h"

namespace orvane {
namespace {

TEST(RenderPlan, BatchesShrinkWithTheLongerSide) {
    EXPECT_EQ(exportBatchSize(1280, 720), 12);
    EXPECT_EQ(exportBatchSize(1080, 1799), 12);
    EXPECT_EQ(exportBatchSize(1800, 1012), 8);
    EXPECT_EQ(exportBatchSize(1080, 1920), 8);  // portrait counts its height
    EXPECT_EQ(exportBatchSize(2999, 2000), 8);
    EXPECT_EQ(exportBatchSize(3840, 2160), 4);
}

TEST(RenderPlan, WorkerCountFollowsCoresOutputSizeAndWork) {
    EXPECT_EQ(segmentWorkerCount(1, 1920, 1080, 10), 1);
    EXPECT_EQ(segmentWorkerCount(0, 1920, 1080, 10), 1);  // unknown core count
    EXPECT_EQ(segmentWorkerCount(2, 1920, 1080, 10), 1);
    EXPECT_EQ(segmentWorkerCount(4, 1920, 1080, 10), 2);
    EXPECT_EQ(segmentWorkerCount(5, 1920, 1080, 10), 2);
    EXPECT_EQ(segmentWorkerCount(6, 1920, 1080, 10), 3);
    EXPECT_EQ(segmentWorkerCount(8, 1920, 1080, 10), 3);
    EXPECT_EQ(segmentWorkerCount(64, 1920, 1080, 10), 3);
    // 4K: at most two encoders and their frames at once.
    EXPECT_EQ(segmentWorkerCount(8, 3840, 2160, 10), 2);
    EXPECT_EQ(segmentWorkerCount(8, 2160, 3840, 10), 2);
    EXPECT_EQ(segmentWorkerCount(2, 3840, 2160, 10), 1);
    // Never more workers than segments to render.
    EXPECT_EQ(segmentWorkerCount(8, 1920, 1080, 2), 2);
    EXPECT_EQ(segmentWorkerCount(8, 1920, 1080, 1), 1);
    EXPECT_EQ(segmentWorkerCount(8, 1920, 1080, 0), 0);
}

TEST(RenderPlan, SegmentsCoverTheRangeInFixedSteps) {
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

}  // namespace
}  // namespace orvane
