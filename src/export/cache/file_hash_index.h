#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "export/cache/asset_hasher.h"

namespace orvane {

// What a cache remembers about one input file, keyed by its absolute path in "file-hashes.json".
struct FileHashRecord {
    std::string path;
    std::uintmax_t size = 0;
    double modifiedAt = 0;  // seconds since the Unix epoch
    std::string sha256;     // lowercase hex

    bool operator==(const FileHashRecord&) const = default;
};

// One input file as it enters a cache key, with the part it plays ("source", "clip:...", ...).
struct FileReference {
    std::string role;
    std::string path;
    std::uintmax_t size = 0;
    double modifiedAt = 0;
    std::string sha256;

    bool operator==(const FileReference&) const = default;
};

// A cache's per-path memory of file hashes, so building a key costs a stat per unchanged input.
// Not thread-safe: the owning cache serialises access.
class FileHashIndex {
public:
    static constexpr const char* kFileName = "file-hashes.json";

    explicit FileHashIndex(std::filesystem::path indexFile, AssetHasher hasher = {});

    // The file as it is now: the remembered hash when size and modification time still match,
    // otherwise a fresh one (through the hasher's memo). Nothing for a file that does not exist or
    // cannot be read, so a key is built without it.
    std::optional<FileReference> reference(std::string role, const std::filesystem::path& file);

    // Writes the index back when it changed. A failure is logged and kept dirty for the next try:
    // a lost index only costs hashing again.
    void saveIfDirty();

    const std::filesystem::path& indexFile() const { return indexFile_; }

private:
    void loadOnce();

    std::filesystem::path indexFile_;
    AssetHasher hasher_;
    bool didLoadHashIndex_ = false;
    bool dirty_ = false;
    std::map<std::string, FileHashRecord> records_;
};

}  // namespace orvane
