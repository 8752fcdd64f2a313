#pragma once

#include <filesystem>
#include <mutex>
#include <stdexcept>

#include "audio/audio_buffer.h"
#include "model/audio_enhancement_settings.h"

namespace orvane {

// Why an enhancement failed; what() is the text shown to the user.
class EnhancerError : public std::runtime_error {
public:
    enum class Code { emptyInput, bufferAlloc, renderFailed, writeFailed };

    explicit EnhancerError(Code code);
    Code code() const { return code_; }
    static const char* message(Code code);

private:
    Code code_;
};

// The tuning behind one preset.
struct EnhancerPresetParameters {
    double presenceDb;   // peaking band at 3 kHz
    double airDb;        // high shelf at 10 kHz
    double thresholdDb;  // compressor
    double ratio;
    double attackMs;
    double releaseMs;
    double makeupDb;
    double targetLufs;  // loudness the output is normalised to
};

EnhancerPresetParameters enhancerPresetParameters(AudioEnhancerPreset preset);

// The whole voice chain on a decoded buffer: equaliser (over the input plus half a second of tail),
// compressor, loudness normalisation (skipped for silence; at most 24 dB either way), look-ahead
// peak limiter, hard clip at -1 dBFS and the wet/dry blend. Strength 0.999 and up answers the
// processed buffer with its tail; below that the blend runs over the input's length. Throws
// EnhancerError (bufferAlloc, renderFailed); an empty input is emptyInput.
AudioBuffer enhanceAudio(const AudioBuffer& input, const AudioEnhancementSettings& settings);

// Cleans up a recorded voice file. One enhancement runs at a time per enhancer; the call blocks, so
// callers run it as background work.
class AudioEnhancer {
public:
    // New files go to `outputDirectory` (the system temporary folder by default).
    explicit AudioEnhancer(std::filesystem::path outputDirectory = std::filesystem::temp_directory_path());

    // Reads the whole file, runs enhanceAudio and writes AAC at 128 kb/s with the input's rate and
    // channels as "zant_enhanced_<UUID>.m4a". Answers the new file; the input is never touched.
    // Throws EnhancerError, or AudioReadError when the input cannot be read.
    std::filesystem::path enhance(const std::filesystem::path& input, const AudioEnhancementSettings& settings);

private:
    std::filesystem::path outputDirectory_;
    std::mutex busy_;
};

}  // namespace orvane
