#pragma once

#include <chrono>
#include <cstdint>
#include <span>

namespace orvane {

// One buffer of captured audio: interleaved 32-bit float samples, `frameCount` frames of `channels`
// samples each, at `sampleRate`. `hostTime` is when the first frame was captured, on the monotonic
// clock (std::chrono::steady_clock, CLOCK_MONOTONIC), the clock screen frames are stamped with, so
// the writer can line both up in one movie.
struct AudioSamples {
    std::span<const float> interleaved;
    int frameCount = 0;
    int channels = 2;
    int sampleRate = 48000;
    std::chrono::steady_clock::time_point hostTime;
};

// Takes audio buffers for a track being written (the screen movie's system-audio track). Called
// from the capture source's own thread; the sink copies what it keeps before returning, so the
// caller may reuse its buffer. Any rate and channel count is accepted; the sink converts.
class AudioSampleSink {
public:
    virtual ~AudioSampleSink() = default;
    virtual void appendAudio(const AudioSamples& samples) = 0;
};

// A live audio capture that feeds a sink: the default output's monitor for system audio. start()
// throws std::runtime_error with a user-facing text when the device cannot be opened; after stop()
// returns, the sink is not called again.
class AudioCaptureSource {
public:
    virtual ~AudioCaptureSource() = default;
    virtual void start(AudioSampleSink& sink) = 0;
    virtual void stop() = 0;
};

}  // namespace orvane
