#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "render/export/render_plan.h"

namespace orvane {
namespace {

TEST(RenderPlan, BatchesAndWorkersFollowCoresOutputSizeAndWork) {
    // Batches shrink with the longer side, portrait counting its height.
    for (const auto& [w, h, batch] : std::vector<std::array<int, 3>>{
             {1280, 720, 12}, {1080, 1799, 12}, {1800, 1012, 8}, {1080, 1920, 8}, {2999, 2000, 8}, {3840, 2160, 4}}) {
        EXPECT_EQ(exportBatchSize(w, h), batch) << w << "x" << h;
    }
    // Unknown core counts (0) get one worker; 4K at most two encoders and their frames at once; never
    // more workers than segments to render.
    for (const auto& [cores, w, h, work, workers] : std::vector<std::array<int, 5>>{
             {1, 1920, 1080, 10, 1}, {0, 1920, 1080, 10, 1}, {2, 1920, 1080, 10, 1}, {4, 1920, 1080, 10, 2},
             {5, 1920, 1080, 10, 2}, {6, 1920, 1080, 10, 3}, {8, 1920, 1080, 10, 3}, {64, 1920, 1080, 10, 3},
             {8, 3840, 2160, 10, 2}, {8, 2160, 3840, 10, 2}, {2, 3840, 2160, 10, 1}, {8, 1920, 1080, 2, 2},
             {8, 1920, 1080, 1, 1}, {8, 1920, 1080, 0, 0}}) {
        EXPECT_EQ(segmentWorkerCount(static_cast<unsigned>(cores), w, h, work), workers)
            << cores << " cores, " << w << "x" << h << ", " << work;
    }
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
