#include "export/cache/asset_hasher.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/atomic_file.h"
#include "base/file_descriptor.h"
#include "base/log.h"
#include "base/log_areas.h"
#include "export/cache/sha256.h"

namespace orvane {

namespace {

double secondsOf(const timespec& time) {
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_nsec) / 1e9;
}

std::optional<AssetHasher::CacheEntry> readMemo(const std::filesystem::path& memo) {
    const auto text = readFileContents(memo);
    if (!text) return std::nullopt;
    const auto json = nlohmann::json::parse(*text, nullptr, false);
    if (!json.is_object()) return std::nullopt;
    const auto sha = json.find("sha256");
    const auto mtime = json.find("mtime");
    const auto size = json.find("size");
    if (sha == json.end() || mtime == json.end() || size == json.end()) return std::nullopt;
    if (!sha->is_string() || !mtime->is_number() || !size->is_number_unsigned()) return std::nullopt;
    AssetHasher::CacheEntry entry{sha->get<std::string>(), mtime->get<double>(), size->get<std::uintmax_t>()};
    // A memo edited by hand or cut short must not hand out a digest that is not one.
    if (!isSha256Hex(entry.sha256)) return std::nullopt;
    return entry;
}

std::string hashFileContents(const std::filesystem::path& file) {
    FileDescriptor input(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (input.get() < 0) throwFileError(errno, "cannot open ", file);
    Sha256 hash;
    std::vector<unsigned char> chunk(AssetHasher::kChunkSize);
    for (;;) {
        const ssize_t count = ::read(input.get(), chunk.data(), chunk.size());
        if (count < 0) {
            if (errno == EINTR) continue;
            throwFileError(errno, "cannot read ", file);
        }
        if (count == 0) break;
        hash.update(chunk.data(), static_cast<std::size_t>(count));
    }
    return hash.finishHex();
}

}  // namespace

std::optional<FileAttributes> fileAttributes(const std::filesystem::path& file) {
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
        throwFileError(errno, "cannot read the attributes of ", file);
    }
    if (!S_ISREG(info.st_mode)) return std::nullopt;
    return FileAttributes{static_cast<std::uintmax_t>(info.st_size), secondsOf(info.st_mtim)};
}

std::filesystem::path AssetHasher::memoPath(const std::filesystem::path& file) {
    std::filesystem::path memo = file;
    memo += ".sha256";
    return memo;
}

std::string AssetHasher::sha256(const std::filesystem::path& file) const {
    // Attributes are taken before reading: a file that changes while it is read gets a newer mtime
    // than the memo records, so the next call reads it again.
    const auto attributes = fileAttributes(file);
    if (!attributes) throwFileError(ENOENT, "no file to hash at ", file);
    const auto memo = memoPath(file);
    if (const auto entry = readMemo(memo);
        entry && entry->mtime == attributes->modifiedAt && entry->size == attributes->size) {
        return entry->sha256;
    }

    std::string digest = hashFileContents(file);
    const nlohmann::json json = {{"sha256", digest}, {"mtime", attributes->modifiedAt}, {"size", attributes->size}};
    try {
        writeFileAtomically(memo, json.dump());
    } catch (const std::exception& error) {
        log::debug(log_area::kCache, "hash memo not written for %s: %s", file.c_str(), error.what());
    }
    return digest;
}

}  // namespace orvane
