#include "audio/mix_render.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "audio/audio_file_reader.h"
#include "audio/click_sound.h"
#include "audio/tempo_change.h"
#include "model/scene_render_snapshot.h"
#include "model/time_mapping.h"

namespace orvane {

namespace {

constexpr double kMuteFadeSeconds = 0.005;

std::size_t framesAt(double seconds) {
    return seconds > 0 ? static_cast<std::size_t>(std::llround(seconds * kMixSampleRate)) : 0;
}

// Adds `source` (starting at absolute frame `at`) into `mix` (starting at absolute frame `first`).
void addAt(AudioBuffer& mix, std::size_t first, const AudioBuffer& source, std::size_t at, float gain) {
    const auto channels = static_cast<std::size_t>(mix.channels);
    const std::size_t from = std::max(first, at);
    const std::size_t to = std::min(first + mix.frames(), at + source.frames());
    for (std::size_t f = from; f < to; ++f) {
        for (std::size_t c = 0; c < channels; ++c) {
            mix.samples[(f - first) * channels + c] += source.samples[(f - at) * channels + c] * gain;
        }
    }
}

}  // namespace

MixRenderer::MixRenderer(const SceneRenderSnapshot& snapshot)
    : pieces_(planMix(snapshot)),
      clickTimes_(snapshot.edit.cursor.cursorClickSoundVolume > 0 ? clickSoundTimes(snapshot) : std::vector<double>{}),
      click_(synthesiseClick(kMixSampleRate, kMixChannels, snapshot.edit.cursor.cursorClickSoundVolume)),
      totalFrames_(framesAt(outputDuration(snapshot.edit.timeline.trimStart, snapshot.edit.timeline.trimEnd,
                                           snapshot.edit.timeline.speedRamps))) {}

AudioBuffer MixRenderer::render(std::size_t first, std::size_t count, std::stop_token stop) const {
    AudioBuffer mix;
    mix.sampleRate = kMixSampleRate;
    mix.channels = kMixChannels;
    first = std::min(first, totalFrames_);
    count = std::min(count, totalFrames_ - first);
    mix.samples.assign(count * kMixChannels, 0.0f);
    const std::size_t end = first + count;

    for (const auto& piece : pieces_) {
        if (stop.stop_requested()) throw std::runtime_error("The audio mix was cancelled");
        // Frame positions follow the output clock so rounding never drifts pieces apart.
        const std::size_t pieceStart = framesAt(piece.outputStart);
        const std::size_t pieceEnd = std::min(framesAt(piece.outputStart + piece.outputDuration()), totalFrames_);
        const std::size_t from = std::max(pieceStart, first);
        const std::size_t to = std::min(pieceEnd, end);
        if (from >= to) continue;
        const double offset = static_cast<double>(from - pieceStart) / kMixSampleRate * piece.speed;
        const double length = static_cast<double>(to - from) / kMixSampleRate * piece.speed;
        auto audio = readAudioRange(piece.file, piece.sourceStart + offset, length, kMixSampleRate, kMixChannels);
        if (!audio) continue;  // no audio stream: a silent input
        if (piece.speed != 1) {
            *audio = changeTempo(*audio, piece.speed, to - from);
        } else {
            audio->samples.resize((to - from) * kMixChannels, 0.0f);
        }
        // Fades are placed on the piece's own frames, so they come out the same in any window.
        const std::size_t fade = std::min(framesAt(kMuteFadeSeconds), (pieceEnd - pieceStart) / 2);
        if (fade > 0 && (piece.fadeIn || piece.fadeOut)) {
            for (std::size_t f = from; f < to; ++f) {
                double gain = 1;
                if (piece.fadeIn && f - pieceStart < fade)
                    gain = static_cast<double>(f - pieceStart) / static_cast<double>(fade);
                if (piece.fadeOut && pieceEnd - 1 - f < fade) {
                    gain = std::min(gain, static_cast<double>(pieceEnd - 1 - f) / static_cast<double>(fade));
                }
                for (std::size_t c = 0; c < kMixChannels; ++c) {
                    audio->samples[(f - from) * kMixChannels + c] *= static_cast<float>(gain);
                }
            }
        }
        addAt(mix, first, *audio, from, piece.gain);
    }
    for (double t : clickTimes_) addAt(mix, first, click_, framesAt(t), 1.0f);
    return mix;
}

AudioBuffer renderMixAudio(const SceneRenderSnapshot& snapshot, std::stop_token stop) {
    const MixRenderer renderer(snapshot);
    return renderer.render(0, renderer.totalFrames(), stop);
}

}  // namespace orvane
