#pragma once

#include <filesystem>

namespace orvane {

// How loud a finished mix turned out, for the export's outcome text.
enum class MixLevel {
    silent,  // no audio, or integrated loudness of -infinity
    low,     // audible but below kLowMixLoudness
    normal,
    inconclusive,  // the file's audio could not be read or measured
};

// A mix quieter than this (LUFS) is reported as "low level": about 27 LU under speech normalised
// for online video, where a listener at normal volume hears little more than a murmur.
inline constexpr double kLowMixLoudness = -50;

struct MixLevelReading {
    MixLevel level = MixLevel::inconclusive;
    double loudness = 0;  // LUFS; meaningful for low and normal, -infinity for silent audio
};

// Decodes the first audio stream of `file` (at 48 kHz stereo) and measures its integrated loudness.
MixLevelReading readMixLevel(const std::filesystem::path& file);
MixLevel measureMixLevel(const std::filesystem::path& file);

}  // namespace orvane
