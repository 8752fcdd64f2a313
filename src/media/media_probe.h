#pragma once

#include <filesystem>
#include <optional>

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

// Answers nothing when the file is missing or not a media file libavformat can open.
std::optional<MediaInfo> probeMedia(const std::filesystem::path& file);

// The playable duration used across the engine: positive and finite, or nothing.
std::optional<double> playableDuration(const MediaInfo& info);
std::optional<double> playableDuration(const std::filesystem::path& file);

}  // namespace orvane
