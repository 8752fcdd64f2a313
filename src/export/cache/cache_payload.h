#pragma once

// The canonical JSON descriptions the cache keys are hashes of. Shared by the segment and export
// caches; everything that changes pixels (and, for exports, sound) has to appear here, or an edit
// would be served a stale file.

#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "export/cache/file_hash_index.h"
#include "model/export_profile.h"
#include "model/scene_render_snapshot.h"

namespace orvane {

// Segments see only the picture; exports also carry the audio inputs and the trim window.
enum class PayloadFlavour { segment, exportFile };

nlohmann::json profilePayload(const OutputProfile& profile);

// Enumerations as raw values, colours as components, rectangles as {x, y, width, height}, a
// border style as an object with one key naming its case; optional values are left out when unset.
nlohmann::json snapshotPayload(const SceneRenderSnapshot& snapshot, PayloadFlavour flavour);

// Every input file that exists, in a fixed order, with its role: "source", "clip:<file>:<start>:
// <end>:<head offset>", "overlay:<start>:<duration>:<kind>", "customBackground", and for exports
// "cursor", "voice:<start>:<duration>", "aiVoiceover", "backgroundMusic".
std::vector<FileReference> inputFileReferences(const SceneRenderSnapshot& snapshot, PayloadFlavour flavour,
                                               FileHashIndex& index);

// Each reference as {role, path, size, sha256}. The modification time is what tells the index to
// hash again; it stays out of the key so touching a file without changing it keeps its entries.
nlohmann::json filesPayload(const std::vector<FileReference>& files);

// Lowercase hex SHA-256 of the payload written compactly with sorted keys.
std::string payloadKey(const nlohmann::json& payload);

}  // namespace orvane
