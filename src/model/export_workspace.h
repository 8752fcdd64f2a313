#pragma once

#include <filesystem>
#include <string_view>

#include "base/file_descriptor.h"

namespace orvane {

// One export job's folder of intermediate files, "Orvane-<label>-<UUID>" in a temporary folder,
// removed with everything in it when the object goes. While it lives it holds the flock() of a
// ".lock" file inside, which the kernel drops when the process dies: a folder whose lock anyone can
// take was left by a killed export, and making a new workspace first removes those.
class ExportWorkspace {
public:
    // Throws std::system_error when the folder cannot be made.
    ExportWorkspace(const std::filesystem::path& parent, std::string_view label);
    ExportWorkspace(const ExportWorkspace&) = delete;
    ExportWorkspace& operator=(const ExportWorkspace&) = delete;
    ~ExportWorkspace();

    const std::filesystem::path& folder() const { return folder_; }
    std::filesystem::path file(std::string_view name) const { return folder_ / name; }

private:
    std::filesystem::path folder_;
    FileDescriptor lock_{-1};
};

// Removes the "Orvane-*" workspaces in `parent` whose lock nobody holds; answers how many. Folders
// without a lock file are not ours to judge and stay.
int removeAbandonedWorkspaces(const std::filesystem::path& parent);

}  // namespace orvane
