#include <gtest/gtest.h>

#include <latch>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/atomic_file.h"
#include "base/file_descriptor.h"
#include "export/cache/asset_hasher.h"
#include "export/cache/cache_files.h"
#include "export/cache/cache_test_snapshot.h"
#include "export/cache/segment_render_cache.h"
#include "export/cache/sha256.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

using testing::cacheTestProfile;
using testing::cacheTestSnapshot;
using testing::evenSegments;
using testing::readTextFile;
using testing::TempDir;
using testing::writeTextFile;

std::vector<std::string> keysOf(const std::vector<SegmentLookup>& lookups) {
    std::vector<std::string> keys;
    for (const auto& lookup : lookups) keys.push_back(lookup.key);
    return keys;
}

// Indices of the segments whose keys differ.
std::set<int> changed(const std::vector<std::string>& before, const std::vector<std::string>& after) {
    std::set<int> indices;
    for (std::size_t i = 0; i < before.size(); ++i) {
        if (before[i] != after[i]) indices.insert(static_cast<int>(i));
    }
    return indices;
}

class SegmentRenderCacheTest : public ::testing::Test {
protected:
    std::vector<std::string> keys(const SceneRenderSnapshot& s, const OutputProfile& profile = cacheTestProfile()) {
        return keysOf(cache.lookups(s, profile, segments));
    }

    TempDir media;
    TempDir cacheDir;
    SegmentRenderCache cache{cacheDir / "SegmentRenderCache"};
    SceneRenderSnapshot snapshot = cacheTestSnapshot(media.path());
    std::vector<RenderSegment> segments = evenSegments(400, 20);  // 2 s each over 40 s
};

TEST_F(SegmentRenderCacheTest, AClickChangesOnlyTheSegmentsItsAnimationReaches) {
    ClickAnnotation click;
    click.time = 10;
    snapshot.edit.cursor.annotations = {click};
    const auto at10 = keys(snapshot);
    EXPECT_EQ(std::set<std::string>(at10.begin(), at10.end()).size(), segments.size()) << "keys must be distinct";

    snapshot.edit.cursor.annotations[0].time = 30;
    EXPECT_EQ(changed(at10, keys(snapshot)), (std::set<int>{5, 15}));

    // 11.5 + 1.2 crosses the boundary at 12 s.
    snapshot.edit.cursor.annotations[0].time = 11.5;
    EXPECT_EQ(changed(at10, keys(snapshot)), (std::set<int>{5, 6}));

    // Disabled clicks draw nothing, wherever they are.
    snapshot.edit.cursor.annotations[0].time = 10;
    ClickAnnotation off;
    off.time = 20.5;
    off.enabled = false;
    snapshot.edit.cursor.annotations.push_back(off);
    EXPECT_EQ(keys(snapshot), at10);
    snapshot.edit.cursor.annotations[1].enabled = true;
    EXPECT_EQ(changed(at10, keys(snapshot)), (std::set<int>{10}));
}

TEST_F(SegmentRenderCacheTest, AZoomReachesOnlyAsFarAsItsEase) {
    segments = {{0, 55, 65}, {1, 57, 67}};  // starting at 5.5 s and 5.7 s
    snapshot.edit.timeline.zoomRegions = {
        {.start = 3, .end = 5, .easeSpeed = 0}};  // ramps shorter than the usual reach
    const auto before = keys(snapshot);
    snapshot.edit.timeline.zoomRegions[0].scale = 2;
    EXPECT_EQ(changed(before, keys(snapshot)), (std::set<int>{0}));

    // A slower ease (0.925 s out) still moves the camera at 5.7 s, so that segment must follow.
    snapshot.edit.timeline.zoomRegions[0].easeSpeed = 0.5;
    const auto slow = keys(snapshot);
    snapshot.edit.timeline.zoomRegions[0].scale = 3;
    EXPECT_EQ(changed(slow, keys(snapshot)), (std::set<int>{0, 1}));
}

