// Voice enhancement and loudness over a minute of audio: the enhancer runs over whole files, so
// its cost per minute of voice is what a user waits for.
#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>

#include "audio/audio_enhancer.h"
#include "audio/loudness.h"

namespace {

// A minute of speech-like sound: a 140 Hz buzz with harmonics, switched on and off like syllables.
orvane::AudioBuffer voiceLikeMinute(int channels) {
    orvane::AudioBuffer buffer;
    buffer.sampleRate = 48000;
    buffer.channels = channels;
    const std::size_t frames = 60 * 48000;
    buffer.samples.resize(frames * static_cast<std::size_t>(channels));
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / 48000;
        const double envelope = std::sin(2 * std::numbers::pi * 3 * t) > -0.3 ? 0.2 : 0.01;
        double value = 0;
        for (int harmonic = 1; harmonic <= 8; ++harmonic) value += std::sin(2 * std::numbers::pi * 140 * harmonic * t) / harmonic;
        for (int c = 0; c < channels; ++c) buffer.samples[i * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)] = static_cast<float>(envelope * value);
    }
    return buffer;
}

void BM_EnhanceOneMinuteMono(benchmark::State& state) {
    const auto input = voiceLikeMinute(1);
    orvane::AudioEnhancementSettings settings;
    settings.preset = orvane::AudioEnhancerPreset::broadcast;
    for (auto _ : state) benchmark::DoNotOptimize(orvane::enhanceAudio(input, settings));
}
BENCHMARK(BM_EnhanceOneMinuteMono)->Unit(benchmark::kMillisecond);

void BM_LoudnessOneMinuteStereo(benchmark::State& state) {
    const auto input = voiceLikeMinute(2);
    for (auto _ : state) benchmark::DoNotOptimize(orvane::integratedLoudness(input));
}
BENCHMARK(BM_LoudnessOneMinuteStereo)->Unit(benchmark::kMillisecond);

}  // namespace
