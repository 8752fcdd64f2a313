#include "support/sink_listener.h"

#include <cmath>

namespace orvane::testing {

SinkListener::SinkListener(AudioSystem& audio, const std::string& sink) {
    stream_ = audio.openCapture(sink + ".monitor", AudioCaptureFormat{48000, 1, AudioSampleType::f32},
                                [this](const AudioChunk& chunk) {
                                    const auto* data = static_cast<const float*>(chunk.data);
                                    const auto now = Clock::now();
                                    std::lock_guard lock(mutex_);
                                    for (int i = 0; i < chunk.frames; ++i) samples_.push_back({now, data[i]});
                                });
}

SinkListener::~SinkListener() { stream_->stop(); }

double SinkListener::loudness(Clock::time_point from, Clock::time_point to) {
    std::lock_guard lock(mutex_);
    double sum = 0;
    std::size_t count = 0;
    for (const auto& [when, value] : samples_) {
        if (when < from || when >= to) continue;
        sum += static_cast<double>(value) * value;
        ++count;
    }
    return count ? std::sqrt(sum / static_cast<double>(count)) : 0;
}

}  // namespace orvane::testing
