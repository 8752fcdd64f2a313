#include "model/export_workspace.h"

#include <string>
#include <system_error>

#include "base/atomic_file.h"
#include "base/log.h"
#include "base/log_areas.h"
#include "base/uuid.h"

namespace orvane {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kPrefix = "Orvane-";
constexpr std::string_view kLockName = ".lock";

}  // namespace

ExportWorkspace::ExportWorkspace(const fs::path& parent, std::string_view label) {
    removeAbandonedWorkspaces(parent);
    for (int attempt = 0;; ++attempt) {
        std::string name(kPrefix);
        name += label;
        name += '-';
        name += Uuid::random().string();
        folder_ = parent / name;
        std::error_code error;
        if (!fs::create_directory(folder_, error)) {
            if (error) throwFileError(error.value(), "cannot create the export folder ", folder_);
            continue;  // the name is taken
        }
        try {
            lock_ = createLockedFile(folder_ / kLockName);
            return;
        } catch (const std::system_error&) {
            // A sweeper took the folder in the moment before it was locked: start again elsewhere.
            fs::remove_all(folder_, error);
            if (attempt >= 3) throw;
        }
    }
}

ExportWorkspace::~ExportWorkspace() {
    std::error_code error;
    fs::remove_all(folder_, error);
    if (error) log::warning(log_area::kExport, "could not remove %s: %s", folder_.c_str(), error.message().c_str());
}

int removeAbandonedWorkspaces(const fs::path& parent) {
    const auto removed = removeAbandonedEntries(
        parent,
        [&](const std::string& name) {
            std::error_code ignored;
            return name.starts_with(kPrefix) && fs::is_directory(parent / name, ignored);
        },
        kLockName);
    for (const auto& name : removed) {
        log::info(log_area::kExport, "removing %s, left by an export that did not finish", name.c_str());
    }
    return static_cast<int>(removed.size());
}

}  // namespace orvane
