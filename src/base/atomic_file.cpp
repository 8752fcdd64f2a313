#include "base/atomic_file.h"

#include "base/file_descriptor.h"
#include "base/uuid.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <system_error>

namespace orvane {

namespace {


}  // namespace

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

std::optional<std::string> readFileContents(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) return std::nullopt;
    return std::move(buffer).str();
}

}  // namespace orvane
