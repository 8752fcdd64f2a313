#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <vector>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/pixdesc.h>
}

#include "base/atomic_file.h"
#include "base/log.h"
#include "base/log_areas.h"
#include "base/text.h"
#include "media/encode/aac_writer.h"
#include "media/encode/video_encoder.h"
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

// One decoder of the input, feeding one of the encoders.
struct Source {
    int inputIndex = -1;
    const AVStream* inputStream = nullptr;
    ffmpeg::CodecContext decoder;
    std::int64_t startOffset = 0;  // the input's start time, in the input stream's time base
};

class Transcoder {
public:
    Transcoder(const fs::path& input, const fs::path& output, Target target, std::stop_token stop)
        : stop_(std::move(stop)) {
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
            if (audioIndex >= 0) openAudio(audioIndex, AudioTrackCodec::aac);
        } else {
            if (audioIndex < 0) throw std::runtime_error("no audio stream");
            openAudio(audioIndex, target == Target::mp3Audio ? AudioTrackCodec::mp3 : AudioTrackCodec::aac);
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
            Source* source = sourceFor(packet->stream_index);
            if (source) decode(*source, packet.get(), frame.get());
            av_packet_unref(packet.get());
        }
        if (video_) decode(*video_, nullptr, frame.get());
        if (audio_) {
            decode(*audio_, nullptr, frame.get());
            resample(nullptr, 0);  // what the resampler still holds
            audioWriter_->finish(writeAudio());
        }
        if (video_) videoEncoder_->finish(writeVideo());
        check(av_write_trailer(output_.get()), "cannot finish the file");
        // Closing writes the last buffered bytes; a full disk shows up here.
        check(avio_closep(&output_->pb), "cannot finish writing the file");
    }

