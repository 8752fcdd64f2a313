#include "recording/tracks/webcam_recorder.h"

#include <thread>

#include "base/log.h"
#include "base/log_areas.h"
#include "recording/tracks/first_frame_probe.h"
#include "recording/tracks/webcam_file_writer.h"

namespace orvane {

namespace {

constexpr int kOpenAttempts = 4;

void realSleep(std::chrono::milliseconds duration) { std::this_thread::sleep_for(duration); }

}  // namespace

std::unique_ptr<CameraDevice> openCameraWithRetries(CameraSystem& cameras, const CameraDeviceInfo& device,
                                                    const std::function<void(std::chrono::milliseconds)>& sleep) {
    for (int attempt = 1; attempt <= kOpenAttempts; ++attempt) {
        try {
            return cameras.open(device);
        } catch (const CameraOpenError& e) {
            if (e.denied()) {
                log::warning(log_area::kWebcam, "camera open refused: %s", e.what());
                throw WebcamAccessDenied("Camera access is off");
            }
            log::warning(log_area::kWebcam, "camera open busy (attempt %d/%d): %s", attempt, kOpenAttempts, e.what());
            // A camera just released by another program often needs a moment before it opens again.
            if (attempt < kOpenAttempts) sleep(std::chrono::milliseconds(400 * attempt));
        }
    }
    throw WebcamError(WebcamError::cameraUnavailable, "Camera unavailable");
}

WebcamRecorder::WebcamRecorder(CameraSystem& cameras, AudioSystem* audio, Options options)
    : cameras_(cameras), audio_(audio), options_(std::move(options)) {
    if (!options_.sleep) options_.sleep = realSleep;
    preview_ = options_.preview;
}

WebcamRecorder::~WebcamRecorder() { stop(); }

bool WebcamRecorder::requestAccess() { return cameras_.accessAuthorized(); }

void WebcamRecorder::start(const CameraDeviceInfo& device, const std::filesystem::path& outputPath, bool includeAudio,
                           const std::optional<std::string>& microphone) {
    stop();
    firstFrameProbeTimedOut_ = false;
    outputPath_ = outputPath;
    {
        std::lock_guard guard(mutex_);
        lastError_.reset();
    }

    camera_ = openCameraWithRetries(cameras_, device, options_.sleep);

    // Both encoders must accept this camera before anything is captured; a refusal is an output
    // that cannot be added.
    std::shared_ptr<WebcamFileWriter> writer;
    const bool withAudio = includeAudio && audio_ != nullptr;
    std::error_code ignored;
    std::filesystem::remove(outputPath, ignored);
    try {
        writer = std::make_shared<WebcamFileWriter>(outputPath, camera_->width(), camera_->height(),
                                                    camera_->frameRate(), withAudio);
    } catch (const std::exception& e) {
        log::warning(log_area::kWebcam, "webcam output refused: %s", e.what());
        closeEverything();
        throw WebcamError(WebcamError::cannotAddOutput, "Cannot add webcam output");
    }

    // The microphone opens first: the sound server can take a moment, and what it delivers before
    // the movie's first frame is trimmed by the writer anyway.
    if (withAudio) {
        AudioCaptureFormat format;
        format.sampleRate = WebcamFileWriter::kAudioSampleRate;
        format.channels = 1;
        format.type = AudioSampleType::f32;
        try {
            std::weak_ptr<WebcamFileWriter> weakWriter = writer;
            microphone_ = audio_->openCapture(microphone, format, [weakWriter](const AudioChunk& chunk) {
                if (auto target = weakWriter.lock()) {
                    target->appendAudio(
                        static_cast<const float*>(chunk.data), chunk.frames,
                        std::chrono::steady_clock::time_point(std::chrono::microseconds(chunk.ptsMicros)));
                }
            });
        } catch (const AudioSystemError& e) {
            // The face track is still worth having without the voice.
            log::warning(log_area::kWebcam, "microphone for the face track unavailable: %s", e.what());
        }
    }

    auto probe = std::make_shared<FirstFrameProbe>(options_.framesNeeded);
    try {
        camera_->startStreaming(
            [this, probe](const CameraFrame& frame) {
                probe->frameArrived();
                std::shared_ptr<WebcamFileWriter> target;
                std::function<void(const CameraFrame&)> preview;
                {
                    std::lock_guard guard(mutex_);
                    target = writer_;
                    preview = preview_;
                }
                if (preview) preview(frame);
                if (target) target->appendFrame(frame);
            },
            [this](const std::string& description) {
                setLastError("Webcam session error: " + (description.empty() ? std::string("unknown") : description));
            });
    } catch (const CameraOpenError& e) {
        log::warning(log_area::kWebcam, "webcam streaming refused: %s", e.what());
        closeEverything();
        std::filesystem::remove(outputPath, ignored);
        throw WebcamError(WebcamError::cannotAddInput, "Cannot add webcam input");
    }

    if (!probe->wait(options_.firstFrameTimeout)) {
        firstFrameProbeTimedOut_ = true;
        log::warning(log_area::kWebcam, "no frame within %.1f s (saw %d); recording anyway",
                     options_.firstFrameTimeout.count(), probe->framesSeen());
    }

    {
        std::lock_guard guard(mutex_);
        writer_ = writer;
    }
    isRunning_ = true;
    changed.emit();
}

void WebcamRecorder::stop() {
    if (!camera_ && !isRunning_) return;
    isStopping_ = true;
    closeEverything();
    isStopping_ = false;
    if (isRunning_) {
        isRunning_ = false;
        changed.emit();
    }
}

void WebcamRecorder::closeEverything() {
    if (microphone_) {
        microphone_->stop();
        microphone_.reset();
    }
    if (camera_) camera_->stopStreaming();
    std::shared_ptr<WebcamFileWriter> writer;
    {
        std::lock_guard guard(mutex_);
        writer = std::move(writer_);
    }
    if (writer) {
        const auto frames = writer->finish();
        if (!writer->error().empty()) setLastError(writer->error());
        log::info(log_area::kWebcam, "stopped: %lld frames", static_cast<long long>(frames));
    }
    camera_.reset();
}

std::optional<std::string> WebcamRecorder::lastError() const {
    std::lock_guard guard(mutex_);
    return lastError_;
}

void WebcamRecorder::setLastError(const std::string& message) {
    {
        std::lock_guard guard(mutex_);
        lastError_ = message;
    }
    log::warning(log_area::kWebcam, "%s", message.c_str());
}

void WebcamRecorder::setPreview(std::function<void(const CameraFrame&)> preview) {
    std::lock_guard guard(mutex_);
    preview_ = std::move(preview);
}

}  // namespace orvane
