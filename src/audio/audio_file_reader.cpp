#include "audio/audio_file_reader.h"

#include <algorithm>
#include <cmath>
#include <functional>

#include "media/ffmpeg_handles.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

namespace orvane {

namespace {

struct OpenedAudio {
    ffmpeg::InputFormatContext input;
    ffmpeg::CodecContext decoder;
    AVStream* stream = nullptr;
};

[[noreturn]] void fail(const std::filesystem::path& file, const std::string& why) {
    throw AudioReadError("Couldn't read audio from " + file.string() + ": " + why);
}

// Nothing when the file opens but carries no audio stream.
std::optional<OpenedAudio> openAudio(const std::filesystem::path& file) {
    OpenedAudio opened;
    opened.input = ffmpeg::openInput(file.string());
    if (!opened.input) fail(file, std::filesystem::exists(file) ? "not a media file" : "no such file");
    const AVCodec* codec = nullptr;
    const int index = av_find_best_stream(opened.input.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (index == AVERROR_STREAM_NOT_FOUND) return std::nullopt;
    if (index < 0 || !codec) fail(file, "no decoder for its audio");
    opened.stream = opened.input->streams[index];
    opened.decoder.reset(avcodec_alloc_context3(codec));
    if (!opened.decoder) throw std::bad_alloc();
    if (avcodec_parameters_to_context(opened.decoder.get(), opened.stream->codecpar) < 0)
        fail(file, "bad audio parameters");
    opened.decoder->pkt_timebase = opened.stream->time_base;
    if (const int status = avcodec_open2(opened.decoder.get(), codec, nullptr); status < 0) {
        fail(file, ffmpeg::errorText(status));
    }
    if (opened.decoder->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
        av_channel_layout_default(&opened.decoder->ch_layout, opened.decoder->ch_layout.nb_channels);
    }
    return opened;
}

// Decodes from `start` (already sought) and hands resampled interleaved float frames to the buffer
// until `enough` says the buffer holds what the caller needs. `firstTime` receives the stream time
// (seconds from the stream origin) of the first frame converted, as soon as it is known.
void decodeInto(OpenedAudio& opened, const std::filesystem::path& file, int rate, const AVChannelLayout& layout,
                AudioBuffer& out, std::optional<double>& firstTime, const std::function<bool()>& enough) {
    SwrContext* raw = nullptr;
    if (swr_alloc_set_opts2(&raw, const_cast<AVChannelLayout*>(&layout), AV_SAMPLE_FMT_FLT, rate,
                            &opened.decoder->ch_layout, opened.decoder->sample_fmt, opened.decoder->sample_rate, 0,
                            nullptr) < 0) {
        fail(file, "cannot convert its audio");
    }
    ffmpeg::ResampleContext resampler(raw);
    if (swr_init(resampler.get()) < 0) fail(file, "cannot convert its audio");

    const int channels = layout.nb_channels;
    const std::int64_t origin = opened.stream->start_time == AV_NOPTS_VALUE ? 0 : opened.stream->start_time;
    const double timeBase = av_q2d(opened.stream->time_base);
    ffmpeg::Packet packet(av_packet_alloc());
    ffmpeg::Frame frame(av_frame_alloc());
    if (!packet || !frame) throw std::bad_alloc();

    auto convert = [&](const AVFrame* source) {
        const int inFrames = source ? source->nb_samples : 0;
        const int capacity = swr_get_out_samples(resampler.get(), inFrames);
        if (capacity <= 0) return;
        const std::size_t before = out.samples.size();
        out.samples.resize(before + static_cast<std::size_t>(capacity) * static_cast<std::size_t>(channels));
        auto* target = reinterpret_cast<std::uint8_t*>(out.samples.data() + before);
        const int produced =
            swr_convert(resampler.get(), &target, capacity,
                        source ? const_cast<const std::uint8_t**>(source->extended_data) : nullptr, inFrames);
        if (produced < 0) fail(file, "cannot convert its audio");
        out.samples.resize(before + static_cast<std::size_t>(produced) * static_cast<std::size_t>(channels));
    };
    auto drainDecoder = [&]() {
        while (true) {
            const int status = avcodec_receive_frame(opened.decoder.get(), frame.get());
            if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) return;
            if (status < 0) fail(file, ffmpeg::errorText(status));
            if (!firstTime && frame->best_effort_timestamp != AV_NOPTS_VALUE) {
                firstTime = static_cast<double>(frame->best_effort_timestamp - origin) * timeBase;
            } else if (!firstTime) {
                firstTime = 0.0;
            }
            convert(frame.get());
            av_frame_unref(frame.get());
        }
    };

    bool stopped = false;
    while (!stopped) {
        const int status = av_read_frame(opened.input.get(), packet.get());
        if (status == AVERROR_EOF) break;
        if (status < 0) fail(file, ffmpeg::errorText(status));
        if (packet->stream_index == opened.stream->index) {
            const int sent = avcodec_send_packet(opened.decoder.get(), packet.get());
            // A damaged packet loses its samples, not the whole file.
            if (sent < 0 && sent != AVERROR(EAGAIN) && sent != AVERROR_INVALIDDATA) fail(file, ffmpeg::errorText(sent));
            drainDecoder();
            stopped = enough();
        }
        av_packet_unref(packet.get());
    }
    if (!stopped) {
        avcodec_send_packet(opened.decoder.get(), nullptr);
        drainDecoder();
    }
    convert(nullptr);  // what the resampler still holds
}

}  // namespace

AudioBuffer readAudioFile(const std::filesystem::path& file) {
    auto opened = openAudio(file);
    if (!opened) fail(file, "it has no audio");
    AudioBuffer out;
    out.sampleRate = opened->decoder->sample_rate;
    out.channels = opened->decoder->ch_layout.nb_channels;
    if (out.sampleRate <= 0 || out.channels <= 0) fail(file, "its audio has no sample rate or channels");
    std::optional<double> firstTime;
    decodeInto(*opened, file, out.sampleRate, opened->decoder->ch_layout, out, firstTime, [] { return false; });
    return out;
}

bool streamAudioFile(const std::filesystem::path& file, int sampleRate, int channels, const DecodedAudioSink& chunk) {
    auto opened = openAudio(file);
    if (!opened) return false;
    AVChannelLayout layout;
    av_channel_layout_default(&layout, channels);
    AudioBuffer pending;
    pending.sampleRate = sampleRate;
    pending.channels = channels;
    const auto flush = [&] {
        if (pending.empty()) return;
        chunk(pending.samples.data(), pending.frames());
        pending.samples.clear();  // keeps its capacity for the next packet
    };
    std::optional<double> firstTime;
    // Asked after every packet; handing the decoded frames on there keeps the buffer to one packet.
    decodeInto(*opened, file, sampleRate, layout, pending, firstTime, [&] {
        flush();
        return false;
    });
    flush();
    return true;
}

std::optional<AudioBuffer> readAudioRange(const std::filesystem::path& file, double start,
                                          std::optional<double> duration, int sampleRate, int channels) {
    auto opened = openAudio(file);
    if (!opened) return std::nullopt;
    start = std::max(start, 0.0);
    AVChannelLayout layout;
    av_channel_layout_default(&layout, channels);

    const std::int64_t origin = opened->stream->start_time == AV_NOPTS_VALUE ? 0 : opened->stream->start_time;
    // Seek a little early: codecs with overlapping frames (AAC, MP3) only decode the first frame
    // after a seek fully once they have seen the one before it.
    constexpr double kPreRoll = 0.2;
    if (start > kPreRoll) {
        const auto target = origin + static_cast<std::int64_t>((start - kPreRoll) / av_q2d(opened->stream->time_base));
        // When seeking fails the decode starts at the top and the slice below still finds `start`.
        if (av_seek_frame(opened->input.get(), opened->stream->index, target, AVSEEK_FLAG_BACKWARD) >= 0) {
            avcodec_flush_buffers(opened->decoder.get());
        }
    }

    AudioBuffer decoded;
    decoded.sampleRate = sampleRate;
    decoded.channels = channels;
    std::optional<double> firstTime;
    const auto wanted = duration ? static_cast<std::size_t>(std::llround(std::max(*duration, 0.0) * sampleRate)) : 0;
    // Decoding stops once the buffer reaches past start + duration, with slack for the resampler.
    auto enough = [&]() {
        if (!duration) return false;
        const double covered = firstTime.value_or(start) + static_cast<double>(decoded.frames()) / sampleRate;
        return covered > start + *duration + 0.05;
    };
    decodeInto(*opened, file, sampleRate, layout, decoded, firstTime, enough);

    AudioBuffer out;
    out.sampleRate = sampleRate;
    out.channels = channels;
    const double first = firstTime.value_or(start);
    const auto skip = static_cast<std::ptrdiff_t>(std::llround((start - first) * sampleRate));
    const std::size_t available = decoded.frames();
    const std::size_t count =
        duration ? wanted
                 : (skip >= 0 ? available - std::min<std::size_t>(available, static_cast<std::size_t>(skip))
                              : available + static_cast<std::size_t>(-skip));
    out.samples.assign(count * static_cast<std::size_t>(channels), 0.0f);
    const auto ch = static_cast<std::size_t>(channels);
    for (std::size_t i = 0; i < count; ++i) {
        const std::ptrdiff_t from = skip + static_cast<std::ptrdiff_t>(i);
        if (from < 0 || static_cast<std::size_t>(from) >= available) continue;
        std::copy_n(decoded.samples.begin() + static_cast<std::ptrdiff_t>(static_cast<std::size_t>(from) * ch), ch,
                    out.samples.begin() + static_cast<std::ptrdiff_t>(i * ch));
    }
    return out;
}

}  // namespace orvane