TEST_F(SegmentRenderCacheTest, EditsFarFromASegmentKeepItsKey) {
    const auto before = keys(snapshot);
    // A swipe reaches 0.12 s before and 1 s after.
    snapshot.edit.cursor.cursorInteractions = {
        {.kind = CursorInteraction::Kind::swipe, .startTime = 20.5, .endTime = 20.5}};
    snapshot.edit.captions.captions = {CaptionSegment{Uuid::random(), 33, 35.5, "hello", {}}};
    EXPECT_EQ(changed(before, keys(snapshot)), (std::set<int>{10, 16, 17}));

    // Moving the cursor at 30 s reaches the segments whose sample margin covers it, no further.
    for (int i = 0; i <= 400; ++i) snapshot.cursorSamples.push_back({i * 0.1, 0.5, 0.5});
    const auto withItems = keys(snapshot);
    snapshot.cursorSamples[300].x = 0.9;
    EXPECT_EQ(changed(withItems, keys(snapshot)), (std::set<int>{14, 15}));
    snapshot.cursorSamples[300].x = 0.5;

    // The trim start shifts every frame, so every key moves with it.
    snapshot.edit.timeline.trimStart = 1;
    EXPECT_EQ(changed(withItems, keys(snapshot)).size(), segments.size());
}

TEST_F(SegmentRenderCacheTest, KeysFollowFileContentNotFileTimes) {
    const auto before = keys(snapshot);
    const auto index = nlohmann::json::parse(readTextFile(cache.hashIndexPath()));
    const std::string path = std::filesystem::absolute(snapshot.videoPath).lexically_normal().string();
    EXPECT_EQ(index.at(path).at("sha256"), sha256Hex("recording"));
    EXPECT_EQ(index.at(path).at("path"), path);

    // Touched: hashed again (memo and index move to the new time), same digest, same keys.
    testing::touchLater(snapshot.videoPath, 120);
    EXPECT_EQ(keys(snapshot), before);
    const double modified = fileAttributes(snapshot.videoPath)->modifiedAt;
    const auto memo = nlohmann::json::parse(readTextFile(AssetHasher::memoPath(snapshot.videoPath)));
    EXPECT_EQ(memo.at("mtime").get<double>(), modified);
    EXPECT_EQ(nlohmann::json::parse(readTextFile(cache.hashIndexPath())).at(path).at("modifiedAt").get<double>(),
              modified);

    // New bytes of the same size: every segment shows the recording, so every key changes.
    writeTextFile(snapshot.videoPath, "RECORDING");
    EXPECT_EQ(changed(before, keys(snapshot)).size(), segments.size());

    // So does the profile.
    OutputProfile sharper = cacheTestProfile();
    sharper.bitrate *= 2;
    EXPECT_EQ(changed(before, keys(snapshot, sharper)).size(), segments.size());
    sharper = cacheTestProfile();
    sharper.quality = ExportQuality::high;
    EXPECT_EQ(changed(before, keys(snapshot, sharper)).size(), segments.size());
}

TEST_F(SegmentRenderCacheTest, ADamagedIndexOrMemoIsIgnored) {
    const auto before = keys(snapshot);
    writeTextFile(cache.hashIndexPath(), "{\"broken\": ");
    writeTextFile(AssetHasher::memoPath(snapshot.videoPath), "\x01\x02");
    SegmentRenderCache fresh(cache.directory());
    EXPECT_EQ(keysOf(fresh.lookups(snapshot, cacheTestProfile(), segments)), before);
    // Rewritten as a valid index.
    EXPECT_TRUE(nlohmann::json::parse(readTextFile(cache.hashIndexPath())).is_object());
}

TEST_F(SegmentRenderCacheTest, PayloadNamesEveryInputFileByItsRole) {
    writeTextFile(media / "logo.png", "png");
    VideoOverlayClip logo;
    logo.startTime = 1;
    logo.duration = 2.5;
    logo.path = media / "logo.png";
    logo.mediaKind = VideoOverlayClip::MediaKind::logo;
    logo.borderStyle = BorderStyle::colored(1, 0, 0, 0.5);
    VideoOverlayClip missing = logo;
    missing.path = media / "gone.mov";
    snapshot.edit.overlays.videoOverlays = {logo, missing};
    snapshot.edit.timeline.clips[0].headOffset = 0.5;

    const auto payload = cache.payload(snapshot, cacheTestProfile(), {0, 0, 40});
    std::set<std::string> top;
    for (const auto& [key, value] : payload.items()) top.insert(key);
    EXPECT_EQ(top, (std::set<std::string>{"schema", "kind", "profile", "segment", "snapshot", "files"}));
    EXPECT_EQ(payload.at("segment"), (nlohmann::json{{"sourceStart", 0.0}, {"sourceEnd", 4.0}, {"frameCount", 40}}));
    EXPECT_EQ(payload.at("snapshot").at("videoOverlays").at(0).at("borderStyle"),
              (nlohmann::json{{"colored", {{"red", 1.0}, {"green", 0.0}, {"blue", 0.0}, {"alpha", 0.5}}}}));

    std::vector<std::string> roles;
    for (const auto& file : payload.at("files")) roles.push_back(file.at("role"));
    // The overlay whose file is missing is left out rather than failing the key.
    EXPECT_EQ(roles, (std::vector<std::string>{"source", "clip:screen.mp4:0:40:0.5", "overlay:1:2.5:logo"}));

    // When the file appears, the key changes.
    const auto before = keys(snapshot);
    writeTextFile(media / "gone.mov", "mov");
    EXPECT_EQ(changed(before, keys(snapshot)), (std::set<int>{0, 1}));
}

