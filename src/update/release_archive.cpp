#include "update/release_archive.h"

#include <archive.h>
#include <archive_entry.h>

#include <memory>
#include <nlohmann/json.hpp>

#include "base/atomic_file.h"
#include "base/json_depth.h"
#include "base/log.h"
#include "base/log_areas.h"
#include "update/update_errors.h"

namespace fs = std::filesystem;

namespace orvane {

namespace {

struct ReaderDeleter {
    void operator()(archive* reader) const { archive_read_free(reader); }
};
struct WriterDeleter {
    void operator()(archive* writer) const { archive_write_free(writer); }
};

[[noreturn]] void unreadable(archive* handle, const char* step) {
    const char* reason = handle ? archive_error_string(handle) : nullptr;
    log::warning(log_area::kApp, "release archive %s failed: %s", step, reason ? reason : "unknown");
    throw UpdateInstallError::archiveUnreadable();
}

}  // namespace

std::optional<ReleaseIdentity> ReleaseIdentity::read(const fs::path& root) {
    const auto text = readFileContents(root / kRelativePath, kSmallFileLimit);
    if (!text) return std::nullopt;
    const auto document = parseJsonWithinDepth<nlohmann::json>(*text);
    if (!document.is_object()) return std::nullopt;
    const auto identifier = document.find("identifier");
    const auto version = document.find("version");
    if (identifier == document.end() || !identifier->is_string() || version == document.end() ||
        !version->is_string()) {
        return std::nullopt;
    }
    ReleaseIdentity identity{identifier->get<std::string>(), version->get<std::string>(), std::nullopt};
    if (const auto build = document.find("build"); build != document.end() && build->is_string()) {
        identity.build = build->get<std::string>();
    }
    return identity;
}

fs::path unpackReleaseArchive(const fs::path& archivePath, const fs::path& destination) {
    fs::create_directories(destination.parent_path());
    if (!fs::create_directory(destination)) {
        throw std::runtime_error("The unpack folder " + destination.string() + " already exists.");
    }
    std::unique_ptr<archive, ReaderDeleter> reader(archive_read_new());
    std::unique_ptr<archive, WriterDeleter> writer(archive_write_disk_new());
    if (!reader || !writer) throw std::bad_alloc();
    archive_read_support_format_tar(reader.get());
    archive_read_support_format_gnutar(reader.get());
    archive_read_support_filter_gzip(reader.get());
    archive_read_support_filter_xz(reader.get());
    archive_read_support_filter_zstd(reader.get());
    archive_write_disk_set_options(writer.get(), ARCHIVE_EXTRACT_TIME | ARCHIVE_EXTRACT_PERM |
                                                     ARCHIVE_EXTRACT_SECURE_NODOTDOT | ARCHIVE_EXTRACT_SECURE_SYMLINKS);
    if (archive_read_open_filename(reader.get(), archivePath.c_str(), 64 * 1024) != ARCHIVE_OK) {
        unreadable(reader.get(), "open");
    }

    bool sawEntry = false;
    while (true) {
        archive_entry* entry = nullptr;
        const int status = archive_read_next_header(reader.get(), &entry);
        if (status == ARCHIVE_EOF) break;
        if (status != ARCHIVE_OK) unreadable(reader.get(), "read");
        const char* name = archive_entry_pathname(entry);
        if (!name) unreadable(reader.get(), "read");
        const fs::path relative(name);
        // Checked here too, not only by libarchive, so the refusal does not depend on its flags.
        if (relative.is_absolute()) unreadable(nullptr, "entry with an absolute path");
        for (const auto& part : relative) {
            if (part == "..") unreadable(nullptr, "entry leading outside the archive");
        }
        const std::string target = (destination / relative).string();
        archive_entry_set_pathname(entry, target.c_str());
        // Hard links name another entry of the archive; they move with it.
        if (const char* hardlink = archive_entry_hardlink(entry)) {
            const std::string linked = (destination / fs::path(hardlink)).string();
            archive_entry_set_hardlink(entry, linked.c_str());
        }
        if (archive_write_header(writer.get(), entry) != ARCHIVE_OK) unreadable(writer.get(), "write");
        const void* block = nullptr;
        std::size_t size = 0;
        la_int64_t offset = 0;
        while (true) {
            const int read = archive_read_data_block(reader.get(), &block, &size, &offset);
            if (read == ARCHIVE_EOF) break;
            if (read != ARCHIVE_OK) unreadable(reader.get(), "read");
            if (archive_write_data_block(writer.get(), block, size, offset) != ARCHIVE_OK) {
                unreadable(writer.get(), "write");
            }
        }
        if (archive_write_finish_entry(writer.get()) != ARCHIVE_OK) unreadable(writer.get(), "write");
        sawEntry = true;
    }
    if (archive_write_close(writer.get()) != ARCHIVE_OK) unreadable(writer.get(), "write");
    if (!sawEntry) unreadable(nullptr, "read (no entries)");

    std::vector<fs::path> top;
    for (const auto& child : fs::directory_iterator(destination)) top.push_back(child.path());
    if (top.size() == 1 && fs::is_directory(fs::symlink_status(top.front()))) return top.front();
    return destination;
}

}  // namespace orvane
