#include "recording/disk_space.h"

#include <sys/statvfs.h>

namespace orvane {

std::optional<std::uint64_t> VolumeFreeSpace::freeBytes() {
    struct statvfs info {};
    // The folder may not exist yet on a first run; its nearest existing parent is on the same volume.
    auto folder = folder_;
    std::error_code error;
    while (!folder.empty() && !std::filesystem::exists(folder, error) && folder != folder.parent_path()) {
        folder = folder.parent_path();
    }
    if (folder.empty() || statvfs(folder.c_str(), &info) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(info.f_bavail) * static_cast<std::uint64_t>(info.f_frsize);
}

std::uint64_t wholeMegabytes(std::uint64_t bytes) { return bytes / 1'000'000; }

StartDiskCheck checkDiskBeforeStart(std::optional<std::uint64_t> freeBytes) {
    StartDiskCheck check;
    if (!freeBytes) return check;
    const std::string mb = std::to_string(wholeMegabytes(*freeBytes));
    if (*freeBytes < kRefuseToStartBelow) {
        check.refusal = "Not enough free disk for recording (" + mb + " MB free, need at least 500 MB).";
        check.error = DiskToast{"Disk full", "Free up at least 500 MB before starting a recording."};
    } else if (*freeBytes < kWarnAtStartBelow) {
        check.warning = DiskToast{"Low disk space", "Only " + mb + " MB free. Long recordings may run out of room."};
    }
    return check;
}

RecordingDiskCheck checkDiskWhileRecording(std::optional<std::uint64_t> freeBytes, bool warningAlreadyPosted) {
    RecordingDiskCheck check;
    if (!freeBytes) return check;
    const std::string mb = std::to_string(wholeMegabytes(*freeBytes));
    if (*freeBytes < kStopRecordingBelow) {
        check.stop = true;
        check.error = DiskToast{"Stopping recording \xE2\x80\x94 disk almost full",
                                mb + " MB free. Orvane saved what it had so far."};
    } else if (*freeBytes <= kWarnWhileRecordingAtOrBelow && !warningAlreadyPosted) {
        check.warning = DiskToast{"Low disk space (" + mb + " MB free)", "Orvane will stop automatically below 250 MB."};
    }
    return check;
}

}  // namespace orvane
