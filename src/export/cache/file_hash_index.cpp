#include "export/cache/file_hash_index.h"

#include <system_error>
#include <utility>

#include <nlohmann/json.hpp>

#include "base/atomic_file.h"
#include "base/log.h"
#include "base/log_areas.h"
#include "export/cache/sha256.h"

namespace orvane {

namespace {

std::optional<FileHashRecord> decodeRecord(const nlohmann::json& json) {
    if (!json.is_object()) return std::nullopt;
    const auto path = json.find("path");
    const auto size = json.find("size");
    const auto modifiedAt = json.find("modifiedAt");
    const auto sha = json.find("sha256");
    if (path == json.end() || size == json.end() || modifiedAt == json.end() || sha == json.end()) return std::nullopt;
    if (!path->is_string() || !size->is_number_unsigned() || !modifiedAt->is_number() || !sha->is_string()) {
        return std::nullopt;
    }
    FileHashRecord record{path->get<std::string>(), size->get<std::uintmax_t>(), modifiedAt->get<double>(),
                          sha->get<std::string>()};
    if (!isSha256Hex(record.sha256)) return std::nullopt;
    return record;
}

}  // namespace

FileHashIndex::FileHashIndex(std::filesystem::path indexFile, AssetHasher hasher)
    : indexFile_(std::move(indexFile)), hasher_(hasher) {}

void FileHashIndex::loadOnce() {
    if (didLoadHashIndex_) return;
    didLoadHashIndex_ = true;
    const auto text = readFileContents(indexFile_);
    if (!text) return;
    // An index that does not parse is treated as empty; it is rewritten with the next change.
    const auto json = nlohmann::json::parse(*text, nullptr, false);
    if (!json.is_object()) {
        log::warning(log_area::kCache, "ignoring unreadable hash index %s", indexFile_.c_str());
        return;
    }
    for (const auto& [path, value] : json.items()) {
        auto record = decodeRecord(value);
        if (record && record->path == path) records_.emplace(path, std::move(*record));
    }
}

std::optional<FileReference> FileHashIndex::reference(std::string role, const std::filesystem::path& file) {
    loadOnce();
    const std::string path = std::filesystem::absolute(file).lexically_normal().string();
    std::optional<FileAttributes> attributes;
    try {
        attributes = fileAttributes(path);
    } catch (const std::system_error& error) {
        log::debug(log_area::kCache, "leaving out unreachable input %s: %s", path.c_str(), error.what());
        return std::nullopt;
    }
    if (!attributes) return std::nullopt;

    const auto known = records_.find(path);
    if (known != records_.end() && known->second.size == attributes->size &&
        known->second.modifiedAt == attributes->modifiedAt) {
        const FileHashRecord& record = known->second;
        return FileReference{std::move(role), record.path, record.size, record.modifiedAt, record.sha256};
    }

    std::string digest;
    try {
        digest = hasher_.sha256(path);
    } catch (const std::system_error& error) {
        // Unreadable inputs are left out of the key rather than failing it; the render reports them.
        log::debug(log_area::kCache, "leaving out unreadable input %s: %s", path.c_str(), error.what());
        return std::nullopt;
    }
    FileHashRecord record{path, attributes->size, attributes->modifiedAt, std::move(digest)};
    records_[path] = record;
    dirty_ = true;
    return FileReference{std::move(role), record.path, record.size, record.modifiedAt, record.sha256};
}

void FileHashIndex::saveIfDirty() {
    if (!dirty_) return;
    nlohmann::json json = nlohmann::json::object();
    for (const auto& [path, record] : records_) {
        json[path] = {
            {"path", record.path}, {"size", record.size}, {"modifiedAt", record.modifiedAt}, {"sha256", record.sha256}};
    }
    try {
        std::filesystem::create_directories(indexFile_.parent_path());
        writeFileAtomically(indexFile_, json.dump());
        dirty_ = false;
    } catch (const std::exception& error) {
        log::warning(log_area::kCache, "hash index not saved to %s: %s", indexFile_.c_str(), error.what());
    }
}

}  // namespace orvane
