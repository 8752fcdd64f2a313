#pragma once

#include <filesystem>
#include <map>
#include <string>

namespace orvane::testing {

// A file of a release tree: its bytes and whether it is executable.
struct TreeFile {
    std::string contents;
    bool executable = false;
};
using Tree = std::map<std::string, TreeFile>;

// Writes `tree` as a tar.xz archive; each path is relative to the archive's root.
void writeTarXz(const std::filesystem::path& archive, const Tree& tree);

// Writes `tree` into a folder.
void writeTree(const std::filesystem::path& root, const Tree& tree);

// Every entry below `root` with its type, permissions and bytes (or link target), for comparing a
// tree before and after byte for byte.
std::map<std::string, std::string> snapshotTree(const std::filesystem::path& root);

// An Ed25519 key pair made for one test.
class SigningKey {
public:
    SigningKey();
    ~SigningKey();
    SigningKey(const SigningKey&) = delete;
    SigningKey& operator=(const SigningKey&) = delete;

    std::string publicKeyBase64() const;
    // The 64-byte signature of `bytes`.
    std::string sign(const std::string& bytes) const;

private:
    void* key_;
};

std::string readBinaryFile(const std::filesystem::path& path);

}  // namespace orvane::testing
