#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "platform/audio_system.h"

namespace orvane {

// Interleaved 32-bit float frames for an output.
struct AudioOutputFormat {
    int sampleRate = 48000;
    int channels = 2;

    bool operator==(const AudioOutputFormat&) const = default;
};

// One running playback stream. Its clock (playedSeconds) is what the listener hears, so a player
// that shows pictures by it stays in step with the sound. One thread at a time; methods block only
// briefly for the sound server's answer.
class AudioPlaybackStream {
public:
    virtual ~AudioPlaybackStream() = default;

    // Queues interleaved frames after those written before. The writer decides how far ahead it
    // writes (playedSeconds() tells how much is still queued).
    virtual void write(std::span<const float> interleaved) = 0;
    // Seconds of what was written since the last flush that have been heard: written minus what
    // still waits in the server and the device. Stops while paused or starved.
    virtual double playedSeconds() = 0;
    // Pausing keeps what is queued; resuming plays on from where it stopped.
    virtual void setPaused(bool paused) = 0;
    // Drops everything queued and restarts playedSeconds() at 0, for a seek.
    virtual void flush() = 0;
};

// Where sound is played: the machine's sound server. Separate from AudioSystem, which captures.
class AudioOutput {
public:
    virtual ~AudioOutput() = default;
    // Opens a paused stream to `sinkName` (the default output when absent). Throws AudioSystemError
    // when the server refuses.
    virtual std::unique_ptr<AudioPlaybackStream> openPlayback(const AudioOutputFormat& format,
                                                              const std::optional<std::string>& sinkName = {}) = 0;
};

}  // namespace orvane
