#include "platform/pulse/pulse_audio_system.h"

#include <chrono>

#include "base/log.h"
#include "platform/pulse/pulse_connection.h"

namespace orvane {

namespace {

using pulse::Connection;
using pulse::MainloopLock;

std::int64_t steadyMicros() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

struct ServerDefaults {
    Connection* connection = nullptr;
    std::string defaultSource;
    std::string defaultSink;
};

struct SourceList {
    Connection* connection = nullptr;
    std::vector<AudioSourceInfo> sources;
};

struct SinkMonitor {
    Connection* connection = nullptr;
    std::string monitor;
};

struct Success {
    Connection* connection = nullptr;
    bool ok = false;
};

void onServerInfo(pa_context*, const pa_server_info* info, void* userdata) {
    auto* defaults = static_cast<ServerDefaults*>(userdata);
    if (info) {
        if (info->default_source_name) defaults->defaultSource = info->default_source_name;
        if (info->default_sink_name) defaults->defaultSink = info->default_sink_name;
    }
    defaults->connection->signal();
}

void onSourceInfo(pa_context*, const pa_source_info* info, int eol, void* userdata) {
    auto* list = static_cast<SourceList*>(userdata);
    if (eol != 0 || !info) {
        list->connection->signal();
        return;
    }
    AudioSourceInfo source;
    source.index = info->index;
    source.name = info->name ? info->name : "";
    source.description = info->description && *info->description ? info->description : "Unknown";
    source.channels = info->sample_spec.channels;
    source.isMonitor = info->monitor_of_sink != PA_INVALID_INDEX;
    list->sources.push_back(std::move(source));
}

void onSinkInfo(pa_context*, const pa_sink_info* info, int eol, void* userdata) {
    auto* result = static_cast<SinkMonitor*>(userdata);
    if (eol != 0 || !info) {
        result->connection->signal();
        return;
    }
    if (info->monitor_source_name) result->monitor = info->monitor_source_name;
}

void onSuccess(pa_context*, int success, void* userdata) {
    auto* result = static_cast<Success*>(userdata);
    result->ok = success != 0;
    result->connection->signal();
}

// One record stream. Its callbacks run on the loop thread with the lock held; stop() clears them
// under the same lock, so once it returns no callback can be running or start.
class PulseCaptureStream final : public AudioCaptureStream {
public:
    PulseCaptureStream(std::shared_ptr<Connection> connection, const std::optional<std::string>& sourceName,
                       const AudioCaptureFormat& format, AudioChunkCallback callback)
        : connection_(std::move(connection)), format_(format), callback_(std::move(callback)) {
        pa_sample_spec sampleFormat{};
        sampleFormat.format = format.type == AudioSampleType::s16 ? PA_SAMPLE_S16LE : PA_SAMPLE_FLOAT32LE;
        sampleFormat.rate = static_cast<std::uint32_t>(format.sampleRate);
        sampleFormat.channels = static_cast<std::uint8_t>(format.channels);
        if (!pa_sample_spec_valid(&sampleFormat)) throw AudioSystemError("Unsupported capture format");

        MainloopLock lock(connection_->loop());
        stream_ = pa_stream_new(connection_->context(), "Orvane capture", &sampleFormat, nullptr);
        if (!stream_) throw AudioSystemError("Couldn't create a capture stream: " + connection_->lastErrorText());
        pa_stream_set_state_callback(stream_, &PulseCaptureStream::onState, this);
        pa_stream_set_read_callback(stream_, &PulseCaptureStream::onRead, this);

        // Small fragments keep level meters lively and latency low; the server may round them.
        pa_buffer_attr attributes{};
        attributes.maxlength = static_cast<std::uint32_t>(-1);
        attributes.fragsize = static_cast<std::uint32_t>(pa_usec_to_bytes(20000, &sampleFormat));
        const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_AUTO_TIMING_UPDATE |
                                                          PA_STREAM_INTERPOLATE_TIMING);
        const char* device = sourceName ? sourceName->c_str() : nullptr;
        if (pa_stream_connect_record(stream_, device, &attributes, flags) < 0) {
            const auto text = connection_->lastErrorText();
            releaseLocked();
            throw AudioSystemError("Couldn't start capturing" + describe(sourceName) + ": " + text);
        }
        for (;;) {
            const auto state = pa_stream_get_state(stream_);
            if (state == PA_STREAM_READY) break;
            if (!PA_STREAM_IS_GOOD(state)) {
                const auto text = connection_->lastErrorText();
                releaseLocked();
                throw AudioSystemError("Couldn't start capturing" + describe(sourceName) + ": " + text);
            }
            connection_->wait();
        }
    }

    ~PulseCaptureStream() override { stop(); }

    void stop() override {
        MainloopLock lock(connection_->loop());
        releaseLocked();
    }

private:
    static std::string describe(const std::optional<std::string>& sourceName) {
        return sourceName ? " from " + *sourceName : std::string(" from the default input");
    }

