#include "base/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <system_error>

namespace orvane {

namespace {

// Owns a POSIX descriptor so every early exit closes it.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    // Closing can report a deferred write error (NFS, quota), so the writer checks it.
    int release() {
        const int result = ::close(fd_);
        fd_ = -1;
        return result;
    }

private:
    int fd_;
};

[[noreturn]] void throwErrno(const std::string& what) {
    throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

void writeFileAtomically(const std::filesystem::path& target, std::string_view contents, unsigned mode) {
    const auto folder = target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    std::string pattern = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    FileDescriptor file(::mkstemp(pattern.data()));
    if (file.get() < 0) throwErrno("cannot create a temporary file beside " + target.string());
    const std::filesystem::path temporary = pattern;

    auto fail = [&](const std::string& what) {
        const int saved = errno;
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        errno = saved;
        throwErrno(what);
    };

    const char* data = contents.data();
    std::size_t remaining = contents.size();
    while (remaining > 0) {
        const ssize_t written = ::write(file.get(), data, remaining);
        if (written < 0) {
            if (errno == EINTR) continue;
            fail("cannot write " + target.string());
        }
        data += written;
        remaining -= static_cast<std::size_t>(written);
    }
    if (::fchmod(file.get(), static_cast<mode_t>(mode)) != 0) fail("cannot set the mode of " + target.string());
    if (::fsync(file.get()) != 0) fail("cannot flush " + target.string());
    if (file.release() != 0) fail("cannot close " + target.string());
    if (::rename(temporary.c_str(), target.c_str()) != 0) fail("cannot replace " + target.string());

    // The rename is durable only once the folder entry is on disk too.
    FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY));
    if (dir.get() >= 0) ::fsync(dir.get());
}

std::optional<std::string> readFileContents(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) return std::nullopt;
    return std::move(buffer).str();
}

}  // namespace orvane
