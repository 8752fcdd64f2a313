#pragma once

#include <cstddef>
#include <stop_token>
#include <vector>

#include "audio/audio_buffer.h"
#include "audio/mix_plan.h"

namespace orvane {

struct SceneRenderSnapshot;

// The mix's format: 48 kHz stereo.
inline constexpr int kMixSampleRate = 48000;
inline constexpr int kMixChannels = 2;

// The export's sound as 48 kHz stereo float, rendered window by window so a long export never
// holds more than one window and the pieces read for it. Every piece of planMix() is decoded,
// resampled, tempo-changed where a speed ramp plays it faster or slower (pitch kept, see
// tempo_change.h), faded over 5 ms where it meets a mute region (inside the audible side, so the
// mute itself stays silent), scaled by its gain and summed without normalisation. Click sounds go
// on top at clickSoundTimes() and `cursorClickSoundVolume` (see click_sound.h). An input without an
// audio stream adds nothing; one that cannot be read throws AudioReadError. A ramped piece that
// spans a window edge is tempo-changed per window, which is inaudible at the window sizes used.
class MixRenderer {
public:
    explicit MixRenderer(const SceneRenderSnapshot& snapshot);

    // Frames in the whole mix: the output duration of the edit.
    std::size_t totalFrames() const { return totalFrames_; }

    // Frames [first, first + count) of the mix (clamped to the end). Throws std::runtime_error when
    // stop is requested.
    AudioBuffer render(std::size_t first, std::size_t count, std::stop_token stop = {}) const;

private:
    std::vector<MixPiece> pieces_;
    std::vector<double> clickTimes_;
    AudioBuffer click_;
    std::size_t totalFrames_ = 0;
};

// The whole mix at once (tests and short edits).
AudioBuffer renderMixAudio(const SceneRenderSnapshot& snapshot, std::stop_token stop = {});

}  // namespace orvane
