#include "recording/tracks/mic_track_recorder.h"

#include <algorithm>

#include "base/log.h"
#include "base/log_areas.h"
#include "recording/tracks/aac_file_writer.h"

namespace orvane {

namespace {}  // namespace

MicTrackRecorder::MicTrackRecorder(AudioSystem& audio) : audio_(audio) {}

MicTrackRecorder::MicTrackRecorder(AudioSystem& audio, Format format, SampleTap tap)
    : audio_(audio), format_(format), tap_(std::move(tap)) {}

MicTrackRecorder::~MicTrackRecorder() { stop(); }

void MicTrackRecorder::start(const std::filesystem::path& outputPath,
                             const std::optional<std::string>& deviceUniqueID) {
    if (isRecording_) stop();
    outputPath_ = outputPath;

    // Make the chosen device the default input, remembering what it replaces. A device the server
    // does not list changes nothing.
    try {
        if (deviceUniqueID) {
            const auto sources = audio_.sources();
            const bool known = std::any_of(sources.begin(), sources.end(), [&](const AudioSourceInfo& source) {
                return !source.isMonitor && source.name == *deviceUniqueID;
            });
            if (known) {
                const auto current = audio_.defaultSourceName();
                if (current != deviceUniqueID) {
                    audio_.setDefaultSource(*deviceUniqueID);
                    savedDefaultInput_ = current;
                    log::info(log_area::kMic, "default input %s -> %s", current ? current->c_str() : "(none)",
                              deviceUniqueID->c_str());
                }
            } else {
                log::warning(log_area::kMic, "microphone %s is not connected; recording the default input",
                             deviceUniqueID->c_str());
            }
        }
    } catch (const AudioSystemError& e) {
        // The default stays as it was; the recording then uses whatever is the default.
        log::warning(log_area::kMic, "couldn't switch the default input: %s", e.what());
    }

    std::error_code ignored;
    std::filesystem::remove(outputPath, ignored);

    try {
        auto writer = std::make_unique<AacFileWriter>(outputPath, format_.sampleRate, kChannels, format_.bitRate);
        std::lock_guard lock(writerMutex_);
        writer_ = std::move(writer);
    } catch (const std::exception& e) {
        fail(e.what());
        throw MicTrackError(e.what());
    }

    AudioCaptureFormat format;
    format.sampleRate = format_.sampleRate;
    format.channels = kChannels;
    format.type = AudioSampleType::s16;
    try {
        // Record the chosen device by name when it was switched in; the server's default otherwise.
        std::optional<std::string> device;
        if (savedDefaultInput_) device = deviceUniqueID;
        stream_ = audio_.openCapture(device, format, [this](const AudioChunk& chunk) {
            const auto* samples = static_cast<const std::int16_t*>(chunk.data);
            if (tap_) tap_(samples, chunk.frames);
            std::lock_guard lock(writerMutex_);
            if (writer_) writer_->appendS16(samples, chunk.frames);
        });
    } catch (const AudioSystemError& e) {
        log::warning(log_area::kMic, "capture did not start: %s", e.what());
        {
            std::lock_guard lock(writerMutex_);
            writer_.reset();  // finishes and removes the empty file
        }
        fail("Couldn't start microphone recording");
        throw MicTrackError("Couldn't start microphone recording");
    }

    isRecording_ = true;
    lastError_.reset();
    changed.emit();
}

void MicTrackRecorder::stop() {
    if (stream_) {
        stream_->stop();  // no more callbacks after this
        stream_.reset();
    }
    std::unique_ptr<AacFileWriter> writer;
    {
        std::lock_guard lock(writerMutex_);
        writer = std::move(writer_);
    }
    if (writer) {
        const auto frames = writer->finish();
        if (!writer->error().empty()) lastError_ = writer->error();
        log::info(log_area::kMic, "stopped: %lld frames", static_cast<long long>(frames));
    }
    restoreDefaultInput();
    if (isRecording_) {
        isRecording_ = false;
        changed.emit();
    }
}

void MicTrackRecorder::fail(const std::string& message) {
    restoreDefaultInput();
    lastError_ = message;
    isRecording_ = false;
    changed.emit();
}

void MicTrackRecorder::restoreDefaultInput() {
    if (!savedDefaultInput_) return;
    const auto previous = std::exchange(savedDefaultInput_, std::nullopt);
    try {
        audio_.setDefaultSource(*previous);
        log::info(log_area::kMic, "default input restored to %s", previous->c_str());
    } catch (const AudioSystemError& e) {
        log::warning(log_area::kMic, "couldn't restore the default input %s: %s", previous->c_str(), e.what());
    }
}

}  // namespace orvane
