#pragma once

// Records the user's own voice for a voiceover: the chosen microphone (made the default input for
// the duration) to <temp>/zant_voice_<UUID>.m4a, AAC at 44.1 kHz, with a level meter.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "base/executor.h"
#include "base/signal.h"

namespace orvane {

class AudioSystem;
class MicTrackRecorder;

class VoiceRecorder {
public:
    static constexpr int kSampleRate = 44100;
    // "High" encoder quality for mono speech.
    static constexpr std::int64_t kBitRate = 128000;
    static constexpr Duration kLevelInterval = std::chrono::milliseconds(100);

    // The meter's reading for an average power in decibels (full scale 0 dB): -60 dB and below is
    // 0, 0 dB is 1.
    static float levelForPower(double decibels);

    // A main-loop object on `main`; the level timer runs there too.
    VoiceRecorder(AudioSystem& audio, Executor& main, std::filesystem::path temporaryFolder);
    ~VoiceRecorder();
    VoiceRecorder(const VoiceRecorder&) = delete;
    VoiceRecorder& operator=(const VoiceRecorder&) = delete;

    // `microphoneID` is the preference's device (empty or nothing: the default input). A failure
    // sets errorMessage and answers false.
    bool start(const std::optional<std::string>& microphoneID);
    // Finishes the file and restores the default input. Answers the file when it holds audio.
    std::optional<std::filesystem::path> stop();

    bool isRecording() const { return isRecording_; }
    float level() const { return level_; }
    const std::optional<std::string>& errorMessage() const { return errorMessage_; }
    const std::optional<std::filesystem::path>& recordingURL() const { return recordingURL_; }

    Signal<> changed;

private:
    void publishLevel();

    AudioSystem& audio_;
    Executor& main_;
    std::filesystem::path temporaryFolder_;
    bool isRecording_ = false;
    float level_ = 0;
    std::optional<std::string> errorMessage_;
    std::optional<std::filesystem::path> recordingURL_;
    TimerHandle levelTimer_;

    // Filled on the sound thread, read and reset by the level timer.
    std::mutex powerMutex_;
    double sumOfSquares_ = 0;
    std::int64_t sampleCount_ = 0;

    std::unique_ptr<MicTrackRecorder> recorder_;
};

}  // namespace orvane
