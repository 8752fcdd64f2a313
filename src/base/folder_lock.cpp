#include "base/folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>

namespace orvane {

namespace {

FileDescriptor openFolder(const std::filesystem::path& folder) {
    return FileDescriptor(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

bool lock(const FileDescriptor& fd, FolderLock::Mode mode, bool wait) {
    const int operation = (mode == FolderLock::Mode::exclusive ? LOCK_EX : LOCK_SH) | (wait ? 0 : LOCK_NB);
    while (::flock(fd.get(), operation) != 0) {
        if (errno != EINTR) return false;
    }
    return true;
}

}  // namespace

FolderLock::FolderLock(const std::filesystem::path& folder, Mode mode) {
    auto fd = openFolder(folder);
    if (fd.get() >= 0 && lock(fd, mode, true)) fd_ = std::move(fd);
}

std::optional<FolderLock> FolderLock::tryLock(const std::filesystem::path& folder, Mode mode) {
    auto fd = openFolder(folder);
    if (fd.get() < 0 || !lock(fd, mode, false)) return std::nullopt;
    return FolderLock(std::move(fd));
}

FileLock::FileLock(const std::filesystem::path& file) {
    FileDescriptor fd(::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (fd.get() >= 0 && lock(fd, FolderLock::Mode::exclusive, true)) fd_ = std::move(fd);
}

}  // namespace orvane
