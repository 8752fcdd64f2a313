#pragma once

#include <optional>
#include <string>

#include "platform/audio_system.h"
#include "platform/camera_system.h"
#include "recording/screen_recorder.h"
#include "recording/tracks/webcam_recorder.h"

namespace orvane {

// The microphone to record: the one stored under zantDefaultMicrophoneID when the sound server lists
// it, else the default input (nothing).
std::optional<std::string> resolveMicrophone(AudioSystem& audio, const std::string& savedID);
// The camera for the face track: the one stored under zantDefaultCameraID, else the first camera the
// system lists; nothing when there is none.
std::optional<CameraDeviceInfo> resolveCamera(CameraSystem& cameras, const std::string& savedID);

// mic.m4a through MicTrackRecorder. Throws (for the recorder's "Mic capture didn't start") with the
// track's own message.
SideTrackStarter makeMicrophoneTrackStarter(AudioSystem& audio, std::optional<std::string> deviceID);

// webcam.mp4 through WebcamRecorder: the face track as the recorder sees it, with what its log and
// toasts need to say.
class FaceCameraTrack final : public SideTrackRecording {
public:
    explicit FaceCameraTrack(std::unique_ptr<WebcamRecorder> recorder, CameraDeviceInfo device)
        : recorder_(std::move(recorder)), device_(std::move(device)) {}
    void stop() override { recorder_->stop(); }
    std::string deviceDescription() const override { return device_.name + " (" + device_.path + ")"; }
    // The recorder warns "Camera was slow to start" from this.
    bool startedLate() const override { return recorder_->firstFrameProbeTimedOut(); }
    WebcamRecorder& recorder() { return *recorder_; }
    const CameraDeviceInfo& device() const { return device_; }

private:
    std::unique_ptr<WebcamRecorder> recorder_;
    CameraDeviceInfo device_;
};

// Throws WebcamError ("Camera unavailable", ...) or, when this user may not use the camera (no
// device node opens, or the chosen one refuses), SideTrackAccessDenied "Camera access is off".
// `audio` may be null; with `includeAudio` the microphone goes into the file.
SideTrackStarter makeFaceCameraTrackStarter(CameraSystem& cameras, AudioSystem* audio, CameraDeviceInfo device,
                                            bool includeAudio, std::optional<std::string> microphone,
                                            WebcamRecorderOptions options = {});

}  // namespace orvane
