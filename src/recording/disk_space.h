#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace orvane {

// Free space on the volume that holds the recordings, in bytes available to this user.
class FreeSpaceSource {
public:
    virtual ~FreeSpaceSource() = default;
    // Nothing when it cannot be read; no disk rule applies then.
    virtual std::optional<std::uint64_t> freeBytes() = 0;
};

// statvfs of a folder on the volume: blocks available to unprivileged users, which is what a
// recording can actually fill (the root-reserved blocks are not).
class VolumeFreeSpace final : public FreeSpaceSource {
public:
    explicit VolumeFreeSpace(std::filesystem::path folder) : folder_(std::move(folder)) {}
    std::optional<std::uint64_t> freeBytes() override;

private:
    std::filesystem::path folder_;
};

// The disk rules of a recording, in bytes.
inline constexpr std::uint64_t kRefuseToStartBelow = 500'000'000;
inline constexpr std::uint64_t kWarnAtStartBelow = 5'000'000'000;
inline constexpr std::uint64_t kWarnWhileRecordingAtOrBelow = 999'999'999;
inline constexpr std::uint64_t kStopRecordingBelow = 250'000'000;

// Megabytes as the messages count them: bytes / 1,000,000, rounded down.
std::uint64_t wholeMegabytes(std::uint64_t bytes);

struct DiskToast {
    std::string title;
    std::string detail;
};

// Before a recording starts.
struct StartDiskCheck {
    std::optional<std::string> refusal;  // the failure text when too little is free
    std::optional<DiskToast> error;      // "Disk full"
    std::optional<DiskToast> warning;    // "Low disk space"
};
StartDiskCheck checkDiskBeforeStart(std::optional<std::uint64_t> freeBytes);

// Every 10 s while recording.
struct RecordingDiskCheck {
    bool stop = false;
    std::optional<DiskToast> error;    // stopping
    std::optional<DiskToast> warning;  // once per recording
};
RecordingDiskCheck checkDiskWhileRecording(std::optional<std::uint64_t> freeBytes, bool warningAlreadyPosted);

}  // namespace orvane
