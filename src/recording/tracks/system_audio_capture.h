#pragma once

#include <memory>
#include <mutex>

#include "platform/audio_system.h"
#include "recording/audio_sample_sink.h"

namespace orvane {

// System audio: what the default output plays, captured from its monitor source at 48 kHz stereo
// float and handed to the screen writer's sink.
class SystemAudioCapture final : public AudioCaptureSource {
public:
    static constexpr int kSampleRate = 48000;
    static constexpr int kChannels = 2;

    explicit SystemAudioCapture(AudioSystem& audio) : audio_(audio) {}
    ~SystemAudioCapture() override { stop(); }

    // Throws std::runtime_error ("System audio is unavailable: ...") when there is no output to
    // listen to or its monitor cannot be opened.
    void start(AudioSampleSink& sink) override;
    void stop() override;

private:
    AudioSystem& audio_;
    std::unique_ptr<AudioCaptureStream> stream_;
};

}  // namespace orvane
