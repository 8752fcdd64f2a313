#include "update/release_archive_builder.h"

#include <archive.h>
#include <archive_entry.h>
#include <openssl/evp.h>
#include <sys/stat.h>

#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace fs = std::filesystem;

namespace orvane::testing {

void writeTarXz(const fs::path& archivePath, const Tree& tree) {
    std::unique_ptr<archive, decltype(&archive_write_free)> writer(archive_write_new(), archive_write_free);
    archive_write_set_format_pax_restricted(writer.get());
    archive_write_add_filter_xz(writer.get());
    if (archive_write_open_filename(writer.get(), archivePath.c_str()) != ARCHIVE_OK) {
        throw std::runtime_error(archive_error_string(writer.get()));
    }
    std::set<std::string> folders;
    for (const auto& [path, file] : tree) {
        for (fs::path parent = fs::path(path).parent_path(); !parent.empty(); parent = parent.parent_path()) {
            folders.insert(parent.string());
        }
    }
    const auto writeEntry = [&](const std::string& path, mode_t type, int permissions, const std::string* data) {
        std::unique_ptr<archive_entry, decltype(&archive_entry_free)> entry(archive_entry_new(), archive_entry_free);
        archive_entry_set_pathname(entry.get(), path.c_str());
        archive_entry_set_filetype(entry.get(), type);
        archive_entry_set_perm(entry.get(), permissions);
        archive_entry_set_size(entry.get(), data ? static_cast<la_int64_t>(data->size()) : 0);
        archive_write_header(writer.get(), entry.get());
        if (data && !data->empty()) archive_write_data(writer.get(), data->data(), data->size());
    };
    for (const auto& folder : folders) writeEntry(folder, AE_IFDIR, 0755, nullptr);
    for (const auto& [path, file] : tree) writeEntry(path, AE_IFREG, file.executable ? 0755 : 0644, &file.contents);
    archive_write_close(writer.get());
}

void writeTree(const fs::path& root, const Tree& tree) {
    for (const auto& [path, file] : tree) {
        const auto target = root / path;
        fs::create_directories(target.parent_path());
        std::ofstream(target, std::ios::binary) << file.contents;
        fs::permissions(target, file.executable ? fs::perms(0755) : fs::perms(0644));
    }
}

std::string readBinaryFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::map<std::string, std::string> snapshotTree(const fs::path& root) {
    std::map<std::string, std::string> entries;
    if (!fs::exists(fs::symlink_status(root))) return entries;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const auto relative = fs::relative(entry.path(), root).string();
        const auto status = entry.symlink_status();
        const auto mode = std::to_string(static_cast<int>(status.permissions()));
        if (fs::is_symlink(status)) {
            entries[relative] = "link " + fs::read_symlink(entry.path()).string();
        } else if (fs::is_directory(status)) {
            entries[relative] = "dir " + mode;
        } else {
            entries[relative] = "file " + mode + " " + readBinaryFile(entry.path());
        }
    }
    return entries;
}

SigningKey::SigningKey() : key_(EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519")) {
    if (!key_) throw std::runtime_error("no Ed25519 key");
}

SigningKey::~SigningKey() { EVP_PKEY_free(static_cast<EVP_PKEY*>(key_)); }

std::string SigningKey::publicKeyBase64() const {
    unsigned char raw[32];
    std::size_t size = sizeof raw;
    EVP_PKEY_get_raw_public_key(static_cast<EVP_PKEY*>(key_), raw, &size);
    unsigned char text[64] = {};
    const int length = EVP_EncodeBlock(text, raw, static_cast<int>(size));
    return std::string(reinterpret_cast<char*>(text), static_cast<std::size_t>(length));
}

std::string SigningKey::sign(const std::string& bytes) const {
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, static_cast<EVP_PKEY*>(key_));
    std::string signature(64, '\0');
    std::size_t size = signature.size();
    EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(signature.data()), &size,
                   reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    signature.resize(size);
    return signature;
}

}  // namespace orvane::testing
