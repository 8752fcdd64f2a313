#pragma once

#include <stop_token>

#include "render/audio/audio_buffer.h"

namespace orvane {

struct SceneRenderSnapshot;

// The mix's format: 48 kHz stereo.
inline constexpr int kMixSampleRate = 48000;
inline constexpr int kMixChannels = 2;

// The export's sound as 48 kHz stereo float for exactly the output duration: every piece of
// planMix() decoded, resampled, tempo-changed where a speed ramp plays it faster or slower (pitch
// kept, see tempo_change.h), faded over 5 ms where it meets a mute region (inside the audible
// side, so the mute itself stays silent), scaled by its gain and summed without normalisation.
// Click sounds go on top at clickSoundTimes() and `cursorClickSoundVolume` (see click_sound.h).
// An input without an audio stream adds nothing; one that cannot be read throws AudioReadError.
// Throws std::runtime_error when stop is requested.
AudioBuffer renderMixAudio(const SceneRenderSnapshot& snapshot, std::stop_token stop = {});

}  // namespace orvane
