#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>

#include "base/signal.h"
#include "platform/audio_system.h"

namespace orvane {

class AacFileWriter;

// The microphone track could not start. The message is what the user sees.
class MicTrackError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Records a microphone to an AAC file (mic.m4a: 48 kHz, mono, 96 kb/s). While recording, the chosen
// microphone is the system's default input, so other applications and the level meter hear the
// same device; the previous default comes back on every way out: stop(), a failed start, destruction.
//
// A main-loop object: start() and stop() are called from one thread. Samples are encoded on the
// sound system's thread.
class MicTrackRecorder {
public:
    static constexpr int kSampleRate = 48000;
    static constexpr int kChannels = 1;
    static constexpr std::int64_t kBitRate = 96000;

    // The file's sample rate and bit rate; the recording track uses the defaults above, the
    // voiceover recorder its own.
    struct Format {
        int sampleRate = kSampleRate;
        std::int64_t bitRate = kBitRate;
    };
    // Sees every captured buffer (mono 16-bit) on the sound system's thread, for a level meter.
    using SampleTap = std::function<void(const std::int16_t* samples, int frames)>;

    explicit MicTrackRecorder(AudioSystem& audio);
    MicTrackRecorder(AudioSystem& audio, Format format, SampleTap tap = {});
    MicTrackRecorder(const MicTrackRecorder&) = delete;
    MicTrackRecorder& operator=(const MicTrackRecorder&) = delete;
    ~MicTrackRecorder();

    // `deviceUniqueID` is the source name from the device catalogue; nothing (or a device the sound
    // server does not list) records from the current default input. Throws MicTrackError; lastError()
    // then holds the same text.
    void start(const std::filesystem::path& outputPath, const std::optional<std::string>& deviceUniqueID);
    // Finishes the file and restores the default input. Harmless when not recording.
    void stop();

    bool isRecording() const { return isRecording_; }
    const std::optional<std::string>& lastError() const { return lastError_; }
    const std::optional<std::filesystem::path>& outputPath() const { return outputPath_; }
    // The default input that start() replaced, until stop() puts it back.
    const std::optional<std::string>& savedDefaultInput() const { return savedDefaultInput_; }

    // Emitted after isRecording or lastError changed.
    Signal<> changed;

private:
    void restoreDefaultInput();
    void fail(const std::string& message);

    AudioSystem& audio_;
    Format format_;
    SampleTap tap_;
    bool isRecording_ = false;
    std::optional<std::string> lastError_;
    std::optional<std::string> savedDefaultInput_;
    std::optional<std::filesystem::path> outputPath_;

    std::mutex writerMutex_;  // the writer is fed on the sound thread and finished on ours
    std::unique_ptr<AacFileWriter> writer_;
    std::unique_ptr<AudioCaptureStream> stream_;
};

}  // namespace orvane
