#include "media/audio_stream_reader.h"

#include <cstdint>
#include <string>

#include "media/ffmpeg_handles.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

namespace orvane {

struct AudioStreamReader::State {
    std::filesystem::path file;
    ffmpeg::InputFormatContext input;
    ffmpeg::CodecContext decoder;
    ffmpeg::ResampleContext resampler;
    ffmpeg::Packet packet;
    ffmpeg::Frame frame;
    AVStream* stream = nullptr;
    std::optional<double> firstFrameTime;
    bool inputDone = false;  // every packet was sent, and the flush packet after them
    bool finished = false;   // the decoder and the resampler are drained too

    [[noreturn]] void fail(const std::string& why) const {
        throw AudioStreamError("Couldn't read audio from " + file.string() + ": " + why);
    }

    // Appends what the resampler makes of `source` (nothing: what it still holds).
    void convert(const AVFrame* source, int channels, std::vector<float>& out) {
        const int inFrames = source ? source->nb_samples : 0;
        const int capacity = swr_get_out_samples(resampler.get(), inFrames);
        if (capacity <= 0) return;
        const std::size_t before = out.size();
        out.resize(before + static_cast<std::size_t>(capacity) * static_cast<std::size_t>(channels));
        auto* target = reinterpret_cast<std::uint8_t*>(out.data() + before);
        const int produced =
            swr_convert(resampler.get(), &target, capacity,
                        source ? const_cast<const std::uint8_t**>(source->extended_data) : nullptr, inFrames);
        if (produced < 0) {
            out.resize(before);
            fail("cannot convert its audio");
        }
        out.resize(before + static_cast<std::size_t>(produced) * static_cast<std::size_t>(channels));
    }
};

std::optional<AudioStreamReader> AudioStreamReader::open(const std::filesystem::path& file, int sampleRate,
                                                         int channels) {
    return openAs(file, sampleRate, channels);
}

std::optional<AudioStreamReader> AudioStreamReader::openNative(const std::filesystem::path& file) {
    return openAs(file, std::nullopt, std::nullopt);
}

std::optional<AudioStreamReader> AudioStreamReader::openAs(const std::filesystem::path& file,
                                                           std::optional<int> sampleRate, std::optional<int> channels) {
    ffmpeg::routeLogging();
    auto s = std::make_unique<State>();
    s->file = file;
    s->input = ffmpeg::openInput(file.string());
    if (!s->input) s->fail(std::filesystem::exists(file) ? "not a media file" : "no such file");
    const AVCodec* codec = nullptr;
    const int index = av_find_best_stream(s->input.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (index == AVERROR_STREAM_NOT_FOUND) return std::nullopt;
    if (index < 0 || !codec) s->fail("no decoder for its audio");
    s->stream = s->input->streams[index];
    // Only the audio stream is read; the demuxer drops the others' packets early.
    for (unsigned i = 0; i < s->input->nb_streams; ++i) {
        if (static_cast<int>(i) != index) s->input->streams[i]->discard = AVDISCARD_ALL;
    }
    s->decoder.reset(avcodec_alloc_context3(codec));
    if (!s->decoder) throw std::bad_alloc();
    if (avcodec_parameters_to_context(s->decoder.get(), s->stream->codecpar) < 0) s->fail("bad audio parameters");
    s->decoder->pkt_timebase = s->stream->time_base;
    if (const int status = avcodec_open2(s->decoder.get(), codec, nullptr); status < 0)
        s->fail(ffmpeg::errorText(status));
    if (s->decoder->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
        av_channel_layout_default(&s->decoder->ch_layout, s->decoder->ch_layout.nb_channels);
    }
    if (!sampleRate || !channels) {
        if (s->decoder->sample_rate <= 0 || s->decoder->ch_layout.nb_channels <= 0)
            s->fail("its audio has no sample rate or channels");
    }
    const int rate = sampleRate.value_or(s->decoder->sample_rate);
    // The stream's own layout is kept as it is; a count asked for gets that count's usual layout.
    AVChannelLayout layout{};
    if (channels) {
        av_channel_layout_default(&layout, *channels);
    } else if (av_channel_layout_copy(&layout, &s->decoder->ch_layout) < 0) {
        s->fail("cannot convert its audio");
    }
    SwrContext* raw = nullptr;
    const int allocated = swr_alloc_set_opts2(&raw, &layout, AV_SAMPLE_FMT_FLT, rate, &s->decoder->ch_layout,
                                              s->decoder->sample_fmt, s->decoder->sample_rate, 0, nullptr);
    const int outChannels = layout.nb_channels;
    av_channel_layout_uninit(&layout);
    if (allocated < 0) s->fail("cannot convert its audio");
    s->resampler.reset(raw);
    if (swr_init(s->resampler.get()) < 0) s->fail("cannot convert its audio");
    s->packet.reset(av_packet_alloc());
    s->frame.reset(av_frame_alloc());
    if (!s->packet || !s->frame) throw std::bad_alloc();
    return AudioStreamReader(std::move(s), rate, outChannels);
}

AudioStreamReader::AudioStreamReader(std::unique_ptr<State> state, int sampleRate, int channels)
    : state_(std::move(state)), sampleRate_(sampleRate), channels_(channels) {}
AudioStreamReader::AudioStreamReader(AudioStreamReader&&) noexcept = default;
AudioStreamReader& AudioStreamReader::operator=(AudioStreamReader&&) noexcept = default;
AudioStreamReader::~AudioStreamReader() = default;

std::optional<double> AudioStreamReader::durationSeconds() const {
    const auto* stream = state_->stream;
    double seconds = 0;
    if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0) {
        seconds = static_cast<double>(stream->duration) * av_q2d(stream->time_base);
    } else if (state_->input->duration != AV_NOPTS_VALUE && state_->input->duration > 0) {
        seconds = static_cast<double>(state_->input->duration) / AV_TIME_BASE;
    }
    if (!(seconds > 0)) return std::nullopt;
    return seconds;
}

void AudioStreamReader::seek(double seconds) {
    auto& s = *state_;
    // Seek a little early: codecs with overlapping frames (AAC, MP3) only decode the first frame
    // after a seek fully once they have seen the one before it.
    constexpr double kPreRoll = 0.2;
    if (seconds > kPreRoll) {
        const std::int64_t origin = s.stream->start_time == AV_NOPTS_VALUE ? 0 : s.stream->start_time;
        const auto target = origin + static_cast<std::int64_t>((seconds - kPreRoll) / av_q2d(s.stream->time_base));
        if (av_seek_frame(s.input.get(), s.stream->index, target, AVSEEK_FLAG_BACKWARD) >= 0) {
            avcodec_flush_buffers(s.decoder.get());
        }
    }
    // Samples held from before the seek belong to another place in the stream.
    if (swr_init(s.resampler.get()) < 0) s.fail("cannot convert its audio");
    s.firstFrameTime.reset();
    s.inputDone = false;
    s.finished = false;
}

std::optional<double> AudioStreamReader::firstFrameTime() const { return state_->firstFrameTime; }

bool AudioStreamReader::readMore(std::vector<float>& out) {
    auto& s = *state_;
    const std::size_t before = out.size();
    while (out.size() == before && !s.finished) {
        // Whatever the decoder holds first, so a packet that yields several frames is not lost.
        const int received = avcodec_receive_frame(s.decoder.get(), s.frame.get());
        if (received >= 0) {
            if (!s.firstFrameTime) {
                const std::int64_t origin = s.stream->start_time == AV_NOPTS_VALUE ? 0 : s.stream->start_time;
                const std::int64_t stamp = s.frame->best_effort_timestamp;
                s.firstFrameTime =
                    stamp == AV_NOPTS_VALUE ? 0.0 : static_cast<double>(stamp - origin) * av_q2d(s.stream->time_base);
            }
            s.convert(s.frame.get(), channels_, out);
            av_frame_unref(s.frame.get());
            continue;
        }
        if (received == AVERROR_EOF) {
            s.convert(nullptr, channels_, out);  // what the resampler still holds
            s.finished = true;
            break;
        }
        if (received != AVERROR(EAGAIN)) s.fail(ffmpeg::errorText(received));
        if (s.inputDone) {
            s.finished = true;  // a decoder that never reports the end after a flush
            break;
        }
        const int status = av_read_frame(s.input.get(), s.packet.get());
        if (status == AVERROR_EOF) {
            avcodec_send_packet(s.decoder.get(), nullptr);
            s.inputDone = true;
            continue;
        }
        if (status < 0) s.fail(ffmpeg::errorText(status));
        if (s.packet->stream_index == s.stream->index) {
            const int sent = avcodec_send_packet(s.decoder.get(), s.packet.get());
            // A damaged packet loses its samples, not the whole file.
            if (sent < 0 && sent != AVERROR(EAGAIN) && sent != AVERROR_INVALIDDATA) {
                av_packet_unref(s.packet.get());
                s.fail(ffmpeg::errorText(sent));
            }
        }
        av_packet_unref(s.packet.get());
    }
    return out.size() > before;
}

}  // namespace orvane
