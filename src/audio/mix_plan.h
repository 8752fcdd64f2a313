#pragma once

#include <filesystem>
#include <span>
#include <vector>

#include "model/speed_ramp.h"

namespace orvane {

struct SceneRenderSnapshot;

// Where a stretch of mixed audio comes from.
enum class MixSourceKind { recording, voiceClip, videoOverlay, aiVoiceover, backgroundMusic };

// One stretch of one input file, placed on the output timeline. Inputs on the composition clock
// (the recording's clips, voice clips, video overlays) are cut at the trim window, at mute regions
// (the recording only: muted stretches are left out) and at speed-ramp edges, so each piece plays at
// one speed. The generated voiceover and the background music start with the output and play at
// normal speed for its whole length (music is not looped).
struct MixPiece {
    MixSourceKind kind = MixSourceKind::recording;
    std::filesystem::path file;
    double sourceStart = 0;     // seconds into the file
    double sourceDuration = 0;  // seconds of the file this piece reads
    double speed = 1;           // the ramp's speed (floored at 0.1); the piece lasts sourceDuration / speed
    double outputStart = 0;     // seconds on the output timeline
    float gain = 1;
    // The piece borders a mute region on that side; the mix fades there to avoid a click.
    bool fadeIn = false;
    bool fadeOut = false;

    double outputDuration() const { return sourceDuration / speed; }
    bool operator==(const MixPiece&) const = default;
};

// The inverse of the frame path's map: the output time at which composition time `c` is shown
// (ramp positions measured from trimStart, as compositionTimeForOutputTime does).
double outputTimeForCompositionTime(double compositionTime, double trimStart, std::span<const SpeedRamp> ramps);

// Every piece of the export's mix, in input order: recording clips in clip order, voice clips,
// video overlays, then the voiceover and the music. Pieces shorter than a millisecond are dropped.
std::vector<MixPiece> planMix(const SceneRenderSnapshot& snapshot);

// Output times of the clicks that get a click sound: enabled annotations inside the trim window
// whose own setting, or else the project's `cursorClickSounds`, asks for one.
std::vector<double> clickSoundTimes(const SceneRenderSnapshot& snapshot);

// Whether the export has any sound to mix: a click sound, or a piece whose file holds an audio
// stream. A file that cannot be probed counts as sounding, so the mix gets to report it.
bool mixHasSound(const SceneRenderSnapshot& snapshot);

}  // namespace orvane