private:
    Source* sourceFor(int streamIndex) {
        if (video_ && video_->inputIndex == streamIndex) return &*video_;
        if (audio_ && audio_->inputIndex == streamIndex) return &*audio_;
        return nullptr;
    }

    Source openSource(int index) const {
        Source source;
        source.inputIndex = index;
        source.inputStream = input_->streams[index];
        source.decoder = openDecoder(source.inputStream);
        if (input_->start_time != AV_NOPTS_VALUE) {
            source.startOffset =
                av_rescale_q(input_->start_time, AVRational{1, AV_TIME_BASE}, source.inputStream->time_base);
        }
        return source;
    }

    void openVideo(int index) {
        Source source = openSource(index);
        VideoEncoderSettings settings;
        // 4:2:0 needs even sides; an odd source loses its last row or column.
        settings.width = std::max(2, source.decoder->width / 2 * 2);
        settings.height = std::max(2, source.decoder->height / 2 * 2);
        settings.timeBase = source.inputStream->time_base;
        const AVRational rate = av_guess_frame_rate(input_.get(), const_cast<AVStream*>(source.inputStream), nullptr);
        if (rate.num > 0 && rate.den > 0) settings.frameRate = rate;
        settings.fps = rate.num > 0 && rate.den > 0 ? std::max(1, static_cast<int>(std::lround(av_q2d(rate)))) : 30;
        settings.sampleAspectRatio = source.inputStream->sample_aspect_ratio.num > 0
                                         ? source.inputStream->sample_aspect_ratio
                                         : source.decoder->sample_aspect_ratio;
        settings.quality = 20;
        // Imports keep x264's own key-frame spacing rather than the recorder's two seconds.
        settings.keyFrameInterval = 250;
        // The pictures keep the source's own colours; nothing is converted into BT.709.
        settings.bt709 = false;
        settings.hardware = VideoHardware::off;
        videoEncoder_.emplace(*output_, settings);
        AVStream& stream = videoEncoder_->stream();
        if (settings.sampleAspectRatio.num > 0) stream.sample_aspect_ratio = settings.sampleAspectRatio;

        // A phone video held upright keeps playing upright.
        std::size_t size = 0;
        if (const std::uint8_t* matrix =
                av_stream_get_side_data(source.inputStream, AV_PKT_DATA_DISPLAYMATRIX, &size)) {
            std::uint8_t* copy = av_stream_new_side_data(&stream, AV_PKT_DATA_DISPLAYMATRIX, size);
            if (!copy) throw std::runtime_error("out of memory");
            std::memcpy(copy, matrix, size);
        }
        scaled_ = videoEncoder_->newPicture();
        video_ = std::move(source);
    }

    void openAudio(int index, AudioTrackCodec codec) {
        Source source = openSource(index);
        const int rate = AacWriter::supportedSampleRate(codec, source.decoder->sample_rate);
        const int channels = std::clamp(source.decoder->ch_layout.nb_channels, 1, 2);
        audioWriter_.emplace(*output_, rate, channels, kAudioBitRate, codec);

        // The writer's layout is a plain channel count; copying it cannot leave anything to free.
        AVChannelLayout outputLayout;
        check(av_channel_layout_copy(&outputLayout, &audioWriter_->context().ch_layout),
              "cannot read the channel layout");
        AVChannelLayout inputLayout;
        if (source.decoder->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
            av_channel_layout_default(&inputLayout, std::max(1, source.decoder->ch_layout.nb_channels));
        } else {
            check(av_channel_layout_copy(&inputLayout, &source.decoder->ch_layout), "cannot read the channel layout");
        }
        SwrContext* raw = nullptr;
        const int status = swr_alloc_set_opts2(&raw, &outputLayout, AV_SAMPLE_FMT_FLT, rate, &inputLayout,
                                               source.decoder->sample_fmt, source.decoder->sample_rate, 0, nullptr);
        av_channel_layout_uninit(&inputLayout);
        av_channel_layout_uninit(&outputLayout);
        resampler_.reset(raw);
        check(status, "cannot set up the resampler");
        check(swr_init(resampler_.get()), "cannot set up the resampler");
        audio_ = std::move(source);
    }

    void decode(Source& source, const AVPacket* packet, AVFrame* frame) {
        int status = avcodec_send_packet(source.decoder.get(), packet);
        if (status == AVERROR_INVALIDDATA) {
            // One damaged packet costs one frame, not the import.
            log::debug(log_area::kMedia, "skipping a damaged packet");
            return;
        }
        if (status < 0 && status != AVERROR_EOF) fail("cannot decode", status);
        for (;;) {
            status = avcodec_receive_frame(source.decoder.get(), frame);
            if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) return;
            if (status == AVERROR_INVALIDDATA) continue;
            check(status, "cannot decode");
            if (video_ && &source == &*video_) {
                convertVideoFrame(frame);
            } else {
                convertAudioFrame(frame);
            }
            av_frame_unref(frame);
        }
    }

    void convertVideoFrame(const AVFrame* frame) {
        const auto& encoder = videoEncoder_->context();
        scaler_.reset(sws_getCachedContext(scaler_.release(), frame->width, frame->height,
                                           static_cast<AVPixelFormat>(frame->format), encoder.width, encoder.height,
                                           videoEncoder_->pictureFormat(), SWS_BICUBIC, nullptr, nullptr, nullptr));
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
        videoEncoder_->encode(*scaled_, pts, writeVideo());
    }

    void convertAudioFrame(const AVFrame* frame) {
        if (!audioStarted_) {
            // Audio that starts after the picture keeps its delay, so the two stay in sync.
            const std::int64_t first = frame->best_effort_timestamp;
            if (first != AV_NOPTS_VALUE) {
                audioWriter_->startAt(
                    std::max<std::int64_t>(0, av_rescale_q(first - audio_->startOffset, audio_->inputStream->time_base,
                                                           AVRational{1, audioWriter_->sampleRate()})));
            }
            audioStarted_ = true;
        }
        resample(const_cast<const std::uint8_t**>(frame->extended_data), frame->nb_samples);
    }

    // Converts to the writer's rate and channels and hands the samples on; nothing in: the rest.
    void resample(const std::uint8_t** samples, int count) {
        const int room = swr_get_out_samples(resampler_.get(), count);
        check(room, "cannot resample");
        if (room == 0) return;
        const auto channels = static_cast<std::size_t>(audioWriter_->channels());
        converted_.resize(static_cast<std::size_t>(room) * channels);
        auto* out = reinterpret_cast<std::uint8_t*>(converted_.data());
        const int produced = swr_convert(resampler_.get(), &out, room, samples, count);
        check(produced, "cannot resample");
        if (produced > 0) audioWriter_->push(converted_.data(), static_cast<std::size_t>(produced), writeAudio());
    }

    AacWriter::PacketSink writeAudio() {
        return [this](AVPacket& packet) {
            check(av_interleaved_write_frame(output_.get(), &packet), "cannot write to the file");
        };
    }

    VideoEncoder::PacketSink writeVideo() {
        return [this](AVPacket& packet) {
            // Without a duration the muxer gives the last picture none, and the movie comes out a frame short.
            const AVRational rate = videoEncoder_->context().framerate;
            if (packet.duration == 0 && rate.num > 0 && rate.den > 0) {
                packet.duration = av_rescale_q(1, av_inv_q(rate), videoEncoder_->stream().time_base);
            }
            check(av_interleaved_write_frame(output_.get(), &packet), "cannot write to the file");
        };
    }

    std::stop_token stop_;
    ffmpeg::InputFormatContext input_;
    ffmpeg::OutputFormatContext output_;
    std::optional<Source> video_;
    std::optional<Source> audio_;
    std::optional<VideoEncoder> videoEncoder_;
    std::optional<AacWriter> audioWriter_;
    ffmpeg::ScaleContext scaler_;
    ffmpeg::Frame scaled_;
    ffmpeg::ResampleContext resampler_;
    std::vector<float> converted_;
    bool audioStarted_ = false;
    std::int64_t lastVideoPts_ = AV_NOPTS_VALUE;
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
