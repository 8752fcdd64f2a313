#pragma once

#include <filesystem>
#include <vector>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/file_descriptor.h"

namespace orvane {

// Writes through a uniquely named temporary file in the same folder, fsyncs it, renames it over the
// target and fsyncs the folder. A crash or a full disk at any point leaves the previous file intact.
// Throws std::system_error on failure; the temporary file is removed on every failure path.
// `mode` is the permission of the new file (secrets use 0600).
void writeFileAtomically(const std::filesystem::path& target, std::string_view contents, unsigned mode = 0644);

// A hidden, uniquely named sibling of `target` that keeps its extension ("dir/.clip-1A2B3C4D.partial.mp4"),
// for writers that produce a file in place and rename it over the target when done, so tools that
// go by the extension still see the right container.
std::filesystem::path partialSiblingPath(const std::filesystem::path& target);

// Creates `file`, which must not exist yet, and holds an exclusive flock() on it for as long as the
// answer lives. The kernel drops the lock when its process dies, so a lock anyone can take marks a
// file whose maker is gone. Throws std::system_error (EEXIST when the name is taken, EAGAIN when a
// sweeper removed the file before it was locked: try another name).
FileDescriptor createLockedFile(const std::filesystem::path& file);

// Takes `file`'s lock when nobody holds it, that is when its maker closed it or died. Nothing when
// the file is missing or its lock is held.
std::optional<FileDescriptor> lockIfAbandoned(const std::filesystem::path& file);

// A hidden sibling of `target` that a writer fills and then renames over it, locked while the
// writer lives: "dir/.clip-1A2B3C4D.locked-partial.mp4". Writers must overwrite it in place
// (truncate, never unlink and recreate) so that the lock stays on the file at that name. Making one
// first removes the locked partials of the same target whose writers died; partials of other
// writers, and unlocked ones, are never touched.
class LockedPartialFile {
public:
    explicit LockedPartialFile(std::filesystem::path target);
    LockedPartialFile(const LockedPartialFile&) = delete;
    LockedPartialFile& operator=(const LockedPartialFile&) = delete;
    // Removes the partial unless it was committed.
    ~LockedPartialFile();

    const std::filesystem::path& path() const { return partial_; }
    // Renames the partial over the target. Throws std::system_error.
    void commit();

private:
    std::filesystem::path target_;
    std::filesystem::path partial_;
    FileDescriptor lock_{-1};
    bool committed_ = false;
};

// Removes the entries of `folder` whose name `matches` and whose lock nobody holds (their maker closed
// it or died), with everything inside them; answers the names removed. An entry's lock is on the entry
// itself, or on `lockName` inside it when given (for folders).
std::vector<std::string> removeAbandonedEntries(const std::filesystem::path& folder,
                                                const std::function<bool(const std::string& name)>& matches,
                                                std::string_view lockName = {});

// Removes the locked partials of `target` left by writers that died; answers how many.
int removeAbandonedPartials(const std::filesystem::path& target);

// How much of a file readFileContents takes: settings and lists are small, an edit with its captions
// larger, pointer telemetry of a long recording larger still.
inline constexpr std::size_t kSmallFileLimit = 4u << 20;
inline constexpr std::size_t kDefaultFileLimit = 64u << 20;
inline constexpr std::size_t kTelemetryFileLimit = 1u << 30;

// The whole file, or nothing when it is missing, unreadable, not a regular file (a device, a pipe:
// never waited on) or larger than `limit`; a file past the limit counts as unreadable.
std::optional<std::string> readFileContents(const std::filesystem::path& path, std::size_t limit = kDefaultFileLimit);

// Keeps a copy of `file`, which is about to be replaced because it could not be read, as
// "<name>.corrupt", or "<name>.corrupt-2", "-3"... when earlier copies are there: an earlier copy is
// never overwritten. Answers the copy; throws std::system_error when it cannot be made.
std::filesystem::path keepCorruptCopy(const std::filesystem::path& file);

}  // namespace orvane
