#pragma once

#include <filesystem>
#include <string>

namespace orvane::testing {

// A fresh folder under the system temporary folder, removed with everything in it on destruction.
class TempDir {
public:
    TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir();

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Writes `contents` to `path`, creating parent folders.
void writeTextFile(const std::filesystem::path& path, const std::string& contents);
std::string readTextFile(const std::filesystem::path& path);

}  // namespace orvane::testing
