#pragma once

#include <filesystem>
#include <optional>
#include <string_view>
#include <utility>

#include "base/geometry.h"

namespace orvane {

// What libavformat can tell about a movie or audio file without decoding it whole.
struct MediaInfo {
    // Container duration in seconds; empty when the file does not say or says something not finite.
    std::optional<double> durationSeconds;
    bool hasVideo = false;
    bool hasAudio = false;
    // The first video stream's natural size in pixels (as stored, before any rotation).
    std::optional<Size> videoSize;
    // The same, as a player shows it: turned by the container's display rotation. Decoded frames
    // have this size.
    std::optional<Size> displaySize;
    // The first video stream's average frame rate, when the file states one.
    std::optional<double> frameRate;
};

// Why a file could not be probed: it is not there, it cannot be read (permissions, an I/O error), or
// libavformat does not recognise what it holds.
enum class ProbeFailure { missing, unreadable, notMedia };

// "missing", "unreadable" or "not a media file", for logs and messages.
std::string_view describe(ProbeFailure failure);

// What probeMedia answers: the file's facts, or why there are none. Reads like an optional.
class MediaProbe {
public:
    MediaProbe(MediaInfo info) : info_(std::move(info)) {}   // NOLINT: a probe that worked
    MediaProbe(ProbeFailure failure) : failure_(failure) {}  // NOLINT: a probe that did not

    explicit operator bool() const { return info_.has_value(); }
    const MediaInfo& operator*() const { return *info_; }
    const MediaInfo* operator->() const { return &*info_; }
    const std::optional<MediaInfo>& info() const { return info_; }
    // Set exactly when there is no info.
    std::optional<ProbeFailure> failure() const { return failure_; }

private:
    std::optional<MediaInfo> info_;
    std::optional<ProbeFailure> failure_;
};

MediaProbe probeMedia(const std::filesystem::path& file);

// The playable duration used across the engine: positive and finite, or nothing.
std::optional<double> playableDuration(const MediaInfo& info);
std::optional<double> playableDuration(const std::filesystem::path& file);

}  // namespace orvane
