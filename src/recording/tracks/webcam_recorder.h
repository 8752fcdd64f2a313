#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>

#include "base/signal.h"
#include "platform/audio_system.h"
#include "platform/camera_system.h"

namespace orvane {

class WebcamFileWriter;

// A face-camera failure with the domain and code the recorder logs and shows.
class WebcamError : public std::runtime_error {
public:
    static constexpr const char* kDomain = "Zant.Webcam";
    enum Code { cannotAddInput = 1, cannotAddOutput = 2, cameraUnavailable = 3 };

    WebcamError(Code code, const std::string& description) : std::runtime_error(description), code_(code) {}
    Code code() const { return code_; }
    const char* domain() const { return kDomain; }

private:
    Code code_;
};

// This user may not open the camera device. Not a WebcamError: the recorder tells the user to turn
// camera access on rather than to close other camera apps.
class WebcamAccessDenied : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Opens `device`, retrying while another program holds it: up to 4 attempts, waiting 400 ms times
// the attempt number after each failure. Throws WebcamError "Camera unavailable" when all fail, and
// WebcamAccessDenied at once when the system refuses this user the device.
std::unique_ptr<CameraDevice> openCameraWithRetries(CameraSystem& cameras, const CameraDeviceInfo& device,
                                                    const std::function<void(std::chrono::milliseconds)>& sleep);

struct WebcamRecorderOptions {
    // How retries wait; tests record the waits instead of sleeping.
    std::function<void(std::chrono::milliseconds)> sleep;
    std::chrono::duration<double> firstFrameTimeout = std::chrono::seconds(2);
    int framesNeeded = 3;
    // The live picture for the face-camera bubble while this recorder holds the camera (see setPreview).
    std::function<void(const CameraFrame&)> preview;
};

// Records the face camera to webcam.mp4 (H.264, plus the microphone when asked). start() and stop()
// block and belong on a worker thread: the recorder calls them off its main loop.
class WebcamRecorder {
public:
    using Options = WebcamRecorderOptions;

    // `audio` may be null when no sound server is available; includeAudio then records video only.
    WebcamRecorder(CameraSystem& cameras, AudioSystem* audio, Options options = {});
    WebcamRecorder(const WebcamRecorder&) = delete;
    WebcamRecorder& operator=(const WebcamRecorder&) = delete;
    ~WebcamRecorder();

    // Whether the user may use cameras at all.
    bool requestAccess();

    // Opens the camera (with retries), waits for its first frames, then writes `outputPath`. With
    // `includeAudio` the microphone (`microphone`, else the default input) goes into the same file.
    // Throws WebcamError or WebcamAccessDenied; the recorder is then idle.
    void start(const CameraDeviceInfo& device, const std::filesystem::path& outputPath, bool includeAudio,
               const std::optional<std::string>& microphone);
    // Stops writing, finishes the file and closes the camera. Harmless when not running.
    void stop();

    bool isRunning() const { return isRunning_; }
    bool firstFrameProbeTimedOut() const { return firstFrameProbeTimedOut_; }
    std::optional<std::string> lastError() const;
    const std::optional<std::filesystem::path>& outputPath() const { return outputPath_; }

    // The live picture for the face-camera panel, called on the camera's thread for every frame while
    // the camera is open. Pass nothing to stop previewing.
    void setPreview(std::function<void(const CameraFrame&)> preview);

    // Emitted on the thread that called start() or stop() after isRunning changed. A runtime error
    // of the camera sets lastError() on the camera's thread without a notification.
    Signal<> changed;

private:
    void setLastError(const std::string& message);
    void closeEverything();

    CameraSystem& cameras_;
    AudioSystem* audio_;
    Options options_;
    std::unique_ptr<CameraDevice> camera_;
    std::unique_ptr<AudioCaptureStream> microphone_;
    std::optional<std::filesystem::path> outputPath_;
    bool isRunning_ = false;
    bool isStopping_ = false;
    bool firstFrameProbeTimedOut_ = false;

    mutable std::mutex mutex_;  // what the camera thread touches: writer, preview, lastError
    std::shared_ptr<WebcamFileWriter> writer_;
    std::function<void(const CameraFrame&)> preview_;
    std::optional<std::string> lastError_;
};

}  // namespace orvane
