#include "export/cache/segment_render_cache.h"

#include <stdexcept>
#include <utility>

#include <nlohmann/json.hpp>

#include "export/cache/cache_payload.h"
#include "export/cache/segment_window.h"
#include "export/cache/sha256.h"

namespace orvane {

SegmentRenderCache::SegmentRenderCache(std::filesystem::path directory)
    : directory_(std::move(directory)), index_(directory_ / FileHashIndex::kFileName) {}

nlohmann::json SegmentRenderCache::payloadLocked(const SceneRenderSnapshot& snapshot, const OutputProfile& profile,
                                                 const RenderSegment& segment) {
    const SegmentWindow window = segmentWindow(snapshot, profile.fps, segment);
    const SceneRenderSnapshot near = snapshotForWindow(snapshot, window);
    nlohmann::json payload = nlohmann::json::object();
    payload["schema"] = kSchema;
    payload["kind"] = kKind;
    payload["profile"] = profilePayload(profile);
    // The window is on the clock frames are drawn at; with the clip list in the snapshot it fixes
    // every recording frame the segment shows, across clip boundaries and head gaps alike.
    payload["segment"] = {{"sourceStart", window.start}, {"sourceEnd", window.end}, {"frameCount", window.frameCount}};
    payload["snapshot"] = snapshotPayload(near, PayloadFlavour::segment);
    payload["files"] = filesPayload(inputFileReferences(near, PayloadFlavour::segment, index_));
    return payload;
}

nlohmann::json SegmentRenderCache::payload(const SceneRenderSnapshot& snapshot, const OutputProfile& profile,
                                           const RenderSegment& segment) {
    const std::lock_guard lock(mutex_);
    nlohmann::json result = payloadLocked(snapshot, profile, segment);
    index_.saveIfDirty();
    return result;
}

std::vector<SegmentLookup> SegmentRenderCache::lookups(const SceneRenderSnapshot& snapshot,
                                                       const OutputProfile& profile,
                                                       const std::vector<RenderSegment>& segments) {
    const std::lock_guard lock(mutex_);
    std::vector<SegmentLookup> result;
    result.reserve(segments.size());
    for (const RenderSegment& segment : segments) {
        SegmentLookup lookup;
        lookup.key = payloadKey(payloadLocked(snapshot, profile, segment));
        lookup.outputPath = directory_ / (lookup.key + ".mp4");
        lookup.segment = segment;
        std::error_code error;
        lookup.cached = std::filesystem::is_regular_file(lookup.outputPath, error);
        result.push_back(std::move(lookup));
    }
    index_.saveIfDirty();
    return result;
}

void SegmentRenderCache::store(const std::filesystem::path& segmentFile, const SegmentLookup& lookup) {
    if (!isSha256Hex(lookup.key) || lookup.outputPath != directory_ / (lookup.key + ".mp4")) {
        throw std::invalid_argument("segment lookup does not belong to the cache in " + directory_.string());
    }
    const std::lock_guard lock(mutex_);
    std::filesystem::create_directories(directory_);
    installThroughPendingFile(segmentFile, pendingEntryPath(directory_, lookup.key, ".mp4"), lookup.outputPath);
}

}  // namespace orvane
