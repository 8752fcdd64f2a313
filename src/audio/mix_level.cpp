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
        // Measured as it decodes: a long mix is never held in memory whole.
        constexpr int kRate = 48000;
        constexpr int kChannels = 2;
        LoudnessMeter meter(kRate, kChannels);
        const bool hasAudio = streamAudioFile(
            file, kRate, kChannels, [&meter](const float* samples, std::size_t frames) { meter.add(samples, frames); });
        if (!hasAudio) return {MixLevel::silent, -std::numeric_limits<double>::infinity()};
        const double loudness = meter.integrated();
        if (!std::isfinite(loudness)) return {MixLevel::silent, loudness};
        return {loudness < kLowMixLoudness ? MixLevel::low : MixLevel::normal, loudness};
    } catch (const std::exception& error) {
        log::warning(log_area::kAudio, "loudness of %s not measured: %s", file.c_str(), error.what());
        return {MixLevel::inconclusive, 0};
    }
}

MixLevel measureMixLevel(const std::filesystem::path& file) { return readMixLevel(file).level; }

}  // namespace orvane
