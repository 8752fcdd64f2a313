#pragma once

#include <memory>
#include <string>

#include "platform/audio_output.h"

namespace orvane {

// Playback through PulseAudio (or PipeWire's pulse server). Connects at once; throws
// AudioSystemError when no server answers.
std::unique_ptr<AudioOutput> makePulseAudioOutput(const std::string& clientName = "Orvane");

}  // namespace orvane
