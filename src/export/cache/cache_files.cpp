#include "export/cache/cache_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "base/atomic_file.h"
#include "base/file_descriptor.h"
#include "base/uuid.h"
#include "platform/xdg_paths.h"

namespace orvane {

namespace {

constexpr std::string_view kPendingMarker = ".pending-";

// Copies into `output`, the already created pending file.
void copyInto(const std::filesystem::path& source, const FileDescriptor& output, const std::filesystem::path& pending) {
    FileDescriptor input(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (input.get() < 0) throwFileError(errno, "cannot open ", source);
    struct stat info {};
    if (::fstat(input.get(), &info) != 0) throwFileError(errno, "cannot read the attributes of ", source);
    if (!S_ISREG(info.st_mode)) throw std::invalid_argument("not a regular file: " + source.string());
    // A rendered file is never empty; an empty one is a failed render that must not become a hit.
    if (info.st_size == 0) throw std::invalid_argument("refusing to cache an empty file: " + source.string());

    std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t count = ::read(input.get(), buffer.data(), buffer.size());
        if (count < 0) {
            if (errno == EINTR) continue;
            throwFileError(errno, "cannot read ", source);
        }
        if (count == 0) break;
        const char* data = buffer.data();
        std::size_t remaining = static_cast<std::size_t>(count);
        while (remaining > 0) {
            const ssize_t written = ::write(output.get(), data, remaining);
            if (written < 0) {
                if (errno == EINTR) continue;
                throwFileError(errno, "cannot write ", pending);
            }
            data += written;
            remaining -= static_cast<std::size_t>(written);
        }
    }
    if (::fsync(output.get()) != 0) throwFileError(errno, "cannot flush ", pending);
}

}  // namespace

std::filesystem::path renderCacheDirectory(std::string_view name) {
    std::filesystem::path caches = XdgPaths::cacheHome();
    if (caches.empty()) caches = std::filesystem::temp_directory_path();
    return caches / "Orvane" / std::string(name);
}

std::filesystem::path pendingEntryPath(const std::filesystem::path& directory, std::string_view key,
                                       std::string_view extension) {
    std::string name(key);
    name += kPendingMarker;
    name += Uuid::random().string();
    name += extension;
    return directory / name;
}

void installThroughPendingFile(const std::filesystem::path& source, const std::filesystem::path& pending,
                               const std::filesystem::path& destination) {
    // A pending file outlives its writer only when the writer was killed; its lock is then free.
    if (pending.has_parent_path()) {
        removeAbandonedEntries(pending.parent_path(),
                               [](const std::string& name) { return name.find(kPendingMarker) != std::string::npos; });
    }
    // Locked until renamed, so a sweep by another process never takes a file still being written.
    const FileDescriptor output = createLockedFile(pending);
    try {
        copyInto(source, output, pending);
        // rename() replaces the old entry in one step; removing it first would open a window
        // in which a parallel lookup sees no entry at all.
        if (std::rename(pending.c_str(), destination.c_str()) != 0)
            throwFileError(errno, "cannot move into ", destination);
    } catch (...) {
        std::error_code ignored;
        std::filesystem::remove(pending, ignored);
        throw;
    }
}

}  // namespace orvane
