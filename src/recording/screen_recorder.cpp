#include "recording/screen_recorder.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <thread>

#include "base/atomic_file.h"
#include "base/bounded_wait.h"
#include "base/folder_lock.h"
#include "base/log.h"
#include "base/log_areas.h"
#include "base/thread_name.h"
#include "media/media_probe.h"
#include "recording/recording_library.h"
#include "recording/screen_capture_stream.h"
#include "recording/screen_movie_writer.h"

namespace orvane {

namespace fs = std::filesystem;

namespace {

constexpr auto kElapsedInterval = std::chrono::milliseconds(100);
constexpr auto kDiskInterval = std::chrono::seconds(10);
constexpr int kCursorSampleHz = 60;

std::int64_t fileSize(const fs::path& file) {
    std::error_code error;
    const auto size = fs::file_size(file, error);
    return error ? -1 : static_cast<std::int64_t>(size);
}

}  // namespace

const char* phaseName(ScreenRecorder::Phase phase) {
    switch (phase) {
        case ScreenRecorder::Phase::idle: return "idle";
        case ScreenRecorder::Phase::starting: return "starting";
        case ScreenRecorder::Phase::recording: return "recording";
        case ScreenRecorder::Phase::stopping: return "stopping";
        case ScreenRecorder::Phase::finished: return "finished";
        case ScreenRecorder::Phase::failed: return "failed";
    }
    return "idle";
}

// Everything that belongs to one recording; released as a whole when it ends.
struct ScreenRecorder::Capture {
    std::optional<RecordingSession> session;
    // Held from the folder's creation until its meta.json is final: the library's recovery pass, in
    // this process or another, leaves a locked folder alone.
    std::optional<FolderLock> folderLock;
    CaptureGeometry geometry;
    std::shared_ptr<ScreenMovieWriter> writer;
    std::shared_ptr<ScreenCaptureStream> stream;
    std::shared_ptr<AudioCaptureSource> systemAudio;
    std::unique_ptr<CursorTelemetryRecorder> cursor;
    std::unique_ptr<SideTrackRecording> microphone;
    std::shared_ptr<SideTrackRecording> faceCamera;
    // Set while the face camera starts on its queue; the grabber waits here for the capture.
    std::shared_ptr<PendingFaceCamera> pendingFaceCamera;
    std::unique_ptr<FrameGrabber> grabber;
    int fps = 60;
};

// A face-camera start in flight on the camera queue. `cancelled` is set on the main loop when the
// recording it was for ends first; the queue then stops the camera it got instead of handing it over.
struct ScreenRecorder::PendingFaceCamera {
    std::atomic<bool> cancelled{false};
};

ScreenRecorder::ScreenRecorder(ScreenRecorderServices services) : services_(std::move(services)) {
    if (services_.faceCamera && !services_.cameraQueue) {
        throw std::invalid_argument("a face camera needs a queue to start on");
    }
}

ScreenRecorder::~ScreenRecorder() {
    *alive_ = false;
    elapsedTimer_.cancel();
    diskTimer_.cancel();
    idleAfterFinish_.cancel();
    // A recording still running when the recorder goes away keeps its file as far as it got.
    if (capture_) releaseCapture(state_.phase == Phase::recording);
}

ScreenRecorder::Statistics ScreenRecorder::statistics() const {
    if (!capture_) return lastStatistics_;
    Statistics now;
    if (capture_->writer) {
        now.writtenFrames = capture_->writer->writtenFrames();
        now.encoderDrops = capture_->writer->droppedFrames();
    }
    if (capture_->stream) {
        now.missedTicks = capture_->stream->missedTicks();
        now.unchangedTicks = capture_->stream->idleFrames();
    }
    return now;
}

void ScreenRecorder::setState(State state) {
    state_ = std::move(state);
    log::debug(log_area::kRecorder, "state %s", phaseName(state_.phase));
    stateChanged_.emit(state_);
}

void ScreenRecorder::start(const RecordingSource& source, const RecordingOptions& options, RecordingLibrary& library,
                           int fps) {
    affinity_.check();
    if (state_.phase != Phase::idle) {
        log::info(log_area::kRecorder, "start ignored while %s", phaseName(state_.phase));
        return;
    }
    const auto disk = checkDiskBeforeStart(services_.freeSpace.freeBytes());
    if (disk.refusal) {
        setState(State{Phase::failed, std::nullopt, *disk.refusal});
        services_.toasts.post(ToastLevel::error, disk.error->title, disk.error->detail);
        return;
    }
    if (disk.warning) services_.toasts.post(ToastLevel::warning, disk.warning->title, disk.warning->detail);

    setState(State{Phase::starting, std::nullopt, {}});
    recordingDidStart_.emit();
    library_ = &library;
    optionsUsed_ = options;
    diskWarningPosted_ = false;
    clickMonitorWasActive_ = false;
    lastStatistics_ = Statistics{};
    startedAt_.reset();
    ++generation_;
    capture_ = std::make_unique<Capture>();
    try {
        beginCapture(source, library, fps > 0 ? fps : 60);
    } catch (const std::exception& e) {
        log::error(log_area::kRecorder, "start failed: %s", e.what());
        fail(e.what());
    }
}

void ScreenRecorder::beginCapture(const RecordingSource& source, RecordingLibrary& library, int fps) {
    auto& capture = *capture_;
    const auto& options = optionsUsed_;

    if (options.activateSource) {
        if (const auto* window = std::get_if<WindowSource>(&source); window && window->processID) {
            services_.capture.activateWindow(window->id);
        } else if (const auto* application = std::get_if<ApplicationSource>(&source)) {
            for (auto it = application->windowIDs.rbegin(); it != application->windowIDs.rend(); ++it) {
                services_.capture.activateWindow(*it);
            }
        }
    }
    auto [folder, meta] = createRecordingFolder(library.location().recordingsRoot, services_.main.wallNow());
    capture.folderLock.emplace(folder.directory, FolderLock::Mode::exclusive);
    capture.session = RecordingSession{meta.id, folder, folder.screenVideoFile(meta), meta};
    auto& session = *capture.session;
    writeRecordingMeta(session.folder, session.meta);

    // Alpha mode: a display whose application windows can be recorded over transparency, so the
    // desktop background, panels and empty areas stay see-through. Without any such window the
    // display is recorded as usual.
    std::vector<std::uint64_t> alphaWindows;
    const auto* display = std::get_if<DisplaySource>(&source);
    if (display && services_.alphaProbe && services_.alphaProbe(fps)) {
        const auto& own = services_.ownWindowIDs;
        for (const auto& window : services_.capture.normalWindowsOn(display->frame)) {
            if (std::find(own.begin(), own.end(), window.id) == own.end()) alphaWindows.push_back(window.id);
        }
        if (alphaWindows.empty())
            log::info(log_area::kRecorder, "no application window on the display; recording it opaque");
    }
    const bool alphaMode = !alphaWindows.empty();
    session.meta.recordedWithAlpha = alphaMode;
    session.videoFile = session.folder.screenVideoFile(session.meta);

    capture.geometry = captureGeometry(source, options, alphaMode);
    const auto& geometry = capture.geometry;
    std::unique_ptr<FrameGrabber> grabber;
    const Rect region{geometry.sourceFrame.x + geometry.captureRect.x, geometry.sourceFrame.y + geometry.captureRect.y,
                      geometry.captureRect.width, geometry.captureRect.height};
    if (alphaMode) {
        grabber = services_.capture.grabWindowsOverTransparency(region, alphaWindows, options.showSystemCursor);
    } else if (const auto* window = std::get_if<WindowSource>(&source)) {
        const Rect crop{geometry.captureRect.x, geometry.captureRect.y - window->titleBarHeight,
                        geometry.captureRect.width, geometry.captureRect.height};
        grabber = services_.capture.grabWindow(window->id, crop, options.showSystemCursor);
    } else if (const auto* application = std::get_if<ApplicationSource>(&source)) {
        // Only that application's windows, composed as they stack; other applications and the
        // desktop around them stay black in the opaque movie.
        grabber =
            services_.capture.grabWindowsOverTransparency(region, application->windowIDs, options.showSystemCursor);
    } else {
        grabber = services_.capture.grabRegion(region, options.showSystemCursor, services_.ownWindowIDs);
    }

    if (options.includeSystemAudio) {
        if (!services_.systemAudio) throw std::runtime_error("System audio capture is not available on this system.");
        capture.systemAudio = services_.systemAudio();
    }

    MovieWriterSettings settings;
    settings.file = session.videoFile;
    settings.width = geometry.outputWidth;
    settings.height = geometry.outputHeight;
    settings.fps = fps;
    settings.withAudio = options.includeSystemAudio;
    settings.withAlpha = alphaMode;
    capture.writer = std::make_shared<ScreenMovieWriter>(settings);

    auto& prefill = session.meta;
    prefill.displayWidth = geometry.outputWidth;
    prefill.displayHeight = geometry.outputHeight;
    prefill.fps = fps;
    prefill.sourceKind = sourceKind(source);
    prefill.sourceTitle = sourceTitle(source);
    const auto* window = std::get_if<WindowSource>(&source);
    prefill.sourceIsSimulator = window && isDeviceSimulator(*window);
    prefill.capturedSystemCursor = options.showSystemCursor;
    prefill.recordedWithAlpha = alphaMode;
    prefill.captureSourceCrop = geometry.captureSourceCrop;
    prefill.preferredCursorVisualStyle = options.preferredCursorVisualStyle;
    prefill.preferredCursorClickAnimationStyle = options.preferredCursorClickAnimationStyle;
    prefill.preferredCursorIconSymbol = options.preferredCursorIconSymbol;
    writeRecordingMeta(session.folder, prefill);

    lastSourceFrame_ = geometry.capturedFrame;
    if (options.includeWebcam && services_.faceCameraPanel) services_.faceCameraPanel->setVisible(true);
    if (options.captureCursorTelemetry && services_.pointer && services_.cursorQueue) {
        capture.cursor = std::make_unique<CursorTelemetryRecorder>(*services_.pointer, *services_.cursorQueue,
                                                                   lastSourceFrame_, kCursorSampleHz);
    }

    capture.grabber = std::move(grabber);
    capture.fps = fps;
    if (options.includeWebcam) {
        if (services_.faceCamera) {
            startFaceCamera();
            return;
        }
        log::warning(log_area::kWebcam, "SKIPPED \xE2\x80\x94 no camera device resolved (savedID=%s)", "(none)");
        services_.toasts.post(ToastLevel::warning, "No camera found",
                              "Orvane couldn't find a camera for your face track. Check it's connected and not "
                              "held by another app, then re-record.");
    }
    startCapture();
}

void ScreenRecorder::startFaceCamera() {
    auto pending = std::make_shared<PendingFaceCamera>();
    capture_->pendingFaceCamera = pending;
    const auto generation = generation_;
    std::weak_ptr<bool> alive = alive_;
    Executor* main = &services_.main;
    Executor* cameraQueue = services_.cameraQueue;
    services_.cameraQueue->post([this, alive, main, cameraQueue, generation, pending, starter = services_.faceCamera,
                                 file = capture_->session->folder.webcamFile()] {
        std::shared_ptr<SideTrackRecording> track;
        std::exception_ptr error;
        try {
            track = starter(file);
        } catch (...) {
            error = std::current_exception();
        }
        // Stopped here, on the queue, a camera nobody wants blocks nobody; a cancelled start's folder
        // removal is queued behind this task, so the file is finished before its folder goes.
        if (pending->cancelled) {
            if (track) track->stop();
            return;
        }
        main->post([this, alive, cameraQueue, generation, pending, track, error] {
            if (alive.lock() && !pending->cancelled && generation == generation_) {
                faceCameraStarted(track, error);
            } else if (track) {
                cameraQueue->post([track] { track->stop(); });
            }
        });
    });
}

void ScreenRecorder::faceCameraStarted(std::shared_ptr<SideTrackRecording> track, std::exception_ptr error) {
    capture_->pendingFaceCamera.reset();
    try {
        if (error) std::rethrow_exception(error);
        capture_->faceCamera = std::move(track);
        const bool late = capture_->faceCamera->startedLate();
        log::info(log_area::kWebcam, "started OK device=%s probeTimedOut=%d",
                  capture_->faceCamera->deviceDescription().c_str(), late ? 1 : 0);
        if (late) {
            services_.toasts.post(ToastLevel::warning, "Camera was slow to start",
                                  "Webcam took longer than expected to deliver a frame; face track may start "
                                  "a beat after the other tracks.");
        }
    } catch (const SideTrackAccessDenied&) {
        log::warning(log_area::kWebcam, "SKIPPED \xE2\x80\x94 camera permission not granted");
        services_.toasts.post(ToastLevel::warning, "Camera access is off",
                              "Orvane can't record your face without camera permission. Grant it in System "
                              "Settings \xE2\x86\x92 Privacy & Security \xE2\x86\x92 Camera, then re-record.");
    } catch (const std::exception& e) {
        log::warning(log_area::kWebcam, "start FAILED device=%s domain=%s code=%ld desc=%s sessionErr=%s", "default", "", 0L,
                     e.what(), "");
        services_.toasts.post(ToastLevel::warning, "Face camera couldn't start",
                              std::string("Another app may be using your camera. Close apps or browser tabs "
                                          "using it (Zoom, Meet, camera previews), then re-record. (") +
                                  e.what() + ")");
    }
    try {
        startCapture();
    } catch (const std::exception& e) {
        log::error(log_area::kRecorder, "start failed: %s", e.what());
        fail(e.what());
    }
}

// The microphone, then the screen: what remains of the start once the face camera is settled.
void ScreenRecorder::startCapture() {
    auto& capture = *capture_;
    if (optionsUsed_.includeMicrophone) {
        try {
            if (!services_.microphone) throw std::runtime_error("No microphone capture is available on this system.");
            capture.microphone = services_.microphone(capture.session->folder.micFile());
        } catch (const std::exception& e) {
            log::warning(log_area::kRecorder, "microphone did not start: %s", e.what());
            services_.toasts.post(ToastLevel::warning, "Mic capture didn't start", std::string(e.what()));
        }
    }

    const auto generation = generation_;
    std::weak_ptr<bool> alive = alive_;
    Executor* main = &services_.main;
    auto writer = capture.writer;
    // Still frames twice per fragment, so a fragment closes on time however still the screen is.
    capture.stream = std::make_shared<ScreenCaptureStream>(
        std::move(capture.grabber), capture.fps, ScreenMovieWriter::kFragmentDuration / 2,
        [writer](const ScreenFrame& frame) { return writer->appendVideo(frame); },
        [this, alive, main, generation](const std::string& description) {
            main->post([this, alive, generation, description] {
                if (alive.lock()) streamFailed(generation, description);
            });
        });
    capture.stream->start();
    if (capture.systemAudio) capture.systemAudio->start(*capture.writer);

    // Capture runs from here; the recording counts as started on the main loop's next turn, which
    // is also where a stop() in between cancels it.
    main->post([this, alive, generation] {
        if (alive.lock()) captureStarted(generation);
    });
}

void ScreenRecorder::captureStarted(std::uint64_t generation) {
    if (generation != generation_ || state_.phase != Phase::starting || !capture_) return;
    if (capture_->cursor) {
        capture_->cursor->start();
        clickMonitorWasActive_ = capture_->cursor->clickMonitorActive();
    }
    startedAt_ = services_.main.now();
    elapsed_ = 0;
    setState(State{Phase::recording, std::nullopt, {}});
    log::info(log_area::kRecorder, "recording %s", capture_->session->videoFile.c_str());

    std::weak_ptr<bool> alive = alive_;
    elapsedTimer_ = services_.main.postRepeating(kElapsedInterval, kElapsedInterval, [this, alive] {
        if (!alive.lock() || !startedAt_) return;
        elapsed_ = std::chrono::duration<double>(services_.main.now() - *startedAt_).count();
        elapsedChanged_.emit(elapsed_);
    });
    diskTimer_ = services_.main.postRepeating(kDiskInterval, kDiskInterval, [this, alive] {
        if (alive.lock()) checkDisk();
    });
}

void ScreenRecorder::streamFailed(std::uint64_t generation, const std::string& description) {
    if (generation != generation_) return;
    if (state_.phase != Phase::starting && state_.phase != Phase::recording) return;
    log::error(log_area::kRecorder, "capture stopped with an error: %s", description.c_str());
    fail(description);
}

void ScreenRecorder::checkDisk() {
    if (state_.phase != Phase::recording) return;
    const auto check = checkDiskWhileRecording(services_.freeSpace.freeBytes(), diskWarningPosted_);
    if (check.stop) {
        services_.toasts.post(ToastLevel::error, check.error->title, check.error->detail);
        stop();
    } else if (check.warning) {
        diskWarningPosted_ = true;
        services_.toasts.post(ToastLevel::warning, check.warning->title, check.warning->detail);
    }
}

void ScreenRecorder::fail(const std::string& text) {
    elapsedTimer_.cancel();
    diskTimer_.cancel();
    // Once the movie is open the folder stays: the library's recovery pass keeps what plays and sets
    // aside what does not. Before, it holds only the meta.json written at the start, which would be
    // listed as an empty recording; nothing was recorded into it yet, so it goes.
    std::optional<fs::path> unused;
    if (capture_ && capture_->session && !capture_->writer) unused = capture_->session->folder.directory;
    releaseCapture(false);
    if (unused) {
        std::error_code error;
        fs::remove_all(*unused, error);
        if (error) log::warning(log_area::kRecorder, "could not remove %s: %s", unused->c_str(), error.message().c_str());
    }
    setState(State{Phase::failed, std::nullopt, text});
}

void ScreenRecorder::stop() {
    affinity_.check();
    switch (state_.phase) {
        case Phase::stopping: return;
        case Phase::recording: finishRecording(); return;
        default: cancel(); return;
    }
}

void ScreenRecorder::cancel() {
    elapsedTimer_.cancel();
    diskTimer_.cancel();
    idleAfterFinish_.cancel();
    std::optional<fs::path> folder;
    std::shared_ptr<FolderLock> lock;
    bool cameraStarting = false;
    if (capture_ && capture_->session) {
        folder = capture_->session->folder.directory;
        if (capture_->folderLock) lock = std::make_shared<FolderLock>(std::move(*capture_->folderLock));
        capture_->folderLock.reset();
        cameraStarting = capture_->pendingFaceCamera != nullptr;
    }
    releaseCapture(false);
    if (folder) {
        auto remove = [folder = *folder, lock] {
            std::error_code error;
            fs::remove_all(folder, error);
            log::info(log_area::kRecorder, "cancelled; removed %s", folder.c_str());
        };
        // A camera still starting may yet create webcam.mp4 in the folder; its queue removes the
        // folder after that start is done with it (the lock keeps the recovery pass away until then).
        if (cameraStarting) {
            services_.cameraQueue->post(remove);
        } else {
            remove();
        }
    }
    if (state_.phase != Phase::idle) setState(State{});
}

void ScreenRecorder::releaseCapture(bool finishWriter) {
    if (!capture_) return;
    auto capture = std::move(capture_);
    if (capture->pendingFaceCamera) capture->pendingFaceCamera->cancelled = true;
    const auto timeout = services_.stopTimeout;
    if (capture->stream) {
        auto stream = capture->stream;
        auto audio = capture->systemAudio;
        runBounded<bool>(timeout, [stream, audio] {
            stream->stop();
            if (audio) audio->stop();
            return true;
        });
    }
    if (capture->microphone) capture->microphone->stop();
    if (capture->faceCamera) {
        auto camera = capture->faceCamera;
        runBounded<bool>(timeout, [camera] {
            camera->stop();
            return true;
        });
    }
    if (capture->writer) {
        if (finishWriter) {
            try {
                capture->writer->finish();
            } catch (const std::exception& e) {
                log::error(log_area::kRecorder, "could not finish the movie: %s", e.what());
            }
        } else {
            capture->writer->abandon();
        }
    }
    capture->cursor.reset();
}

void ScreenRecorder::finishRecording() {
    auto& capture = *capture_;
    auto& session = *capture.session;
    setState(State{Phase::stopping, std::nullopt, {}});
    elapsedTimer_.cancel();
    diskTimer_.cancel();
    diskWarningPosted_ = false;

    // The renderer draws the face camera where the viewer saw the bubble, so its place is taken
    // while it is still where the recording ended.
    if (auto* panel = services_.faceCameraPanel; panel && panel->isVisible()) {
        if (lastSourceFrame_.width > 0 && lastSourceFrame_.height > 0) {
            session.meta.facePIPNormalizedFrame = faceCameraNormalizedFrame(panel->screenFrame(), lastSourceFrame_);
            if (session.meta.facePIPNormalizedFrame) session.meta.facePIPCornerRadius = panel->effectiveCornerRadius();
        }
        panel->setVisible(false);
    }

    // The writer's clock is the monotonic one its frames are stamped with.
    capture.writer->finishInputs(std::chrono::steady_clock::now());
    if (capture.microphone) capture.microphone->stop();
    capture.microphone.reset();

    // The capture and the face camera stop side by side, each given at most the timeout, so a hung
    // device cannot keep the recorder in `stopping`.
    const auto timeout = services_.stopTimeout;
    bool streamStopped = true, cameraStopped = true;
    std::thread streamStopper([&, stream = capture.stream, audio = capture.systemAudio] {
        setCurrentThreadName("orvane.stopper");
        streamStopped = runBounded<bool>(timeout, [stream, audio] {
                            if (audio) audio->stop();
                            stream->stop();
                            return true;
                        }).has_value();
    });
    if (capture.faceCamera) {
        auto camera = capture.faceCamera;
        cameraStopped = runBounded<bool>(timeout, [camera] {
                            camera->stop();
                            return true;
                        }).has_value();
    }
    streamStopper.join();
    if (!streamStopped)
        log::warning(log_area::kRecorder, "capture did not stop within %lld ms",
                     static_cast<long long>(timeout.count()));
    if (!cameraStopped)
        log::warning(log_area::kWebcam, "face camera did not stop within %lld ms",
                     static_cast<long long>(timeout.count()));
    const auto missed = capture.stream->missedTicks();
    const auto unchanged = capture.stream->idleFrames();
    capture.stream.reset();
    capture.systemAudio.reset();
    capture.faceCamera.reset();

    try {
        capture.writer->finish();
    } catch (const std::exception& e) {
        log::error(log_area::kRecorder, "could not finish the movie: %s", e.what());
    }
    lastStatistics_ = Statistics{capture.writer->writtenFrames(), missed, capture.writer->droppedFrames(), unchanged};
    capture.writer.reset();

    auto& meta = session.meta;
    meta.hasCursor = false;
    if (capture.cursor) {
        const auto telemetry = capture.cursor->stop();
        capture.cursor.reset();
        try {
            writeFileAtomically(session.folder.cursorFile(), encodeCursorTelemetry(telemetry));
            meta.hasCursor = true;
        } catch (const std::exception& e) {
            log::error(log_area::kRecorder, "could not write cursor.json: %s", e.what());
        }
    }

    if (const auto seconds = playableDuration(session.videoFile)) {
        meta.durationMs = static_cast<std::int64_t>(*seconds * 1000.0);
    } else if (startedAt_) {
        meta.durationMs = static_cast<std::int64_t>(
            std::chrono::duration<double, std::milli>(services_.main.now() - *startedAt_).count());
    }

    if (optionsUsed_.includeWebcam) {
        const auto size = fileSize(session.folder.webcamFile());
        meta.hasWebcam = size > 0;
        if (!meta.hasWebcam) {
            log::warning(log_area::kWebcam, "at stop: fileExists=%d sizeBytes=%ld hasWebcam=%d", size >= 0 ? 1 : 0,
                         static_cast<long>(std::max<std::int64_t>(size, 0)), 0);
            services_.toasts.post(ToastLevel::warning, "Face camera didn't save",
                                  "The webcam track came back empty \xE2\x80\x94 likely another app was using your "
                                  "camera. Recording continues without it.");
        }
    }
    if (optionsUsed_.includeMicrophone) {
        meta.hasMicrophone = fileSize(session.folder.micFile()) > 0;
        if (!meta.hasMicrophone) {
            services_.toasts.post(ToastLevel::warning, "Microphone didn't save",
                                  "Voice track came back empty \xE2\x80\x94 recording continues without it.");
        }
    }
    meta.hasSystemAudio = optionsUsed_.includeSystemAudio;
    meta.clickCaptureActive = clickMonitorWasActive_;

    try {
        writeRecordingMeta(session.folder, meta);
    } catch (const std::exception& e) {
        capture_.reset();
        startedAt_.reset();
        setState(State{Phase::failed, std::nullopt, std::string("save meta: ") + e.what()});
        return;
    }
    log::info(log_area::kRecorder,
              "finished %s: %lld ms, %llu frames, %llu dropped (%llu missed by the capture, %llu at the encoder)",
              session.id.string().c_str(), static_cast<long long>(meta.durationMs),
              static_cast<unsigned long long>(lastStatistics_.writtenFrames),
              static_cast<unsigned long long>(lastStatistics_.dropped()),
              static_cast<unsigned long long>(lastStatistics_.missedTicks),
              static_cast<unsigned long long>(lastStatistics_.encoderDrops));

    RecordingSession finished = session;
    capture_.reset();
    startedAt_.reset();
    if (library_) library_->reload();
    setState(State{Phase::finished, std::move(finished), {}});

    // `finished` is seen once; the next turn of the main loop makes room for the next recording.
    std::weak_ptr<bool> alive = alive_;
    idleAfterFinish_ = services_.main.postAfter(Duration::zero(), [this, alive] {
        if (alive.lock() && state_.phase == Phase::finished) setState(State{});
    });
}

}  // namespace orvane
