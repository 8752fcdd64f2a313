#include "recording/tracks/mic_level_monitor.h"

#include <atomic>
#include <chrono>

#include "base/log.h"
#include "base/log_areas.h"

namespace orvane {

// Shared with posted tasks: a task that runs after the monitor is gone finds `alive` false.
struct MicLevelMonitor::State {
    MicLevelPublisher publisher;                 // main loop only
    std::unique_ptr<AudioCaptureStream> stream;  // session queue only
    std::atomic<bool> alive{true};
    std::atomic<std::uint64_t> generation{0};  // levels of a replaced capture are dropped
};

MicLevelMonitor::MicLevelMonitor(AudioSystem& audio, Executor& main, Executor& sessionQueue)
    : audio_(audio), main_(main), sessionQueue_(sessionQueue), state_(std::make_shared<State>()) {}

float MicLevelMonitor::level() const { return state_->publisher.level(); }

MicLevelMonitor::~MicLevelMonitor() {
    state_->alive = false;
    auto state = state_;
    sessionQueue_.runSync([state] { state->stream.reset(); });
}

void MicLevelMonitor::start(const std::optional<std::string>& deviceID) {
    if (running_ && didConfigureSession_ && deviceID == currentDeviceID_) return;
    currentDeviceID_ = deviceID;
    running_ = true;
    didConfigureSession_ = true;
    const auto generation = ++state_->generation;

    std::weak_ptr<State> weak = state_;
    Executor& main = main_;
    Signal<float>* signal = &levelChanged;
    AudioSystem& audio = audio_;
    sessionQueue_.post([weak, generation, deviceID, &main, signal, &audio] {
        auto state = weak.lock();
        if (!state || state->generation != generation) return;
        state->stream.reset();
        AudioCaptureFormat format;
        format.sampleRate = 48000;
        format.channels = 1;
        format.type = AudioSampleType::s16;
        try {
            state->stream =
                audio.openCapture(deviceID, format, [weak, generation, &main, signal](const AudioChunk& chunk) {
                    const float raw = micRawLevel(static_cast<const std::int16_t*>(chunk.data), chunk.bytes);
                    main.post([weak, generation, raw, &main, signal] {
                        auto alive = weak.lock();
                        if (!alive || !alive->alive || alive->generation != generation) return;
                        const double now = std::chrono::duration<double>(main.now().time_since_epoch()).count();
                        if (const auto published = alive->publisher.offer(raw, now)) signal->emit(*published);
                    });
                });
        } catch (const AudioSystemError& e) {
            log::warning(log_area::kMic, "level meter couldn't open %s: %s",
                         deviceID ? deviceID->c_str() : "the default input", e.what());
        }
    });
}

void MicLevelMonitor::stop() {
    if (!running_) return;
    running_ = false;
    const auto generation = ++state_->generation;
    std::weak_ptr<State> weak = state_;
    sessionQueue_.post([weak, generation] {
        auto state = weak.lock();
        if (state && state->generation == generation) state->stream.reset();
    });
}

}  // namespace orvane
