#include <unistd.h>

#include "media/external_tools.h"
#include "platform/executable_path.h"

namespace orvane {

namespace fs = std::filesystem;

std::vector<fs::path> defaultToolFolders() {
    std::vector<fs::path> folders;
    // A bundled build keeps its own tools beside the program; they win over whatever the system has,
    // so the version the product was tested with is the one that runs.
    if (const auto executable = runningExecutablePath()) {
        folders.push_back((executable->parent_path() / ".." / "libexec" / "orvane").lexically_normal());
    }
    folders.emplace_back("/usr/local/bin");
    folders.emplace_back("/usr/bin");
    return folders;
}

namespace {

bool isExecutableFile(const fs::path& candidate) {
    std::error_code error;
    // status() follows symbolic links, as Debian's alternatives-style links need.
    if (!fs::is_regular_file(fs::status(candidate, error)) || error) return false;
    return ::access(candidate.c_str(), X_OK) == 0;
}

}  // namespace

namespace FFmpegTool {

std::optional<fs::path> locate(std::string_view name, const std::vector<fs::path>& folders) {
    // A name with a folder in it would escape the search folders.
    if (name.empty() || name.find('/') != std::string_view::npos) return std::nullopt;
    for (const auto& folder : folders) {
        auto candidate = folder / name;
        if (isExecutableFile(candidate)) return candidate;
    }
    return std::nullopt;
}

std::optional<fs::path> locate(std::string_view name) { return locate(name, defaultToolFolders()); }

ToolLocator locator(std::vector<fs::path> folders) {
    return [folders = std::move(folders)](std::string_view name) { return locate(name, folders); };
}

ToolLocator locator() {
    return [](std::string_view name) { return locate(name); };
}

}  // namespace FFmpegTool

}  // namespace orvane
