#include "speech/voice_recorder.h"

#include <algorithm>
#include <cmath>
#include <system_error>

#include "base/log.h"
#include "base/log_areas.h"
#include "base/uuid.h"
#include "recording/tracks/mic_track_recorder.h"

namespace orvane {

namespace fs = std::filesystem;

float VoiceRecorder::levelForPower(double decibels) {
    if (!std::isfinite(decibels)) return decibels > 0 ? 1.0f : 0.0f;
    return static_cast<float>(std::clamp((decibels + 60.0) / 60.0, 0.0, 1.0));
}

VoiceRecorder::VoiceRecorder(AudioSystem& audio, Executor& main, fs::path temporaryFolder)
    : audio_(audio), main_(main), temporaryFolder_(std::move(temporaryFolder)) {}

VoiceRecorder::~VoiceRecorder() {
    levelTimer_.cancel();
    if (recorder_) recorder_->stop();
}

bool VoiceRecorder::start(const std::optional<std::string>& microphoneID) {
    if (isRecording_) return true;
    {
        std::lock_guard lock(powerMutex_);
        sumOfSquares_ = 0;
        sampleCount_ = 0;
    }
    auto tap = [this](const std::int16_t* samples, int frames) {
        double sum = 0;
        for (int i = 0; i < frames; ++i) {
            const double value = samples[i] / 32768.0;
            sum += value * value;
        }
        std::lock_guard lock(powerMutex_);
        sumOfSquares_ += sum;
        sampleCount_ += frames;
    };
    recorder_ = std::make_unique<MicTrackRecorder>(audio_, MicTrackRecorder::Format{kSampleRate, kBitRate}, tap);
    const auto file = temporaryFolder_ / ("zant_voice_" + Uuid::random().string() + ".m4a");
    std::optional<std::string> device;
    if (microphoneID && !microphoneID->empty()) device = microphoneID;
    try {
        recorder_->start(file, device);
    } catch (const std::exception& e) {
        recorder_.reset();
        errorMessage_ = e.what();
        log::warning(log_area::kVoice, "voice recording did not start: %s", e.what());
        changed.emit();
        return false;
    }
    recordingURL_ = file;
    errorMessage_.reset();
    isRecording_ = true;
    level_ = 0;
    levelTimer_ = main_.postRepeating(kLevelInterval, kLevelInterval, [this] { publishLevel(); });
    changed.emit();
    return true;
}

void VoiceRecorder::publishLevel() {
    double sum = 0;
    std::int64_t count = 0;
    {
        std::lock_guard lock(powerMutex_);
        sum = std::exchange(sumOfSquares_, 0.0);
        count = std::exchange(sampleCount_, 0);
    }
    // No buffer arrived since the last tick: the meter holds its reading.
    if (count == 0) return;
    const double power = sum > 0 ? 10.0 * std::log10(sum / static_cast<double>(count)) : -160.0;
    const float level = levelForPower(power);
    if (level == level_) return;
    level_ = level;
    changed.emit();
}

std::optional<fs::path> VoiceRecorder::stop() {
    levelTimer_.cancel();
    if (!recorder_) return std::nullopt;
    recorder_->stop();
    if (recorder_->lastError()) errorMessage_ = recorder_->lastError();
    recorder_.reset();
    isRecording_ = false;
    level_ = 0;
    changed.emit();
    // A recording that caught no samples leaves no file behind.
    std::error_code error;
    if (!recordingURL_ || !fs::exists(*recordingURL_, error)) return std::nullopt;
    return recordingURL_;
}

}  // namespace orvane
