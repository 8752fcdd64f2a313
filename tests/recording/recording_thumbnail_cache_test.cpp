#include "recording/recording_thumbnail_cache.h"

#include "library_fixture.h"

namespace orvane {
namespace {

using testing::LibraryFixture;
using ThumbnailCacheTest = LibraryFixture;

TEST_F(ThumbnailCacheTest, GeneratesOnceInBackgroundAndPublishesOnMain) {
    const auto video = sampleVideo("wide.mp4");  // 320 x 180
    ManualExecutor background;
    RecordingThumbnailCache cache(executor_, background);
    std::vector<std::filesystem::path> published;
    auto subscription = cache.observe([&](const auto& path) { published.push_back(path); });

    EXPECT_EQ(cache.thumbnail(video), nullptr);
    EXPECT_EQ(cache.thumbnail(video), nullptr);  // already loading: not started twice
    EXPECT_EQ(background.pendingCount(), 1u);
    background.runPending();
    EXPECT_TRUE(published.empty());  // not before the main loop runs
    executor_.runPending();
    ASSERT_EQ(published.size(), 1u);

    const auto image = cache.thumbnail(video);
    ASSERT_NE(image, nullptr);
    EXPECT_LE(image->width, RecordingThumbnailCache::kMaxWidth);
    EXPECT_LE(image->height, RecordingThumbnailCache::kMaxHeight);
    EXPECT_EQ(image->width * 9, image->height * 16);
    EXPECT_EQ(background.pendingCount(), 0u);
}

TEST_F(ThumbnailCacheTest, FailureCachesNothingSoTheNextRequestRetries) {
    ManualExecutor background;
    auto cache = std::make_unique<RecordingThumbnailCache>(executor_, background);
    const auto missing = dir_ / "missing.mp4";
    EXPECT_EQ(cache->thumbnail(missing), nullptr);
    background.runPending();
    executor_.runPending();
    EXPECT_EQ(cache->thumbnail(missing), nullptr);
    EXPECT_EQ(background.pendingCount(), 1u);

    // A cache destroyed while a generation is in flight is never called back.
    background.runPending();
    cache.reset();
    executor_.runPending();
}

}  // namespace
}  // namespace orvane
