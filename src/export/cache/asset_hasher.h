#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace orvane {

// What a cache compares to decide whether a file changed without reading it.
struct FileAttributes {
    std::uintmax_t size = 0;  // bytes
    double modifiedAt = 0;    // seconds since the Unix epoch

    bool operator==(const FileAttributes&) const = default;
};

// The attributes of a regular file; nothing when the path does not exist or is not a regular file.
// Throws std::system_error for any other failure (a folder on the way that cannot be searched...).
std::optional<FileAttributes> fileAttributes(const std::filesystem::path& file);

// Content hashes of media files with a memo beside each file, so an unchanged file is read once
// however many caches and exports ask for it. Stateless: safe to use from any thread.
class AssetHasher {
public:
    // The memo written beside a hashed file.
    struct CacheEntry {
        std::string sha256;  // lowercase hex
        double mtime = 0;    // the file's modification time when it was hashed
        std::uintmax_t size = 0;

        bool operator==(const CacheEntry&) const = default;
    };

    // Files are read in pieces of this size, so a long recording never sits in memory whole.
    static constexpr std::size_t kChunkSize = 1048576;

    // The memo's location: the file's own name with ".sha256" appended, in the same folder.
    static std::filesystem::path memoPath(const std::filesystem::path& file);

    // The file's SHA-256 in lowercase hex. A memo whose mtime and size equal the file's is trusted;
    // otherwise the file is read and a new memo is written. A memo that cannot be written (read-only
    // folder) only costs a re-read next time. Throws std::system_error when the file cannot be read.
    std::string sha256(const std::filesystem::path& file) const;
};

}  // namespace orvane
