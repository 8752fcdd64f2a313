#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace orvane {

// An audio input the sound server offers: a microphone, a line input, or a sink's monitor.
struct AudioSourceInfo {
    std::uint32_t index = 0;   // the server's object index; changes when the device is plugged again
    std::string name;          // persistent identifier ("alsa_input.usb-..."): what preferences store
    std::string description;   // human name, "Unknown" when the server gives none
    int channels = 0;
    bool isMonitor = false;    // the monitor of an output, not a capture device
};

enum class AudioSampleType { s16, f32 };

// Interleaved samples as the server delivers them after its own conversion.
struct AudioCaptureFormat {
    int sampleRate = 48000;
    int channels = 1;
    AudioSampleType type = AudioSampleType::s16;

    std::size_t bytesPerFrame() const {
        return static_cast<std::size_t>(channels) * (type == AudioSampleType::s16 ? 2 : 4);
    }
};

// One delivery of captured audio. `ptsMicros` is the capture time of the first frame on the steady
// clock (std::chrono::steady_clock, microseconds since its epoch), so it lines up with video frames
// stamped on the same clock.
struct AudioChunk {
    const void* data = nullptr;
    std::size_t bytes = 0;
    int frames = 0;
    std::int64_t ptsMicros = 0;
};

// A sound-server operation failed; the message says which and why.
class AudioSystemError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A running capture. Destroying or stopping it guarantees the callback is no longer running and will
// not be called again.
class AudioCaptureStream {
public:
    virtual ~AudioCaptureStream() = default;
    virtual void stop() = 0;
};

// The callback runs on the sound system's own thread, one chunk at a time, in capture order.
using AudioChunkCallback = std::function<void(const AudioChunk&)>;

// The machine's sound server: its inputs, its defaults and capture from them. Methods may be called
// from any thread; each blocks until the server answers.
class AudioSystem {
public:
    virtual ~AudioSystem() = default;

    // Every source, monitors included, in the server's order.
    virtual std::vector<AudioSourceInfo> sources() = 0;
    // The name of the default input; nothing when the server has none.
    virtual std::optional<std::string> defaultSourceName() = 0;
    // The monitor source of the default output (what the speakers play); nothing without an output.
    virtual std::optional<std::string> defaultSinkMonitorName() = 0;
    // Throws AudioSystemError when the server refuses (an unknown name).
    virtual void setDefaultSource(const std::string& name) = 0;

    // Captures `sourceName` (the default input when absent) in `format`. Throws AudioSystemError when
    // the stream cannot be created or does not start.
    virtual std::unique_ptr<AudioCaptureStream> openCapture(const std::optional<std::string>& sourceName,
                                                            const AudioCaptureFormat& format,
                                                            AudioChunkCallback callback) = 0;
};

}  // namespace orvane
