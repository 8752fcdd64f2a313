#include "recording/tracks/system_audio_capture.h"

#include <stdexcept>

#include "base/log.h"
#include "base/log_areas.h"

namespace orvane {

void SystemAudioCapture::start(AudioSampleSink& sink) {
    stop();
    std::optional<std::string> monitor;
    try {
        monitor = audio_.defaultSinkMonitorName();
        if (!monitor) throw std::runtime_error("System audio is unavailable: there is no audio output to record");
        AudioCaptureFormat format;
        format.sampleRate = kSampleRate;
        format.channels = kChannels;
        format.type = AudioSampleType::f32;
        stream_ = audio_.openCapture(monitor, format, [&sink](const AudioChunk& chunk) {
            AudioSamples samples;
            samples.interleaved = std::span<const float>(static_cast<const float*>(chunk.data),
                                                         static_cast<std::size_t>(chunk.frames) * kChannels);
            samples.frameCount = chunk.frames;
            samples.channels = kChannels;
            samples.sampleRate = kSampleRate;
            samples.hostTime = std::chrono::steady_clock::time_point(std::chrono::microseconds(chunk.ptsMicros));
            sink.appendAudio(samples);
        });
    } catch (const AudioSystemError& e) {
        throw std::runtime_error(std::string("System audio is unavailable: ") + e.what());
    }
    log::info(log_area::kAudio, "system audio from %s", monitor->c_str());
}

void SystemAudioCapture::stop() {
    if (!stream_) return;
    stream_->stop();
    stream_.reset();
}

}  // namespace orvane
