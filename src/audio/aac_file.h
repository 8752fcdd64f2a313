#pragma once

#include <cstdint>
#include <filesystem>

#include "audio/audio_buffer.h"

namespace orvane {

// Writes `audio` as AAC at `bitRate` in an MPEG-4 audio file at `file` (its rate and channels),
// through a hidden partial file renamed into place, so a failure never leaves half a file.
// Throws std::runtime_error on failure.
void writeAacFile(const std::filesystem::path& file, const AudioBuffer& audio, std::int64_t bitRate);

}  // namespace orvane
