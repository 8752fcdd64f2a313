#pragma once

#include <filesystem>

namespace orvane {

// An advisory lock on a folder (flock on the folder itself), held for the object's lifetime. The CLI and
// the desktop app both read-modify-write files in the config folder; without the lock one process's
// change could be overwritten by the other's stale copy. When the folder cannot be opened the lock is
// simply not taken: losing the guard must never stop a setting from being saved.
class FolderLock {
public:
    enum class Mode { shared, exclusive };

    FolderLock(const std::filesystem::path& folder, Mode mode);
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    ~FolderLock();

private:
    int fd_ = -1;
};

}  // namespace orvane
