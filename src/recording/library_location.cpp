#include "base/log.h"
#include "base/log_areas.h"
#include "platform/xdg_paths.h"
#include "recording/recording_library.h"

namespace orvane {

namespace fs = std::filesystem;

LibraryLocation LibraryLocation::standard() {
    const auto dataRoot = XdgPaths::orvaneDataRoot();
    const auto legacy = XdgPaths::legacyDataRoot();
    std::error_code error;
    // Older builds kept everything under "Zant"; moving it first means nothing is read twice or lost.
    if (!fs::exists(dataRoot, error) && fs::is_directory(legacy, error)) {
        fs::rename(legacy, dataRoot, error);
        if (error) {
            log::error(log_area::kLibrary, "could not move legacy data folder %s: %s", legacy.c_str(),
                       error.message().c_str());
        } else {
            log::info(log_area::kLibrary, "moved legacy data folder %s to %s", legacy.c_str(), dataRoot.c_str());
        }
    }
    return {dataRoot / "Recordings", dataRoot / "projects.json", dataRoot / "Recovered"};
}

LibraryLocation LibraryLocation::explicitRoot(const fs::path& recordingsRoot) {
    const auto parent = recordingsRoot.parent_path();
    return {recordingsRoot, parent / "projects.json", parent / "Recovered"};
}

}  // namespace orvane
