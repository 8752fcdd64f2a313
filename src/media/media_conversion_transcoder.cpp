#include <algorithm>
#include <cstring>
#include <optional>

extern "C" {
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include "base/atomic_file.h"
#include "base/log.h"
#include "base/log_areas.h"
#include "base/text.h"
#include "media/ffmpeg_handles.h"
#include "media/media_conversion.h"

namespace orvane {

namespace fs = std::filesystem;

namespace {

constexpr std::int64_t kAudioBitRate = 192000;

[[noreturn]] void fail(const std::string& what, int status) {
    throw std::runtime_error(what + ": " + ffmpeg::errorText(status));
}

void check(int status, const char* what) {
    if (status < 0) fail(what, status);
}

enum class Target { mp4Video, m4aAudio, mp3Audio };

// The first stream of a kind; cover art attached to audio files is not a video stream.
int firstStream(const AVFormatContext* input, AVMediaType type) {
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVStream* stream = input->streams[i];
        if (stream->codecpar->codec_type != type) continue;
        if (type == AVMEDIA_TYPE_VIDEO && (stream->disposition & AV_DISPOSITION_ATTACHED_PIC)) continue;
        return static_cast<int>(i);
    }
    return -1;
}

ffmpeg::CodecContext openDecoder(const AVStream* stream) {
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec) throw std::runtime_error(std::string("no decoder for ") + avcodec_get_name(stream->codecpar->codec_id));
    ffmpeg::CodecContext decoder(avcodec_alloc_context3(codec));
    if (!decoder) throw std::runtime_error("out of memory");
    check(avcodec_parameters_to_context(decoder.get(), stream->codecpar), "cannot set up the decoder");
    decoder->pkt_timebase = stream->time_base;
    check(avcodec_open2(decoder.get(), codec, nullptr), "cannot open the decoder");
    return decoder;
}

ffmpeg::Frame allocateFrame() {
    ffmpeg::Frame frame(av_frame_alloc());
    if (!frame) throw std::runtime_error("out of memory");
    return frame;
}

// One decoder feeding one encoder, and the output stream they fill.
struct Track {
    int inputIndex = -1;
    const AVStream* inputStream = nullptr;
    ffmpeg::CodecContext decoder;
    ffmpeg::CodecContext encoder;
    AVStream* outputStream = nullptr;
    std::int64_t startOffset = 0;  // the input's start time, in the input stream's time base
};

class Transcoder {
public:
    Transcoder(const fs::path& input, const fs::path& output, Target target, std::stop_token stop)
        : target_(target), stop_(std::move(stop)) {
        input_ = ffmpeg::openInput(input.string());
        if (!input_) throw std::runtime_error("cannot read " + input.filename().string());

        const char* muxer = target == Target::mp4Video ? "mp4" : target == Target::m4aAudio ? "ipod" : "mp3";
        AVFormatContext* raw = nullptr;
        check(avformat_alloc_output_context2(&raw, nullptr, muxer, output.c_str()), "cannot set up the writer");
        output_.reset(raw);

        const int videoIndex = firstStream(input_.get(), AVMEDIA_TYPE_VIDEO);
        const int audioIndex = firstStream(input_.get(), AVMEDIA_TYPE_AUDIO);
        if (target == Target::mp4Video) {
            if (videoIndex < 0) throw std::runtime_error("no video stream");
            openVideo(videoIndex);
            if (audioIndex >= 0) openAudio(audioIndex, avcodec_find_encoder(AV_CODEC_ID_AAC));
        } else {
            if (audioIndex < 0) throw std::runtime_error("no audio stream");
            const AVCodec* encoder = target == Target::mp3Audio ? avcodec_find_encoder_by_name("libmp3lame")
                                                                : avcodec_find_encoder(AV_CODEC_ID_AAC);
            openAudio(audioIndex, encoder);
        }

        check(avio_open(&output_->pb, output.c_str(), AVIO_FLAG_WRITE), "cannot create the file");
        AVDictionary* options = nullptr;
        // The index goes to the front so the editor and players can start without reading the end.
        if (target != Target::mp3Audio) av_dict_set(&options, "movflags", "+faststart", 0);
        const int status = avformat_write_header(output_.get(), &options);
        av_dict_free(&options);
        check(status, "cannot write the header");
    }

    void run() {
        ffmpeg::Packet packet(av_packet_alloc());
        ffmpeg::Frame frame = allocateFrame();
        if (!packet) throw std::runtime_error("out of memory");
        for (;;) {
            if (stop_.stop_requested()) throw MediaConversionCancelled();
            const int status = av_read_frame(input_.get(), packet.get());
            if (status == AVERROR_EOF) break;
            if (status < 0) {
                // A damaged tail ends the movie where the damage starts, as players do.
                log::warning(log_area::kMedia, "conversion stops reading early: %s", ffmpeg::errorText(status).c_str());
                break;
            }
            Track* track = trackFor(packet->stream_index);
            if (track) decode(*track, packet.get(), frame.get());
            av_packet_unref(packet.get());
        }
        if (video_) decode(*video_, nullptr, frame.get());
        if (audio_) {
            decode(*audio_, nullptr, frame.get());
            drainAudio(/*flush=*/true);
            encode(*audio_, nullptr);
        }
        if (video_) encode(*video_, nullptr);
        check(av_write_trailer(output_.get()), "cannot finish the file");
        // Closing writes the last buffered bytes; a full disk shows up here.
        check(avio_closep(&output_->pb), "cannot finish writing the file");
    }

private:
    Track* trackFor(int streamIndex) {
        if (video_ && video_->inputIndex == streamIndex) return &*video_;
        if (audio_ && audio_->inputIndex == streamIndex) return &*audio_;
        return nullptr;
    }

    std::int64_t startOffset(const AVStream* stream) const {
        if (input_->start_time == AV_NOPTS_VALUE) return 0;
        return av_rescale_q(input_->start_time, AVRational{1, AV_TIME_BASE}, stream->time_base);
    }

    AVStream* newStream(const Track& track) {
        AVStream* stream = avformat_new_stream(output_.get(), nullptr);
        if (!stream) throw std::runtime_error("out of memory");
        check(avcodec_parameters_from_context(stream->codecpar, track.encoder.get()), "cannot describe a stream");
        stream->time_base = track.encoder->time_base;
        return stream;
    }

    void openVideo(int index) {
        Track track;
        track.inputIndex = index;
        track.inputStream = input_->streams[index];
        track.decoder = openDecoder(track.inputStream);
        track.startOffset = startOffset(track.inputStream);

        const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
        if (!codec) throw std::runtime_error("the libx264 encoder is not available");
        track.encoder.reset(avcodec_alloc_context3(codec));
        if (!track.encoder) throw std::runtime_error("out of memory");
        AVCodecContext* encoder = track.encoder.get();
        // 4:2:0 needs even sides; an odd source loses its last row or column.
        encoder->width = std::max(2, track.decoder->width / 2 * 2);
        encoder->height = std::max(2, track.decoder->height / 2 * 2);
        encoder->pix_fmt = AV_PIX_FMT_YUV420P;
        encoder->time_base = track.inputStream->time_base;
        const AVRational rate = av_guess_frame_rate(input_.get(), const_cast<AVStream*>(track.inputStream), nullptr);
        if (rate.num > 0 && rate.den > 0) encoder->framerate = rate;
        encoder->sample_aspect_ratio = track.inputStream->sample_aspect_ratio.num > 0
                                           ? track.inputStream->sample_aspect_ratio
                                           : track.decoder->sample_aspect_ratio;
        av_opt_set(encoder->priv_data, "preset", "veryfast", 0);
        av_opt_set(encoder->priv_data, "crf", "20", 0);
        if (output_->oformat->flags & AVFMT_GLOBALHEADER) encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        check(avcodec_open2(encoder, codec, nullptr), "cannot open the H.264 encoder");
        track.outputStream = newStream(track);
        track.outputStream->sample_aspect_ratio = encoder->sample_aspect_ratio;

        // A phone video held upright keeps playing upright.
        std::size_t size = 0;
        if (const std::uint8_t* matrix =
                av_stream_get_side_data(track.inputStream, AV_PKT_DATA_DISPLAYMATRIX, &size)) {
            std::uint8_t* copy = av_stream_new_side_data(track.outputStream, AV_PKT_DATA_DISPLAYMATRIX, size);
            if (!copy) throw std::runtime_error("out of memory");
            std::memcpy(copy, matrix, size);
        }

        scaled_ = allocateFrame();
        scaled_->format = encoder->pix_fmt;
        scaled_->width = encoder->width;
        scaled_->height = encoder->height;
        check(av_frame_get_buffer(scaled_.get(), 0), "cannot allocate a video frame");
        video_ = std::move(track);
    }

    void openAudio(int index, const AVCodec* codec) {
        if (!codec) throw std::runtime_error(target_ == Target::mp3Audio ? "the MP3 encoder is not available"
                                                                         : "the AAC encoder is not available");
        Track track;
        track.inputIndex = index;
        track.inputStream = input_->streams[index];
        track.decoder = openDecoder(track.inputStream);
        track.startOffset = startOffset(track.inputStream);

        track.encoder.reset(avcodec_alloc_context3(codec));
        if (!track.encoder) throw std::runtime_error("out of memory");
        AVCodecContext* encoder = track.encoder.get();
        encoder->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_FLTP;
        encoder->sample_rate = chooseSampleRate(codec, track.decoder->sample_rate);
        av_channel_layout_default(&encoder->ch_layout, std::clamp(track.decoder->ch_layout.nb_channels, 1, 2));
        encoder->bit_rate = kAudioBitRate;
        encoder->time_base = AVRational{1, encoder->sample_rate};
        if (output_->oformat->flags & AVFMT_GLOBALHEADER) encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        check(avcodec_open2(encoder, codec, nullptr), "cannot open the audio encoder");
        track.outputStream = newStream(track);

        AVChannelLayout inputLayout;
        if (track.decoder->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
            av_channel_layout_default(&inputLayout, std::max(1, track.decoder->ch_layout.nb_channels));
        } else {
            check(av_channel_layout_copy(&inputLayout, &track.decoder->ch_layout), "cannot read the channel layout");
        }
        SwrContext* raw = nullptr;
        const int status = swr_alloc_set_opts2(&raw, &encoder->ch_layout, encoder->sample_fmt, encoder->sample_rate,
                                               &inputLayout, track.decoder->sample_fmt, track.decoder->sample_rate, 0,
                                               nullptr);
        av_channel_layout_uninit(&inputLayout);
        resampler_.reset(raw);
        check(status, "cannot set up the resampler");
        check(swr_init(resampler_.get()), "cannot set up the resampler");
        fifo_.reset(av_audio_fifo_alloc(encoder->sample_fmt, encoder->ch_layout.nb_channels, 4096));
        if (!fifo_) throw std::runtime_error("out of memory");
        audio_ = std::move(track);
    }

    static int chooseSampleRate(const AVCodec* codec, int wanted) {
        const int* rates = codec->supported_samplerates;
        if (!rates) return wanted > 0 ? wanted : 48000;
        int fallback = rates[0];
        for (; *rates != 0; ++rates) {
            if (*rates == wanted) return wanted;
            if (*rates == 48000) fallback = 48000;
        }
        return fallback;
    }

    void decode(Track& track, const AVPacket* packet, AVFrame* frame) {
        int status = avcodec_send_packet(track.decoder.get(), packet);
        if (status == AVERROR_INVALIDDATA) {
            // One damaged packet costs one frame, not the import.
            log::debug(log_area::kMedia, "skipping a damaged packet");
            return;
        }
        if (status < 0 && status != AVERROR_EOF) fail("cannot decode", status);
        for (;;) {
            status = avcodec_receive_frame(track.decoder.get(), frame);
            if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) return;
            if (status == AVERROR_INVALIDDATA) continue;
            check(status, "cannot decode");
            if (video_ && &track == &*video_) {
                convertVideoFrame(frame);
            } else {
                convertAudioFrame(frame);
            }
            av_frame_unref(frame);
        }
    }

    void convertVideoFrame(const AVFrame* frame) {
        AVCodecContext* encoder = video_->encoder.get();
        scaler_.reset(sws_getCachedContext(scaler_.release(), frame->width, frame->height,
                                           static_cast<AVPixelFormat>(frame->format), encoder->width, encoder->height,
                                           encoder->pix_fmt, SWS_BICUBIC, nullptr, nullptr, nullptr));
        if (!scaler_) {
            throw std::runtime_error(std::string("cannot convert ") +
                                     av_get_pix_fmt_name(static_cast<AVPixelFormat>(frame->format)) + " pictures");
        }
        check(av_frame_make_writable(scaled_.get()), "cannot reuse a video frame");
        sws_scale(scaler_.get(), frame->data, frame->linesize, 0, frame->height, scaled_->data, scaled_->linesize);

        std::int64_t pts = frame->best_effort_timestamp;
        pts = pts == AV_NOPTS_VALUE ? lastVideoPts_ + 1 : pts - video_->startOffset;
        // The encoder needs strictly rising times; repeated or backwards stamps move just past the last.
        if (lastVideoPts_ != AV_NOPTS_VALUE && pts <= lastVideoPts_) pts = lastVideoPts_ + 1;
        lastVideoPts_ = pts;
        scaled_->pts = pts;
        encode(*video_, scaled_.get());
    }

    void convertAudioFrame(const AVFrame* frame) {
        AVCodecContext* encoder = audio_->encoder.get();
        if (nextAudioPts_ == AV_NOPTS_VALUE) {
            // Audio that starts after the picture keeps its delay, so the two stay in sync.
            const std::int64_t first = frame->best_effort_timestamp;
            nextAudioPts_ = first == AV_NOPTS_VALUE
                                ? 0
                                : std::max<std::int64_t>(0, av_rescale_q(first - audio_->startOffset,
                                                                         audio_->inputStream->time_base,
                                                                         encoder->time_base));
        }
        resampleIntoFifo(const_cast<const std::uint8_t**>(frame->extended_data), frame->nb_samples);
        drainAudio(/*flush=*/false);
    }

    void resampleIntoFifo(const std::uint8_t** samples, int count) {
        AVCodecContext* encoder = audio_->encoder.get();
        const int room = swr_get_out_samples(resampler_.get(), count);
        check(room, "cannot resample");
        if (room == 0) return;
        ffmpeg::Frame converted = allocateFrame();
        converted->format = encoder->sample_fmt;
        converted->sample_rate = encoder->sample_rate;
        converted->nb_samples = room;
        check(av_channel_layout_copy(&converted->ch_layout, &encoder->ch_layout), "cannot set the channel layout");
        check(av_frame_get_buffer(converted.get(), 0), "cannot allocate an audio frame");
        const int produced = swr_convert(resampler_.get(), converted->data, room, samples, count);
        check(produced, "cannot resample");
        if (produced > 0 &&
            av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(converted->data), produced) < produced) {
            throw std::runtime_error("out of memory");
        }
    }

    // Hands the encoder whole frames; at the end also the rest, which may be shorter.
    void drainAudio(bool flush) {
        AVCodecContext* encoder = audio_->encoder.get();
        if (flush) resampleIntoFifo(nullptr, 0);
        if (nextAudioPts_ == AV_NOPTS_VALUE) nextAudioPts_ = 0;
        const int frameSize = encoder->frame_size > 0 ? encoder->frame_size : 1024;
        while (av_audio_fifo_size(fifo_.get()) >= frameSize || (flush && av_audio_fifo_size(fifo_.get()) > 0)) {
            const int count = std::min(frameSize, av_audio_fifo_size(fifo_.get()));
            ffmpeg::Frame chunk = allocateFrame();
            chunk->format = encoder->sample_fmt;
            chunk->sample_rate = encoder->sample_rate;
            chunk->nb_samples = count;
            check(av_channel_layout_copy(&chunk->ch_layout, &encoder->ch_layout), "cannot set the channel layout");
            check(av_frame_get_buffer(chunk.get(), 0), "cannot allocate an audio frame");
            if (av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(chunk->data), count) < count) {
                throw std::runtime_error("cannot read resampled audio");
            }
            chunk->pts = nextAudioPts_;
            nextAudioPts_ += count;
            encode(*audio_, chunk.get());
        }
    }

    void encode(Track& track, const AVFrame* frame) {
        check(avcodec_send_frame(track.encoder.get(), frame), "cannot encode");
        ffmpeg::Packet packet(av_packet_alloc());
        if (!packet) throw std::runtime_error("out of memory");
        for (;;) {
            const int status = avcodec_receive_packet(track.encoder.get(), packet.get());
            if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) return;
            check(status, "cannot encode");
            // Without a duration the muxer gives the last picture none, and the movie comes out a frame short.
            const AVRational rate = track.encoder->framerate;
            if (packet->duration == 0 && track.encoder->codec_type == AVMEDIA_TYPE_VIDEO && rate.num > 0 && rate.den > 0) {
                packet->duration = av_rescale_q(1, av_inv_q(rate), track.encoder->time_base);
            }
            av_packet_rescale_ts(packet.get(), track.encoder->time_base, track.outputStream->time_base);
            packet->stream_index = track.outputStream->index;
            check(av_interleaved_write_frame(output_.get(), packet.get()), "cannot write to the file");
        }
    }

    Target target_;
    std::stop_token stop_;
    ffmpeg::InputFormatContext input_;
    ffmpeg::OutputFormatContext output_;
    std::optional<Track> video_;
    std::optional<Track> audio_;
    ffmpeg::ScaleContext scaler_;
    ffmpeg::Frame scaled_;
    ffmpeg::ResampleContext resampler_;
    ffmpeg::AudioFifo fifo_;
    std::int64_t lastVideoPts_ = AV_NOPTS_VALUE;
    std::int64_t nextAudioPts_ = AV_NOPTS_VALUE;
};

