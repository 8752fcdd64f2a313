#include "recording/tracks/side_track_starters.h"

#include <algorithm>

#include "base/log.h"
#include "base/log_areas.h"
#include "recording/tracks/mic_track_recorder.h"

namespace orvane {

namespace {

class MicrophoneTrack final : public SideTrackRecording {
public:
    explicit MicrophoneTrack(std::unique_ptr<MicTrackRecorder> recorder) : recorder_(std::move(recorder)) {}
    void stop() override { recorder_->stop(); }

private:
    std::unique_ptr<MicTrackRecorder> recorder_;
};

}  // namespace

std::optional<std::string> resolveMicrophone(AudioSystem& audio, const std::string& savedID) {
    if (savedID.empty()) return std::nullopt;
    try {
        const auto sources = audio.sources();
        const bool present = std::any_of(sources.begin(), sources.end(), [&](const AudioSourceInfo& source) {
            return !source.isMonitor && source.name == savedID;
        });
        if (present) return savedID;
    } catch (const AudioSystemError& e) {
        log::warning(log_area::kMic, "couldn't list inputs: %s", e.what());
    }
    return std::nullopt;
}

std::optional<CameraDeviceInfo> resolveCamera(CameraSystem& cameras, const std::string& savedID) {
    const auto all = cameras.cameras();
    if (!savedID.empty()) {
        for (const auto& camera : all) {
            if (camera.uniqueID == savedID) return camera;
        }
    }
    if (all.empty()) return std::nullopt;
    return all.front();
}

SideTrackStarter makeMicrophoneTrackStarter(AudioSystem& audio, std::optional<std::string> deviceID) {
    return [&audio, deviceID](const std::filesystem::path& file) -> std::unique_ptr<SideTrackRecording> {
        auto recorder = std::make_unique<MicTrackRecorder>(audio);
        recorder->start(file, deviceID);
        return std::make_unique<MicrophoneTrack>(std::move(recorder));
    };
}

SideTrackStarter makeFaceCameraTrackStarter(CameraSystem& cameras, AudioSystem* audio, CameraDeviceInfo device,
                                            bool includeAudio, std::optional<std::string> microphone,
                                            WebcamRecorderOptions options) {
    return [&cameras, audio, device, includeAudio, microphone,
            options](const std::filesystem::path& file) -> std::unique_ptr<SideTrackRecording> {
        auto recorder = std::make_unique<WebcamRecorder>(cameras, audio, options);
        if (!recorder->requestAccess()) throw SideTrackAccessDenied("Camera access is off");
        try {
            recorder->start(device, file, includeAudio, microphone);
        } catch (const WebcamAccessDenied& e) {
            throw SideTrackAccessDenied(e.what());
        }
        return std::make_unique<FaceCameraTrack>(std::move(recorder), device);
    };
}

}  // namespace orvane
