#pragma once

#include <vector>

#include "export/export_services.h"
#include "media/external_tools.h"

namespace orvane {

// The ways an export gets its sound, in the order they are tried:
//   1. the built-in mix of every audio input ("composition-mixed.mp4"), which honours mutes,
//      volumes and speed ramps and so is the one that matches the picture;
//   2. the same mix as an ffmpeg filter graph ("ffmpeg-mixed.mp4"), only when ffmpeg is installed;
//   3. the recording's own audio passed through for the trim window ("original-audio.mp4"), which
//      loses voice clips and music but keeps the speaker.
// After all of them the controller delivers the silent video.
std::vector<AudioStrategy> exportAudioStrategies(ToolLocator tools);

}  // namespace orvane
