#include "audio/audio_enhancer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <new>
#include <vector>

#include "audio/aac_file.h"
#include "audio/audio_file_reader.h"
#include "audio/biquad.h"
#include "audio/loudness.h"
#include "audio/peak_limiter.h"
#include "base/log.h"
#include "base/log_areas.h"
#include "base/uuid.h"

namespace orvane {

namespace {

constexpr std::int64_t kEnhancedBitRate = 128000;
constexpr double kMaxLoudnessGainDb = 24;
// -1 dBFS.
const float kClipLevel = static_cast<float>(std::pow(10.0, -1.0 / 20.0));

double dbToGain(double db) { return std::pow(10.0, db / 20.0); }

std::array<BiquadCoefficients, 5> equaliserBands(double rate, const EnhancerPresetParameters& p) {
    return {BiquadCoefficients::highPass(rate, 80), BiquadCoefficients::peaking(rate, 250, 1.0, -3),  // mud
            BiquadCoefficients::peaking(rate, 3000, 0.8, p.presenceDb),
            BiquadCoefficients::highShelf(rate, 10000, p.airDb),
            BiquadCoefficients::peaking(rate, 6000, 0.3, -2)};  // sibilance
}

// The input plus half a second of silence, filtered, so ringing after the last sample is kept.
AudioBuffer equalise(const AudioBuffer& input, const EnhancerPresetParameters& parameters) {
    AudioBuffer out;
    out.sampleRate = input.sampleRate;
    out.channels = input.channels;
    const auto channels = static_cast<std::size_t>(input.channels);
    const std::size_t frames = input.frames() + static_cast<std::size_t>(input.sampleRate / 2);
    try {
        out.samples.assign(frames * channels, 0.0f);
    } catch (const std::bad_alloc&) {
        throw EnhancerError(EnhancerError::Code::bufferAlloc);
    }
    std::copy(input.samples.begin(), input.samples.end(), out.samples.begin());
    const auto bands = equaliserBands(input.sampleRate, parameters);
    for (std::size_t c = 0; c < channels; ++c) {
        std::vector<Biquad> chain(bands.begin(), bands.end());
        for (std::size_t i = 0; i < frames; ++i) {
            double x = out.samples[i * channels + c];
            for (auto& band : chain) x = band.process(x);
            out.samples[i * channels + c] = static_cast<float>(x);
        }
    }
    // NaN or infinite input would poison every later step.
    if (!std::all_of(out.samples.begin(), out.samples.end(), [](float s) { return std::isfinite(s); })) {
        throw EnhancerError(EnhancerError::Code::renderFailed);
    }
    return out;
}

void compress(AudioBuffer& buffer, const EnhancerPresetParameters& p) {
    const auto channels = static_cast<std::size_t>(buffer.channels);
    const double attack = std::exp(-1.0 / (p.attackMs * buffer.sampleRate / 1000.0));
    const double release = std::exp(-1.0 / (p.releaseMs * buffer.sampleRate / 1000.0));
    const double makeup = dbToGain(p.makeupDb);
    const double slope = 1.0 - 1.0 / p.ratio;
    double envelope = 0;
    for (std::size_t i = 0; i < buffer.frames(); ++i) {
        float* frame = buffer.samples.data() + i * channels;
        double peak = 0;
        for (std::size_t c = 0; c < channels; ++c) peak = std::max(peak, static_cast<double>(std::fabs(frame[c])));
        const double coefficient = peak > envelope ? attack : release;
        envelope = envelope * coefficient + peak * (1.0 - coefficient);
        double gain = makeup;
        if (envelope > 1e-9) {
            const double level = 20.0 * std::log10(envelope);
            if (level > p.thresholdDb) gain = makeup * dbToGain(-slope * (level - p.thresholdDb));
        }
        for (std::size_t c = 0; c < channels; ++c) frame[c] = static_cast<float>(frame[c] * gain);
    }
}

void normaliseLoudness(AudioBuffer& buffer, double targetLufs) {
    const double measured = integratedLoudness(buffer);
    if (!std::isfinite(measured)) return;  // silence stays silence
    const auto gain =
        static_cast<float>(dbToGain(std::clamp(targetLufs - measured, -kMaxLoudnessGainDb, kMaxLoudnessGainDb)));
    for (auto& sample : buffer.samples) sample *= gain;
}

}  // namespace

EnhancerError::EnhancerError(Code code) : std::runtime_error(message(code)), code_(code) {}

const char* EnhancerError::message(Code code) {
    switch (code) {
        case Code::emptyInput: return "Input audio is empty";
        case Code::bufferAlloc: return "Could not allocate audio buffer";
        case Code::renderFailed: return "Audio engine render error";
        case Code::writeFailed: return "Failed to write enhanced audio";
    }
    return "Audio engine render error";
}

EnhancerPresetParameters enhancerPresetParameters(AudioEnhancerPreset preset) {
    switch (preset) {
        case AudioEnhancerPreset::natural: return {2, 1, -22, 2, 8, 120, 2, -18};
        case AudioEnhancerPreset::broadcast: return {4, 2, -20, 4, 5, 80, 4, -16};
        case AudioEnhancerPreset::punchy: return {5, 3, -18, 6, 3, 60, 5, -14};
    }
    return {2, 1, -22, 2, 8, 120, 2, -18};
}

AudioBuffer enhanceAudio(const AudioBuffer& input, const AudioEnhancementSettings& settings) {
    if (input.frames() == 0 || input.sampleRate <= 0 || input.channels <= 0) {
        throw EnhancerError(EnhancerError::Code::emptyInput);
    }
    const auto parameters = enhancerPresetParameters(settings.preset);
    AudioBuffer processed = equalise(input, parameters);
    compress(processed, parameters);
    try {
        normaliseLoudness(processed, parameters.targetLufs);
    } catch (const std::runtime_error&) {
        throw EnhancerError(EnhancerError::Code::renderFailed);
    }
    try {
        PeakLimiter{}.process(processed);
    } catch (const std::bad_alloc&) {
        throw EnhancerError(EnhancerError::Code::bufferAlloc);
    }
    for (auto& sample : processed.samples) sample = std::clamp(sample, -kClipLevel, kClipLevel);

    if (settings.strength >= 0.999f) return processed;
    const float wet = std::clamp(std::isnan(settings.strength) ? 0.0f : settings.strength, 0.0f, 1.0f);
    AudioBuffer blended = input;
    if (wet == 0.0f) return blended;  // exactly the input, not input * 1 + processed * 0
    const std::size_t count = std::min(blended.samples.size(), processed.samples.size());
    for (std::size_t i = 0; i < count; ++i) {
        blended.samples[i] = blended.samples[i] * (1.0f - wet) + processed.samples[i] * wet;
    }
    return blended;
}

AudioEnhancer::AudioEnhancer(std::filesystem::path outputDirectory) : outputDirectory_(std::move(outputDirectory)) {}

std::filesystem::path AudioEnhancer::enhance(const std::filesystem::path& input,
                                             const AudioEnhancementSettings& settings) {
    std::lock_guard lock(busy_);
    AudioBuffer decoded;
    try {
        decoded = readAudioFile(input);
    } catch (const std::bad_alloc&) {
        throw EnhancerError(EnhancerError::Code::bufferAlloc);
    }
    const AudioBuffer enhanced = enhanceAudio(decoded, settings);
    const auto output = outputDirectory_ / ("zant_enhanced_" + Uuid::random().string() + ".m4a");
    try {
        writeAacFile(output, enhanced, kEnhancedBitRate);
    } catch (const std::exception& error) {
        log::error(log_area::kAudio, "enhanced audio not written to %s: %s", output.c_str(), error.what());
        throw EnhancerError(EnhancerError::Code::writeFailed);
    }
    return output;
}

}  // namespace orvane
