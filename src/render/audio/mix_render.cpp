#include "render/audio/mix_render.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "model/time_mapping.h"
#include "render/audio/audio_file_reader.h"
#include "render/audio/click_sound.h"
#include "render/audio/mix_plan.h"
#include "render/audio/tempo_change.h"
#include "render/scene_snapshot.h"

namespace orvane {

namespace {

constexpr double kMuteFadeSeconds = 0.005;

std::size_t framesAt(double seconds) {
    return seconds > 0 ? static_cast<std::size_t>(std::llround(seconds * kMixSampleRate)) : 0;
}

void fade(AudioBuffer& piece, bool in, bool out) {
    const std::size_t frames = piece.frames();
    const std::size_t length = std::min(framesAt(kMuteFadeSeconds), frames / 2);
    const auto channels = static_cast<std::size_t>(piece.channels);
    for (std::size_t i = 0; i < length; ++i) {
        const auto gain = static_cast<float>(static_cast<double>(i) / static_cast<double>(length));
        for (std::size_t c = 0; c < channels; ++c) {
            if (in) piece.samples[i * channels + c] *= gain;
            if (out) piece.samples[(frames - 1 - i) * channels + c] *= gain;
        }
    }
}

void addAt(AudioBuffer& mix, const AudioBuffer& piece, std::size_t startFrame, float gain) {
    const auto channels = static_cast<std::size_t>(mix.channels);
    if (startFrame >= mix.frames()) return;
    const std::size_t count = std::min(piece.frames(), mix.frames() - startFrame);
    float* target = mix.samples.data() + startFrame * channels;
    for (std::size_t i = 0; i < count * channels; ++i) target[i] += piece.samples[i] * gain;
}

}  // namespace

AudioBuffer renderMixAudio(const SceneRenderSnapshot& snapshot, std::stop_token stop) {
    AudioBuffer mix;
    mix.sampleRate = kMixSampleRate;
    mix.channels = kMixChannels;
    const double total = outputDuration(snapshot.trimStart, snapshot.trimEnd, snapshot.speedRamps);
    mix.samples.assign(framesAt(total) * kMixChannels, 0.0f);

    for (const auto& piece : planMix(snapshot)) {
        if (stop.stop_requested()) throw std::runtime_error("The audio mix was cancelled");
        auto audio = readAudioRange(piece.file, piece.sourceStart, piece.sourceDuration, kMixSampleRate, kMixChannels);
        if (!audio) continue;  // no audio stream: a silent input
        // Frame counts follow the output clock so rounding never drifts pieces apart.
        const std::size_t start = framesAt(piece.outputStart);
        const std::size_t length = framesAt(piece.outputStart + piece.outputDuration()) - start;
        if (piece.speed != 1) {
            *audio = changeTempo(*audio, piece.speed, length);
        } else {
            audio->samples.resize(length * kMixChannels, 0.0f);
        }
        fade(*audio, piece.fadeIn, piece.fadeOut);
        addAt(mix, *audio, start, piece.gain);
    }

    const auto times = clickSoundTimes(snapshot);
    if (!times.empty() && snapshot.cursorClickSoundVolume > 0) {
        const auto click = synthesiseClick(kMixSampleRate, kMixChannels, snapshot.cursorClickSoundVolume);
        for (double t : times) addAt(mix, click, framesAt(t), 1.0f);
    }
    return mix;
}

}  // namespace orvane
