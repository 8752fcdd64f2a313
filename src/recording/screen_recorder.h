#pragma once

#include <chrono>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "base/executor.h"
#include "base/signal.h"
#include "base/thread_affinity.h"
#include "base/toast_center.h"
#include "model/recording_files.h"
#include "platform/pointer_source.h"
#include "platform/screen_capture.h"
#include "recording/audio_sample_sink.h"
#include "recording/capture_geometry.h"
#include "recording/cursor_telemetry_recorder.h"
#include "recording/disk_space.h"
#include "recording/panels/face_camera_panel.h"
#include "recording/recording_options.h"
#include "recording/recording_source.h"

namespace orvane {

class RecordingLibrary;
class ScreenCaptureStream;
class ScreenMovieWriter;

// One capture in progress or just made: its folder and metadata.
struct RecordingSession {
    Uuid id;
    RecordingFolder folder;
    std::filesystem::path videoFile;  // screen.mp4, or screen.mov with alpha
    RecordingMeta meta;
};

// A side track written beside the screen movie (the microphone's mic.m4a, the face camera's
// webcam.mp4). Stopping it finishes its file.
class SideTrackRecording {
public:
    virtual ~SideTrackRecording() = default;
    virtual void stop() = 0;
    // The device recorded from, for the log ("default" when not known).
    virtual std::string deviceDescription() const { return "default"; }
    // The first frame took longer than expected, so the track may start a beat late.
    virtual bool startedLate() const { return false; }
};
// A side track that cannot start because the user has not allowed the device.
class SideTrackAccessDenied : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
// Starts a side track into `file`; throws SideTrackAccessDenied, or std::runtime_error whose message
// is shown to the user.
using SideTrackStarter = std::function<std::unique_ptr<SideTrackRecording>(const std::filesystem::path& file)>;

// What the recorder needs from the rest of the system. The references must outlive the recorder.
struct ScreenRecorderServices {
    ScreenRecorderServices(Executor& mainLoop, ToastCenter& toastCenter, ScreenCaptureSystem& screenCapture,
                           FreeSpaceSource& disk)
        : main(mainLoop), toasts(toastCenter), capture(screenCapture), freeSpace(disk) {}

    Executor& main;  // the recorder's own thread: every call, state change and timer
    ToastCenter& toasts;
    ScreenCaptureSystem& capture;
    FreeSpaceSource& freeSpace;
    // Cursor telemetry: the pointer and the sampler's own serial queue. Without them no cursor.json.
    PointerSource* pointer = nullptr;
    Executor* cursorQueue = nullptr;
    // System audio for the screen movie; empty when this system cannot capture it.
    std::function<std::unique_ptr<AudioCaptureSource>()> systemAudio;
    // Empty when the device kind is not available at all.
    SideTrackStarter microphone;
    SideTrackStarter faceCamera;
    // Where the face camera starts: opening it, its retries and its first frames take up to a few
    // seconds, which the main loop must not spend waiting. Required with `faceCamera`.
    Executor* cameraQueue = nullptr;
    // Whether a movie that keeps an alpha channel can be written at `fps` frames a second
    // (probeAlphaWriter). Empty: displays are always recorded opaque.
    std::function<bool(int fps)> alphaProbe;
    // Bounds every stop of the capture and of the face camera.
    std::chrono::milliseconds stopTimeout{4000};
    // The application's own top-level windows (its recording control, the face-camera bubble, the
    // teleprompter): a display or area recording shows what lies under them instead.
    std::vector<std::uint64_t> ownWindowIDs;
    // The face-camera bubble, when the application shows one (a main-loop object that outlives the
    // recorder). A recording with the face camera shows it; stopping measures where it sat on the
    // captured area into meta.json (facePIPNormalizedFrame, facePIPCornerRadius) and hides it.
    FaceCameraPanel* faceCameraPanel = nullptr;
};

// Turns one source into a finished recording folder: screen.mp4 (with system audio), cursor.json,
// side tracks and meta.json. A display whose windows can be recorded over transparency (see
// ScreenRecorderServices::alphaProbe) gives screen.mov instead, with only its application windows. A main-loop object: call it and observe it on `services.main`.
class ScreenRecorder {
public:
    enum class Phase { idle, starting, recording, stopping, finished, failed };
    struct State {
        Phase phase = Phase::idle;
        std::optional<RecordingSession> session;  // with `finished`
        std::string failure;                      // with `failed`
    };

