#include "audio/mix_level.h"

#include <cmath>
#include <exception>
#include <limits>

#include "audio/audio_file_reader.h"
#include "audio/loudness.h"
#include "base/log.h"
#include "base/log_areas.h"

namespace orvane {

MixLevelReading readMixLevel(const std::filesystem::path& file) {
    try {
        const auto audio = readAudioRange(file, 0, std::nullopt, 48000, 2);
        if (!audio) return {MixLevel::silent, -std::numeric_limits<double>::infinity()};
        const double loudness = integratedLoudness(*audio);
        if (!std::isfinite(loudness)) return {MixLevel::silent, loudness};
        return {loudness < kLowMixLoudness ? MixLevel::low : MixLevel::normal, loudness};
    } catch (const std::exception& error) {
        log::warning(log_area::kAudio, "loudness of %s not measured: %s", file.c_str(), error.what());
        return {MixLevel::inconclusive, 0};
    }
}

MixLevel measureMixLevel(const std::filesystem::path& file) { return readMixLevel(file).level; }

}  // namespace orvane
