#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/audio_system.h"
#include "platform/camera_system.h"

namespace orvane {

// A capture device the user can pick (camera or microphone).
struct CaptureDeviceInfo {
    std::string uniqueID;  // what zantDefaultCameraID / zantDefaultMicrophoneID store
    std::string localizedName;
};

// Queries over the machine's devices; no state of its own.
struct DeviceCatalog {
    // An audio input as the sound server knows it. `uniqueID` equals the capture device's.
    struct CoreAudioMic {
        std::uint32_t coreAudioID = 0;
        std::string uniqueID;
        std::string displayName;  // "Unknown" when the server gives no name
    };

    static std::vector<CaptureDeviceInfo> cameras(CameraSystem& system);
    // Inputs a person speaks into: every source with channels that is not an output's monitor.
    static std::vector<CaptureDeviceInfo> microphones(AudioSystem& audio);
    static std::vector<CoreAudioMic> coreAudioMics(AudioSystem& audio);
};

}  // namespace orvane
