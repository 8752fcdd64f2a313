#include "base/atomic_file.h"

#include "base/file_descriptor.h"
#include "base/uuid.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <system_error>

namespace orvane {

namespace {

constexpr std::string_view kLockedPartialSuffix = ".locked-partial";
constexpr std::size_t kTokenLength = 8;

bool sameFile(int fd, const std::filesystem::path& path) {
    struct stat opened {};
    struct stat named {};
    return ::fstat(fd, &opened) == 0 && ::stat(path.c_str(), &named) == 0 && opened.st_dev == named.st_dev &&
           opened.st_ino == named.st_ino;
}

std::string hiddenPrefix(const std::filesystem::path& target) {
    std::string prefix(".");
    prefix += target.stem().string();
    prefix += '-';
    return prefix;
}

std::filesystem::path lockedPartialPath(const std::filesystem::path& target) {
    std::string name = hiddenPrefix(target);
    name += Uuid::random().string().substr(0, kTokenLength);
    name += kLockedPartialSuffix;
    name += target.extension().string();
    return target.parent_path() / name;
}

bool isLockedPartialOf(const std::string& name, const std::filesystem::path& target) {
    const std::string prefix = hiddenPrefix(target);
    std::string suffix(kLockedPartialSuffix);
    suffix += target.extension().string();
    return name.size() == prefix.size() + kTokenLength + suffix.size() && name.starts_with(prefix) &&
           name.ends_with(suffix);
}

}  // namespace

FileDescriptor createLockedFile(const std::filesystem::path& file) {
    FileDescriptor fd(::open(file.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (fd.get() < 0) throwFileError(errno, "cannot create ", file);
    // Between the open and the lock a sweeper may have taken the free lock and removed the file; the
    // lock is only worth having on the file that still carries the name.
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0 || !sameFile(fd.get(), file)) {
        throwFileError(EAGAIN, "lost the new file to a sweeper: ", file);
    }
    return fd;
}

std::optional<FileDescriptor> lockIfAbandoned(const std::filesystem::path& file) {
    FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return std::nullopt;
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return std::nullopt;
    // Another sweeper may have removed it meanwhile; names are never reused, so the file that still
    // carries the name once locked is the abandoned one.
    if (!sameFile(fd.get(), file)) return std::nullopt;
    return fd;
}

LockedPartialFile::LockedPartialFile(std::filesystem::path target) : target_(std::move(target)) {
    removeAbandonedPartials(target_);
    for (int attempt = 0;; ++attempt) {
        partial_ = lockedPartialPath(target_);
        try {
            lock_ = createLockedFile(partial_);
            return;
        } catch (const std::system_error& error) {
            const bool retry = error.code() == std::errc::file_exists ||
                               error.code() == std::errc::resource_unavailable_try_again;
            if (!retry || attempt >= 3) throw;
        }
    }
}

LockedPartialFile::~LockedPartialFile() {
    if (committed_) return;
    std::error_code ignored;
    std::filesystem::remove(partial_, ignored);
}

void LockedPartialFile::commit() {
    if (::rename(partial_.c_str(), target_.c_str()) != 0) throwFileError(errno, "cannot replace ", target_);
    committed_ = true;
}

std::vector<std::string> removeAbandonedEntries(const std::filesystem::path& folder,
                                                const std::function<bool(const std::string& name)>& matches,
                                                std::string_view lockName) {
    std::vector<std::string> removed;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::string name = it->path().filename().string();
        if (!matches(name)) continue;
        // Held while removing, so nobody can be using what goes.
        if (const auto lock = lockIfAbandoned(lockName.empty() ? it->path() : it->path() / lockName)) {
            std::error_code ignored;
            if (std::filesystem::remove_all(it->path(), ignored) != static_cast<std::uintmax_t>(-1)) {
                removed.push_back(std::move(name));
            }
        }
    }
    return removed;
}

int removeAbandonedPartials(const std::filesystem::path& target) {
    const auto folder = target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    const auto removed =
        removeAbandonedEntries(folder, [&](const std::string& name) { return isLockedPartialOf(name, target); });
    return static_cast<int>(removed.size());
}

void writeFileAtomically(const std::filesystem::path& target, std::string_view contents, unsigned mode) {
    const auto folder = target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    std::string hiddenName(".");
    hiddenName += target.filename().string();
    hiddenName += ".XXXXXX";
    std::string pattern = (folder / hiddenName).string();
    FileDescriptor file(::mkstemp(pattern.data()));
    if (file.get() < 0) throwFileError(errno, "cannot create a temporary file beside ", target);
    const std::filesystem::path temporary = pattern;

    auto fail = [&](std::string_view what) {
        const int saved = errno;
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        errno = saved;
        throwFileError(errno, what, target);
    };

    const char* data = contents.data();
    std::size_t remaining = contents.size();
    while (remaining > 0) {
        const ssize_t written = ::write(file.get(), data, remaining);
        if (written < 0) {
            if (errno == EINTR) continue;
            fail("cannot write ");
        }
        data += written;
        remaining -= static_cast<std::size_t>(written);
    }
    if (::fchmod(file.get(), static_cast<mode_t>(mode)) != 0) fail("cannot set the mode of ");
    if (::fsync(file.get()) != 0) fail("cannot flush ");
    if (file.release() != 0) fail("cannot close ");
    if (::rename(temporary.c_str(), target.c_str()) != 0) fail("cannot replace ");

    // The rename is durable only once the folder entry is on disk too.
    FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY));
    if (dir.get() >= 0) ::fsync(dir.get());
}

std::filesystem::path partialSiblingPath(const std::filesystem::path& target) {
    // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on `"literal" + std::string` at -O2 and up.
    std::string name(".");
    name += target.stem().string();
    name += '-';
    name += Uuid::random().string().substr(0, 8);
    name += ".partial";
    name += target.extension().string();
    return target.parent_path() / name;
}

std::optional<std::string> readFileContents(const std::filesystem::path& path, std::size_t limit) {
    // Non-blocking, so a pipe in the file's place is refused instead of waited on forever.
    const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) return std::nullopt;
    struct stat status {};
    if (::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode)) return std::nullopt;
    if (static_cast<std::uint64_t>(status.st_size) > limit) return std::nullopt;
    std::string contents;
    contents.resize(static_cast<std::size_t>(status.st_size));
    std::size_t filled = 0;
    for (;;) {
        // One byte past the limit tells a file that grew after fstat from one that did not.
        if (filled == contents.size()) {
            if (contents.size() > limit) return std::nullopt;
            contents.resize(std::min(limit + 1, std::max<std::size_t>(contents.size() * 2, 4096)));
        }
        const ssize_t got = ::read(fd.get(), contents.data() + filled, contents.size() - filled);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return std::nullopt;
        if (got == 0) break;
        filled += static_cast<std::size_t>(got);
    }
    if (filled > limit) return std::nullopt;
    contents.resize(filled);
    return contents;
}

std::filesystem::path keepCorruptCopy(const std::filesystem::path& file) {
    auto copy = file;
    copy += ".corrupt";
    std::error_code error;
    for (int n = 2; std::filesystem::exists(copy, error) || error; ++n) {
        if (error) throw std::system_error(error, "cannot look for " + copy.string());
        copy = file;
        copy += ".corrupt-" + std::to_string(n);
    }
    // Copied, not moved: the caller replaces the file atomically afterwards.
    std::filesystem::copy_file(file, copy, std::filesystem::copy_options::none);
    return copy;
}

}  // namespace orvane
