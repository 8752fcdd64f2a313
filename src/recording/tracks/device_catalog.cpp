#include "recording/tracks/device_catalog.h"

namespace orvane {

std::vector<CaptureDeviceInfo> DeviceCatalog::cameras(CameraSystem& system) {
    std::vector<CaptureDeviceInfo> result;
    for (const auto& camera : system.cameras()) result.push_back({camera.uniqueID, camera.name});
    return result;
}

std::vector<CaptureDeviceInfo> DeviceCatalog::microphones(AudioSystem& audio) {
    std::vector<CaptureDeviceInfo> result;
    for (const auto& mic : coreAudioMics(audio)) result.push_back({mic.uniqueID, mic.displayName});
    return result;
}

std::vector<DeviceCatalog::CoreAudioMic> DeviceCatalog::coreAudioMics(AudioSystem& audio) {
    std::vector<CoreAudioMic> result;
    for (const auto& source : audio.sources()) {
        if (source.isMonitor || source.channels <= 0) continue;
        result.push_back({source.index, source.name, source.description.empty() ? "Unknown" : source.description});
    }
    return result;
}

}  // namespace orvane
