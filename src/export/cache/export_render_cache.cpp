#include "export/cache/export_render_cache.h"

#include <stdexcept>
#include <utility>

#include <nlohmann/json.hpp>

#include "export/cache/cache_payload.h"
#include "export/cache/sha256.h"
#include "model/scene_render_snapshot.h"

namespace orvane {

namespace {

const char* extensionFor(ExportPreset preset) { return preset == ExportPreset::gif ? ".gif" : ".mp4"; }

}  // namespace

ExportRenderCache::ExportRenderCache(std::filesystem::path directory)
    : directory_(std::move(directory)), index_(directory_ / FileHashIndex::kFileName) {}

nlohmann::json ExportRenderCache::payloadLocked(const SceneRenderSnapshot& snapshot, const ExportSettings& settings,
                                                const OutputProfile& profile, ExportPreset preset) {
    nlohmann::json payload = nlohmann::json::object();
    payload["schema"] = kSchema;
    // The preset decides the container and the sidecar's export kind, so each keeps its own entry.
    payload["kind"] = "export:" + std::string(rawValue(preset));
    payload["settings"] = {{"aspect", std::string(rawValue(settings.aspect))},
                           {"fps", profile.fps},
                           {"quality", std::string(rawValue(settings.quality))}};
    payload["profile"] = profilePayload(profile);
    payload["snapshot"] = snapshotPayload(snapshot, PayloadFlavour::exportFile);
    payload["files"] = filesPayload(inputFileReferences(snapshot, PayloadFlavour::exportFile, index_));
    return payload;
}

nlohmann::json ExportRenderCache::payload(const SceneRenderSnapshot& snapshot, const ExportSettings& settings,
                                          const OutputProfile& profile, ExportPreset preset) {
    const std::lock_guard lock(mutex_);
    nlohmann::json result = payloadLocked(snapshot, settings, profile, preset);
    index_.saveIfDirty();
    return result;
}

ExportCacheLookup ExportRenderCache::lookup(const SceneRenderSnapshot& snapshot, const ExportSettings& settings,
                                            const OutputProfile& profile, ExportPreset preset) {
    const std::lock_guard lock(mutex_);
    ExportCacheLookup result;
    result.key = payloadKey(payloadLocked(snapshot, settings, profile, preset));
    index_.saveIfDirty();
    result.outputPath = directory_ / (result.key + extensionFor(preset));
    result.sidecarPath = directory_ / (result.key + ".zant.json");
    std::error_code error;
    result.hit = std::filesystem::is_regular_file(result.outputPath, error);
    return result;
}

void ExportRenderCache::store(const std::filesystem::path& file,
                              const std::optional<std::filesystem::path>& sidecarFile,
                              const ExportCacheLookup& lookup) {
    const auto extension = lookup.outputPath.extension();
    if (!isSha256Hex(lookup.key) || (extension != ".mp4" && extension != ".gif") ||
        lookup.outputPath != directory_ / (lookup.key + extension.string()) ||
        lookup.sidecarPath != directory_ / (lookup.key + ".zant.json")) {
        throw std::invalid_argument("export lookup does not belong to the cache in " + directory_.string());
    }
    const std::lock_guard lock(mutex_);
    std::filesystem::create_directories(directory_);
    if (sidecarFile) {
        installThroughPendingFile(*sidecarFile, pendingEntryPath(directory_, lookup.key, ".zant.json"),
                                  lookup.sidecarPath);
    }
    installThroughPendingFile(file, pendingEntryPath(directory_, lookup.key, extension.string()), lookup.outputPath);
}

}  // namespace orvane