    void releaseLocked() {
        if (!stream_) return;
        pa_stream_set_state_callback(stream_, nullptr, nullptr);
        pa_stream_set_read_callback(stream_, nullptr, nullptr);
        if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream_))) pa_stream_disconnect(stream_);
        pa_stream_unref(stream_);
        stream_ = nullptr;
    }

    static void onState(pa_stream*, void* userdata) {
        static_cast<PulseCaptureStream*>(userdata)->connection_->signal();
    }

    static void onRead(pa_stream* stream, std::size_t, void* userdata) {
        auto* self = static_cast<PulseCaptureStream*>(userdata);
        const void* data = nullptr;
        std::size_t bytes = 0;
        while (pa_stream_readable_size(stream) > 0) {
            if (pa_stream_peek(stream, &data, &bytes) < 0 || bytes == 0) return;
            self->deliver(stream, data, bytes);
            pa_stream_drop(stream);
        }
    }

    void deliver(pa_stream* stream, const void* data, std::size_t bytes) {
        const auto frameBytes = format_.bytesPerFrame();
        const int frames = static_cast<int>(bytes / frameBytes);
        if (firstPtsMicros_ < 0) {
            // Stamp the first chunk with when its first frame was heard; later chunks follow by
            // sample count, so timestamps never jitter with scheduling.
            pa_usec_t latency = 0;
            int negative = 0;
            std::int64_t delay = 0;
            if (pa_stream_get_latency(stream, &latency, &negative) == 0 && !negative) {
                delay = static_cast<std::int64_t>(latency);
            }
            delay += static_cast<std::int64_t>(frames) * 1000000 / format_.sampleRate;
            firstPtsMicros_ = steadyMicros() - delay;
        }
        AudioChunk chunk;
        chunk.data = data;  // a hole (no data) still advances the clock
        chunk.bytes = data ? bytes : 0;
        chunk.frames = frames;
        chunk.ptsMicros = firstPtsMicros_ + framesDelivered_ * 1000000 / format_.sampleRate;
        framesDelivered_ += frames;
        if (data && frames > 0 && callback_) callback_(chunk);
    }

    std::shared_ptr<Connection> connection_;
    AudioCaptureFormat format_;
    AudioChunkCallback callback_;
    pa_stream* stream_ = nullptr;
    std::int64_t firstPtsMicros_ = -1;
    std::int64_t framesDelivered_ = 0;
};

class PulseAudioSystem final : public AudioSystem {
public:
    explicit PulseAudioSystem(const std::string& clientName)
        : connection_(std::make_shared<Connection>(clientName)) {}

    std::vector<AudioSourceInfo> sources() override {
        SourceList list{connection_.get(), {}};
        MainloopLock lock(connection_->loop());
        if (!connection_->await(pa_context_get_source_info_list(connection_->context(), onSourceInfo, &list))) {
            throw AudioSystemError("Couldn't list audio inputs: " + connection_->lastErrorText());
        }
        return list.sources;
    }

    std::optional<std::string> defaultSourceName() override {
        const auto defaults = serverDefaults();
        if (defaults.defaultSource.empty()) return std::nullopt;
        return defaults.defaultSource;
    }

    std::optional<std::string> defaultSinkMonitorName() override {
        const auto defaults = serverDefaults();
        if (defaults.defaultSink.empty()) return std::nullopt;
        SinkMonitor result{connection_.get(), {}};
        MainloopLock lock(connection_->loop());
        if (!connection_->await(pa_context_get_sink_info_by_name(connection_->context(), defaults.defaultSink.c_str(),
                                                                 onSinkInfo, &result))) {
            return std::nullopt;
        }
        if (result.monitor.empty()) return std::nullopt;
        return result.monitor;
    }

    void setDefaultSource(const std::string& name) override {
        Success result{connection_.get(), false};
        MainloopLock lock(connection_->loop());
        const bool finished =
            connection_->await(pa_context_set_default_source(connection_->context(), name.c_str(), onSuccess, &result));
        if (!finished || !result.ok) {
            throw AudioSystemError("Couldn't make " + name + " the default input: " + connection_->lastErrorText());
        }
    }

    std::unique_ptr<AudioCaptureStream> openCapture(const std::optional<std::string>& sourceName,
                                                    const AudioCaptureFormat& format,
                                                    AudioChunkCallback callback) override {
        return std::make_unique<PulseCaptureStream>(connection_, sourceName, format, std::move(callback));
    }

private:
    ServerDefaults serverDefaults() {
        ServerDefaults defaults{connection_.get(), {}, {}};
        MainloopLock lock(connection_->loop());
        if (!connection_->await(pa_context_get_server_info(connection_->context(), onServerInfo, &defaults))) {
            throw AudioSystemError("Couldn't read the sound server's defaults: " + connection_->lastErrorText());
        }
        return defaults;
    }

    std::shared_ptr<Connection> connection_;
};

}  // namespace

std::unique_ptr<AudioSystem> makePulseAudioSystem(const std::string& clientName) {
    return std::make_unique<PulseAudioSystem>(clientName);
}

}  // namespace orvane
