#pragma once

#include <filesystem>
#include <optional>

#include "base/file_descriptor.h"

namespace orvane {

// An advisory lock on a folder (flock on the folder itself), held for the object's lifetime. The
// kernel drops it when the holder dies, so a folder whose lock anyone can take has no live owner.
// Uses: the CLI and the desktop app both read-modify-write files in the config folder, and a
// capture in progress keeps the library's recovery pass away from its recording folder.
class FolderLock {
public:
    enum class Mode { shared, exclusive };

    // Waits for the lock. When the folder cannot be opened the lock is simply not taken: losing the
    // guard must never stop a setting from being saved.
    FolderLock(const std::filesystem::path& folder, Mode mode);
    // The lock when nobody holds a conflicting one; nothing when it is held or the folder is missing.
    static std::optional<FolderLock> tryLock(const std::filesystem::path& folder, Mode mode);

    FolderLock(FolderLock&&) noexcept = default;
    FolderLock& operator=(FolderLock&&) noexcept = default;

private:
    explicit FolderLock(FileDescriptor fd) : fd_(std::move(fd)) {}

    // Closing the descriptor releases the lock.
    FileDescriptor fd_{-1};
};

// An exclusive flock() on a lock file, created when missing, held for the object's lifetime. The file
// is never removed: a writer that removed it could let the next one lock a fresh file while a third
// still waits on the old one. Use: every writer of a recording's edit holds it across its
// read-modify-write, so two edits made at once both land.
class FileLock {
public:
    // Waits for the lock. When the file cannot be created or opened the lock is not taken, as with
    // FolderLock: the write that follows reports the folder's problem itself.
    explicit FileLock(const std::filesystem::path& file);

    FileLock(FileLock&&) noexcept = default;
    FileLock& operator=(FileLock&&) noexcept = default;

    bool held() const { return fd_.get() >= 0; }

private:
    FileDescriptor fd_{-1};
};

}  // namespace orvane
