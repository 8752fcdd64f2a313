#pragma once

#include <filesystem>
#include <string_view>

namespace orvane {

// The user's caches folder, then "Orvane", then `name` ("SegmentRenderCache", "ExportCache"); the
// temporary folder stands in when no caches folder can be found. Not created here.
std::filesystem::path renderCacheDirectory(std::string_view name);

// A fresh pending name for an entry being written: `key` + ".pending-" + a new UUID + `extension`
// (".mp4", ".zant.json"...), in `directory`, so parallel writers of one key never share a file.
std::filesystem::path pendingEntryPath(const std::filesystem::path& directory, std::string_view key,
                                       std::string_view extension);

// Copies `source` into `pending` (created new and flushed to disk), then renames it over
// `destination`, so a reader sees the previous entry or the complete new one, never a partial file.
// The pending file is locked while written and removed on every failure; pending files that a killed
// writer left in the same folder are removed first. Throws std::system_error or std::invalid_argument
// (a source that is missing, not a regular file or empty).
void installThroughPendingFile(const std::filesystem::path& source, const std::filesystem::path& pending,
                               const std::filesystem::path& destination);

}  // namespace orvane
