#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "model/export_profile.h"

namespace orvane {

struct SceneRenderSnapshot;

// Where one segment's rendered file lives in a segment store, and whether it is already there.
struct SegmentLookup {
    std::string key;
    std::filesystem::path outputPath;
    RenderSegment segment;
    bool cached = false;
};

// Rendered segments kept between exports so that a small edit re-renders only what it touched.
// The exporter treats every exception from a store as "no store": a store never fails an export.
class SegmentStore {
public:
    virtual ~SegmentStore() = default;

    // One lookup per segment, in the order given.
    virtual std::vector<SegmentLookup> lookups(const SceneRenderSnapshot& snapshot, const OutputProfile& profile,
                                               const std::vector<RenderSegment>& segments) = 0;
    // Copies a rendered segment file in under the lookup's key. Safe to call from parallel workers.
    virtual void store(const std::filesystem::path& segmentFile, const SegmentLookup& lookup) = 0;
};

}  // namespace orvane