    // Throws std::invalid_argument when a face camera is given without a queue to start it on.
    explicit ScreenRecorder(ScreenRecorderServices services);
    ~ScreenRecorder();
    ScreenRecorder(const ScreenRecorder&) = delete;
    ScreenRecorder& operator=(const ScreenRecorder&) = delete;

    // Begins recording `source` into `library`. Ignored unless idle. The outcome shows in state():
    // `failed` at once when too little disk is free or setup fails, otherwise `starting` and then,
    // when the first turn of the main loop finds capture running, `recording`. With the face camera,
    // capture begins once the camera has started on `services.cameraQueue`.
    void start(const RecordingSource& source, const RecordingOptions& options, RecordingLibrary& library, int fps = 60);
    // Finishes the recording (`stopping`, then `finished` and on the next turn `idle`); cancels and
    // deletes the new folder while `starting`; clears a `failed` or `finished` state.
    void stop();

    const State& state() const { return state_; }
    double elapsed() const { return elapsed_; }
    const RecordingOptions& optionsUsed() const { return optionsUsed_; }
    // The desktop rectangle the capture covers, after cropping.
    const Rect& lastSourceFrame() const { return lastSourceFrame_; }
    // Frame counts of the recording in progress, or of the last one once it finished.
    struct Statistics {
        std::uint64_t writtenFrames = 0;
        std::uint64_t missedTicks = 0;   // the capture fell behind its frame clock
        std::uint64_t encoderDrops = 0;  // the writer's queue was full
        std::uint64_t unchangedTicks = 0;  // nothing on screen changed, so no frame was needed
        std::uint64_t dropped() const { return missedTicks + encoderDrops; }
    };
    Statistics statistics() const;
    std::uint64_t droppedFrames() const { return statistics().dropped(); }

    [[nodiscard]] Subscription observeState(std::function<void(const State&)> observer) {
        return stateChanged_.subscribe(std::move(observer));
    }
    [[nodiscard]] Subscription observeElapsed(std::function<void(const double&)> observer) {
        return elapsedChanged_.subscribe(std::move(observer));
    }
    // Fired as a recording starts (the screenshot cropper closes on it).
    [[nodiscard]] Subscription observeRecordingDidStart(std::function<void()> observer) {
        return recordingDidStart_.subscribe(std::move(observer));
    }

private:
    struct Capture;
    struct PendingFaceCamera;

    ThreadAffinity affinity_;  // a main-loop object
    void setState(State state);
    void fail(const std::string& text);
    void beginCapture(const RecordingSource& source, RecordingLibrary& library, int fps);
    void startFaceCamera();
    void faceCameraStarted(std::shared_ptr<SideTrackRecording> track, std::exception_ptr error);
    void startCapture();
    void captureStarted(std::uint64_t generation);
    void streamFailed(std::uint64_t generation, const std::string& description);
    void checkDisk();
    void finishRecording();
    void cancel();
    void releaseCapture(bool finishWriter);

    ScreenRecorderServices services_;
    State state_;
    double elapsed_ = 0;
    RecordingOptions optionsUsed_;
    Rect lastSourceFrame_;
    RecordingLibrary* library_ = nullptr;
    std::unique_ptr<Capture> capture_;
    std::optional<SteadyTime> startedAt_;
    TimerHandle elapsedTimer_;
    TimerHandle diskTimer_;
    TimerHandle idleAfterFinish_;
    bool diskWarningPosted_ = false;
    bool clickMonitorWasActive_ = false;
    Statistics lastStatistics_;
    std::uint64_t generation_ = 0;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    Signal<State> stateChanged_;
    Signal<double> elapsedChanged_;
    Signal<> recordingDidStart_;
};

const char* phaseName(ScreenRecorder::Phase phase);

}  // namespace orvane