TEST_F(SegmentRenderCacheTest, StoredSegmentsAreHitsAndBadStoresLoseNothing) {
    auto lookups = cache.lookups(snapshot, cacheTestProfile(), segments);
    EXPECT_FALSE(lookups[3].cached);
    EXPECT_EQ(lookups[3].outputPath, cache.directory() / (lookups[3].key + ".mp4"));
    EXPECT_EQ(lookups[3].segment, segments[3]);
    writeTextFile(media / "render.mp4", "segment three");
    cache.store(media / "render.mp4", lookups[3]);
    lookups = cache.lookups(snapshot, cacheTestProfile(), segments);
    EXPECT_TRUE(lookups[3].cached);
    EXPECT_FALSE(lookups[4].cached);
    EXPECT_EQ(readTextFile(lookups[3].outputPath), "segment three");

    // Failed stores leave the stored entry as it was.
    EXPECT_THROW(cache.store(media / "nothing.mp4", lookups[3]), std::system_error);
    writeTextFile(media / "empty.mp4", "");
    EXPECT_THROW(cache.store(media / "empty.mp4", lookups[3]), std::invalid_argument);
    SegmentLookup elsewhere = lookups[3];
    elsewhere.outputPath = media / "elsewhere.mp4";
    EXPECT_THROW(cache.store(media / "render.mp4", elsewhere), std::invalid_argument);
    EXPECT_EQ(readTextFile(lookups[3].outputPath), "segment three");
    EXPECT_TRUE(testing::pendingFiles(cache.directory()).empty());

    EXPECT_THROW(cache.lookups(snapshot, cacheTestProfile(), {{0, 10, 5}}), std::invalid_argument);
}

TEST_F(SegmentRenderCacheTest, ParallelStoresOfOneKeyLeaveOneCompleteFile) {
    const auto lookup = cache.lookups(snapshot, cacheTestProfile(), segments)[0];
    const std::string first(3 * 1048576 + 17, 'a');
    const std::string second(2 * 1048576 + 5, 'b');
    writeTextFile(media / "first.mp4", first);
    writeTextFile(media / "second.mp4", second);
    for (int round = 0; round < 5; ++round) {
        std::latch start(2);
        const auto worker = [&](const std::filesystem::path& file) {
            start.arrive_and_wait();
            cache.store(file, lookup);
        };
        std::thread a(worker, media / "first.mp4");
        std::thread b(worker, media / "second.mp4");
        a.join();
        b.join();
        const std::string stored = readTextFile(lookup.outputPath);
        EXPECT_TRUE(stored == first || stored == second) << "stored " << stored.size() << " bytes";
        EXPECT_TRUE(testing::pendingFiles(cache.directory()).empty());
    }
}

TEST_F(SegmentRenderCacheTest, AStoreSweepsPendingFilesOfKilledWritersButNotOfLiveOnes) {
    const auto lookup = cache.lookups(snapshot, cacheTestProfile(), segments)[0];
    std::filesystem::create_directories(cache.directory());
    // A killed writer's file carries no lock; a live writer in another process holds its lock.
    const auto abandoned = pendingEntryPath(cache.directory(), lookup.key, ".mp4");
    writeTextFile(abandoned, "half a segment");
    const auto live = pendingEntryPath(cache.directory(), lookup.key, ".mp4");
    const FileDescriptor liveLock = createLockedFile(live);

    writeTextFile(media / "render.mp4", "segment zero");
    cache.store(media / "render.mp4", lookup);
    EXPECT_EQ(readTextFile(lookup.outputPath), "segment zero");
    EXPECT_EQ(testing::pendingFiles(cache.directory()), std::vector<std::string>{live.filename().string()});
}

}  // namespace
}  // namespace orvane