// Writes under a hidden name beside `output` and renames at the end, so nothing half-written is
// ever seen at `output` and a failure leaves the folder as it was.
void transcode(const fs::path& input, const fs::path& output, Target target, std::stop_token stop) {
    ffmpeg::routeLogging();
    const auto partial = partialSiblingPath(output);
    try {
        {
            Transcoder transcoder(input, partial, target, std::move(stop));
            transcoder.run();
        }
        fs::rename(partial, output);
    } catch (...) {
        std::error_code ignored;
        fs::remove(partial, ignored);
        throw;
    }
}

}  // namespace

void convertVideoToMp4(const fs::path& input, const fs::path& output, std::stop_token stop) {
    transcode(input, output, Target::mp4Video, std::move(stop));
}

void convertAudioFile(const fs::path& input, const fs::path& output, std::stop_token stop) {
    const bool mp3 = toLowerAscii(output.extension().string()) == ".mp3";
    transcode(input, output, mp3 ? Target::mp3Audio : Target::m4aAudio, std::move(stop));
}

std::vector<std::string> ffmpegVideoConversionArguments(const fs::path& input, const fs::path& output) {
    return {"-y",     "-i",      input.string(), "-map", "0:v:0",     "-map", "0:a:0?",     "-c:v",
            "libx264", "-pix_fmt", "yuv420p",     "-c:a", "aac",       "-b:a", "192k",       "-movflags",
            "+faststart", output.string()};
}

std::vector<std::string> ffmpegAudioConversionArguments(const fs::path& input, const fs::path& output) {
    const bool mp3 = toLowerAscii(output.extension().string()) == ".mp3";
    return {"-y", "-i", input.string(), "-vn", "-c:a", mp3 ? "libmp3lame" : "aac", "-b:a", "192k", output.string()};
}

}  // namespace orvane
