#pragma once

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>

#include <nlohmann/json_fwd.hpp>

#include "export/cache/cache_files.h"
#include "export/cache/file_hash_index.h"
#include "model/export_profile.h"

namespace orvane {

struct SceneRenderSnapshot;

// Where a finished export with these inputs lives in the cache.
struct ExportCacheLookup {
    std::string key;
    std::filesystem::path outputPath;   // directory / key + ".mp4", or ".gif" for the gif preset
    std::filesystem::path sidecarPath;  // directory / key + ".zant.json"
    bool hit = false;                   // outputPath exists

    bool operator==(const ExportCacheLookup&) const = default;
};

// Finished exports on disk, so exporting or sharing an unchanged edit again copies the earlier
// file. Keys cover the picture, the sound, the settings, the profile and the preset. An actor like
// the segment cache; entries are never evicted.
class ExportRenderCache {
public:
    static constexpr int kSchema = 1;

    // The folder is created by the first store (or index save), not here.
    explicit ExportRenderCache(std::filesystem::path directory = renderCacheDirectory("ExportCache"));

    // Throws on any failure; callers then export without the cache.
    ExportCacheLookup lookup(const SceneRenderSnapshot& snapshot, const ExportSettings& settings,
                             const OutputProfile& profile, ExportPreset preset);

    // Copies a finished export, and its project sidecar when given, in under the lookup's key. The
    // sidecar goes in first, so an entry that is a hit always has the sidecar it was stored with.
    void store(const std::filesystem::path& file, const std::optional<std::filesystem::path>& sidecarFile,
               const ExportCacheLookup& lookup);

    // The description the key is the hash of: schema, kind ("export:" + preset), settings
    // {aspect, fps, quality}, profile, snapshot and files.
    nlohmann::json payload(const SceneRenderSnapshot& snapshot, const ExportSettings& settings,
                           const OutputProfile& profile, ExportPreset preset);

    const std::filesystem::path& directory() const { return directory_; }
    std::filesystem::path hashIndexPath() const { return directory_ / FileHashIndex::kFileName; }

private:
    nlohmann::json payloadLocked(const SceneRenderSnapshot& snapshot, const ExportSettings& settings,
                                 const OutputProfile& profile, ExportPreset preset);

    std::mutex mutex_;  // guards everything below and the files in directory_
    std::filesystem::path directory_;
    FileHashIndex index_;
};

}  // namespace orvane
