#pragma once

#include <filesystem>
#include <mutex>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "export/cache/cache_files.h"
#include "export/cache/file_hash_index.h"
#include "export/cache/segment_store.h"

namespace orvane {

// Rendered export segments on disk, named by the hash of everything that draws them, so after a
// small edit only the segments near it are rendered again. An actor: one caller at a time touches
// its index and files, so parallel segment workers may store at once. Entries are never evicted.
class SegmentRenderCache final : public SegmentStore {
public:
    static constexpr int kSchema = 1;
    static constexpr const char* kKind = "segment";

    // The folder is created by the first store (or index save), not here.
    explicit SegmentRenderCache(std::filesystem::path directory = renderCacheDirectory("SegmentRenderCache"));

    // Each segment's key, its file in the cache ("<key>.mp4") and whether that file exists.
    // Throws on any failure; callers then render without the cache.
    std::vector<SegmentLookup> lookups(const SceneRenderSnapshot& snapshot, const OutputProfile& profile,
                                       const std::vector<RenderSegment>& segments) override;

    // Copies a rendered segment in under the lookup's key, replacing an older file of that key.
    // Throws std::invalid_argument for a lookup that names a file outside this cache.
    void store(const std::filesystem::path& segmentFile, const SegmentLookup& lookup) override;

    // The description a segment's key is the hash of: schema, kind, profile, segment
    // {sourceStart, sourceEnd, frameCount}, the snapshot cut down to the segment, and its files.
    nlohmann::json payload(const SceneRenderSnapshot& snapshot, const OutputProfile& profile,
                           const RenderSegment& segment);

    const std::filesystem::path& directory() const { return directory_; }
    std::filesystem::path hashIndexPath() const { return directory_ / FileHashIndex::kFileName; }

private:
    nlohmann::json payloadLocked(const SceneRenderSnapshot& snapshot, const OutputProfile& profile,
                                 const RenderSegment& segment);

    std::mutex mutex_;  // guards everything below and the files in directory_
    std::filesystem::path directory_;
    FileHashIndex index_;
};

}  // namespace orvane
