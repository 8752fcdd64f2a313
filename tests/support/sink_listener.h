#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/audio_system.h"

namespace orvane::testing {

// What a sound server's sink plays, heard through its monitor, with when each sample arrived.
class SinkListener {
public:
    using Clock = std::chrono::steady_clock;

    explicit SinkListener(AudioSystem& audio, const std::string& sink = "orvane_speakers");
    ~SinkListener();
    SinkListener(const SinkListener&) = delete;
    SinkListener& operator=(const SinkListener&) = delete;

    // Root mean square of what was heard between `from` and `to`.
    double loudness(Clock::time_point from, Clock::time_point to);

private:
    std::mutex mutex_;
    std::vector<std::pair<Clock::time_point, float>> samples_;
    std::unique_ptr<AudioCaptureStream> stream_;
};

}  // namespace orvane::testing
