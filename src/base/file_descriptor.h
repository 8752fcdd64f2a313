#pragma once

#include <unistd.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "base/file_error.h"

namespace orvane {

// Owns a POSIX descriptor so every early exit closes it.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        if (this != &other) {
            if (fd_ >= 0) ::close(fd_);
            fd_ = other.fd_;
            other.fd_ = -1;
        }
        return *this;
    }
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    // Closing can report a deferred write error (NFS, quota), so writers check it.
    int release() {
        const int result = ::close(fd_);
        fd_ = -1;
        return result;
    }

private:
    int fd_;
};

// Throws std::system_error for `error` with the message `what` followed by the file's path. Takes
// the message in two pieces: GCC 12 warns falsely (-Wrestrict) on `"literal" + std::string` at -O2
// and above, and warnings are errors here.
[[noreturn]] inline void throwFileError(int error, std::string_view what, const std::filesystem::path& file) {
    std::string message(what);
    message += file.string();
    throw std::system_error(error, fileErrorCategory(), message);
}

}  // namespace orvane
