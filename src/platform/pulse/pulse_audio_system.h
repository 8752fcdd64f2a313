#pragma once

#include <memory>
#include <string>

#include "platform/audio_system.h"

namespace orvane {

// The PulseAudio implementation (also served by PipeWire's pulse server). Connects at once; throws
// AudioSystemError when no server answers. `clientName` names the connection in the server.
std::unique_ptr<AudioSystem> makePulseAudioSystem(const std::string& clientName = "Orvane");

}  // namespace orvane
