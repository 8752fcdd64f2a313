#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "base/uuid.h"

namespace orvane {

// An audio file on the timeline: voiceover, music or an imported sound. File locations are
// std::filesystem::path (absolute local files); the sidecar decides how they are written.
struct AudioClip {
    Uuid id = Uuid::random();
    double startTime = 0;    // composition time
    double sourceStart = 0;  // offset into the file
    double duration = 0;
    std::filesystem::path path;
    float volume = 1;
    std::string label;
    // The text a synthesised voiceover was made from.
    std::optional<std::string> script;
    // The file before voice enhancement, kept so enhancement can be undone.
    std::optional<std::filesystem::path> originalPath;

    bool operator==(const AudioClip&) const = default;
};

}  // namespace orvane

template <>
struct std::hash<orvane::AudioClip> {
    std::size_t operator()(const orvane::AudioClip& clip) const noexcept;
};
