#include "platform/pulse/pulse_audio_output.h"

#include <algorithm>

#include "platform/pulse/pulse_connection.h"

namespace orvane {

namespace {

using pulse::Connection;
using pulse::MainloopLock;

struct Done {
    Connection* connection = nullptr;
    bool ok = false;
};

void onDone(pa_stream*, int success, void* userdata) {
    auto* done = static_cast<Done*>(userdata);
    done->ok = success != 0;
    done->connection->signal();
}

// One playback stream. Only the state callback is installed, and it only wakes waiters, so every
// other call is a plain request under the loop lock.
class PulsePlaybackStream final : public AudioPlaybackStream {
public:
    PulsePlaybackStream(std::shared_ptr<Connection> connection, const AudioOutputFormat& format,
                        const std::optional<std::string>& sinkName)
        : connection_(std::move(connection)), format_(format) {
        spec_.format = PA_SAMPLE_FLOAT32LE;
        spec_.rate = static_cast<std::uint32_t>(format.sampleRate);
        spec_.channels = static_cast<std::uint8_t>(format.channels);
        if (!pa_sample_spec_valid(&spec_)) throw AudioSystemError("Unsupported playback format");

        MainloopLock lock(connection_->loop());
        stream_ = pa_stream_new(connection_->context(), "Orvane preview", &spec_, nullptr);
        if (!stream_) throw AudioSystemError("Couldn't create a playback stream: " + connection_->lastErrorText());
        pa_stream_set_state_callback(stream_, &PulsePlaybackStream::onState, this);

        // About 100 ms queued keeps sound steady while pictures are drawn, and a seek or pause is
        // heard that much later at most. Playback starts after 20 ms so a seek is heard quickly.
        pa_buffer_attr attributes{};
        attributes.maxlength = static_cast<std::uint32_t>(-1);
        attributes.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(100000, &spec_));
        attributes.prebuf = static_cast<std::uint32_t>(pa_usec_to_bytes(20000, &spec_));
        attributes.minreq = static_cast<std::uint32_t>(-1);
        const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_AUTO_TIMING_UPDATE |
                                                          PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_START_CORKED);
        const char* device = sinkName ? sinkName->c_str() : nullptr;
        if (pa_stream_connect_playback(stream_, device, &attributes, flags, nullptr, nullptr) < 0) {
            const auto text = connection_->lastErrorText();
            releaseLocked();
            throw AudioSystemError("Couldn't start playing sound: " + text);
        }
        for (;;) {
            const auto state = pa_stream_get_state(stream_);
            if (state == PA_STREAM_READY) break;
            if (!PA_STREAM_IS_GOOD(state)) {
                const auto text = connection_->lastErrorText();
                releaseLocked();
                throw AudioSystemError("Couldn't start playing sound: " + text);
            }
            connection_->wait();
        }
    }

    ~PulsePlaybackStream() override {
        MainloopLock lock(connection_->loop());
        releaseLocked();
    }

    void write(std::span<const float> interleaved) override {
        if (interleaved.empty()) return;
        MainloopLock lock(connection_->loop());
        // Copied by the server library (no free callback), so the caller's buffer may be reused. Data
        // beyond what the server asked for waits in its queue, which is what a writer ahead wants.
        if (pa_stream_write(stream_, interleaved.data(), interleaved.size_bytes(), nullptr, 0, PA_SEEK_RELATIVE) < 0) {
            throw AudioSystemError(streamFailed());
        }
        framesWritten_ += interleaved.size() / static_cast<std::size_t>(format_.channels);
    }

    double playedSeconds() override {
        MainloopLock lock(connection_->loop());
        pa_usec_t latency = 0;
        int negative = 0;
        // Before the first timing update there is no latency yet: nothing counts as heard.
        if (pa_stream_get_latency(stream_, &latency, &negative) < 0) return 0;
        const double written = static_cast<double>(framesWritten_) / format_.sampleRate;
        const double queued = static_cast<double>(latency) / 1e6;
        // Nothing unwritten can have been heard: a starved stream reports a negative latency, and
        // the reading taken just after a flush may still describe the queue before it.
        return std::clamp(negative ? written : written - queued, 0.0, written);
    }

    void setPaused(bool paused) override {
        MainloopLock lock(connection_->loop());
        Done done{connection_.get(), false};
        if (!connection_->await(pa_stream_cork(stream_, paused ? 1 : 0, onDone, &done)) || !done.ok) {
            throw AudioSystemError(streamFailed());
        }
    }

    void flush() override {
        MainloopLock lock(connection_->loop());
        Done done{connection_.get(), false};
        if (!connection_->await(pa_stream_flush(stream_, onDone, &done)) || !done.ok) {
            throw AudioSystemError(streamFailed());
        }
        framesWritten_ = 0;
        // The latency read next must describe the emptied queue, not the one before the flush.
        Done updated{connection_.get(), false};
        connection_->await(pa_stream_update_timing_info(stream_, onDone, &updated));
    }

private:
    std::string streamFailed() const { return "The sound output stopped: " + connection_->lastErrorText(); }

    void releaseLocked() {
        if (!stream_) return;
        pa_stream_set_state_callback(stream_, nullptr, nullptr);
        if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream_))) pa_stream_disconnect(stream_);
        pa_stream_unref(stream_);
        stream_ = nullptr;
    }

    static void onState(pa_stream*, void* userdata) {
        static_cast<PulsePlaybackStream*>(userdata)->connection_->signal();
    }

    std::shared_ptr<Connection> connection_;
    AudioOutputFormat format_;
    pa_sample_spec spec_{};
    pa_stream* stream_ = nullptr;
    std::size_t framesWritten_ = 0;
};

class PulseAudioOutput final : public AudioOutput {
public:
    explicit PulseAudioOutput(const std::string& clientName) : connection_(std::make_shared<Connection>(clientName)) {}

    std::unique_ptr<AudioPlaybackStream> openPlayback(const AudioOutputFormat& format,
                                                      const std::optional<std::string>& sinkName) override {
        return std::make_unique<PulsePlaybackStream>(connection_, format, sinkName);
    }

private:
    std::shared_ptr<Connection> connection_;
};

}  // namespace

std::unique_ptr<AudioOutput> makePulseAudioOutput(const std::string& clientName) {
    return std::make_unique<PulseAudioOutput>(clientName);
}

}  // namespace orvane
