#include "media/sample_video.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <stdexcept>
#include <string>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/display.h>
#include <libavutil/opt.h>
}

#include "base/atomic_file.h"
#include "base/log.h"
#include "base/log_areas.h"
#include "media/ffmpeg_handles.h"

namespace orvane {

namespace fs = std::filesystem;

namespace {

constexpr int kAudioRate = 48000;
constexpr double kToneHz = 440.0;

[[noreturn]] void fail(const std::string& what, int status) {
    throw std::runtime_error(what + ": " + ffmpeg::errorText(status));
}

void check(int status, const char* what) {
    if (status < 0) fail(what, status);
}

int boxSide(const SampleVideoSpec& options) { return std::max(2, std::min(options.width, options.height) / 4 / 2 * 2); }

// One encoder feeding one stream of the output.
struct Track {
    ffmpeg::CodecContext codec;
    AVStream* stream = nullptr;
    ffmpeg::Frame frame;
};

class SampleWriter {
public:
    SampleWriter(const fs::path& file, const SampleVideoSpec& options) : spec_(options) {
        AVFormatContext* raw = nullptr;
        check(avformat_alloc_output_context2(&raw, nullptr, "mp4", file.c_str()), "cannot set up the MP4 writer");
        output_.reset(raw);
        openVideo();
        if (spec_.withAudio) openAudio();
        check(avio_open(&output_->pb, file.c_str(), AVIO_FLAG_WRITE), "cannot create the file");
        check(avformat_write_header(output_.get(), nullptr), "cannot write the MP4 header");
    }

    void run() {
        const std::int64_t totalFrames = std::llround(spec_.seconds * spec_.fps);
        const std::int64_t totalSamples = spec_.withAudio ? std::llround(spec_.seconds * kAudioRate) : 0;
        std::int64_t frameIndex = 0;
        std::int64_t sampleIndex = 0;
        while (frameIndex < totalFrames || sampleIndex < totalSamples) {
            // Feed whichever track is behind so the muxer can interleave without buffering much.
            const bool videoNext =
                frameIndex < totalFrames &&
                (sampleIndex >= totalSamples ||
                 av_compare_ts(frameIndex, video_.codec->time_base, sampleIndex, audio_.codec->time_base) <= 0);
            if (videoNext) {
                fillVideo(frameIndex);
                video_.frame->pts = frameIndex++;
                encode(video_, video_.frame.get());
            } else {
                const int count = static_cast<int>(std::min<std::int64_t>(audio_.codec->frame_size, totalSamples - sampleIndex));
                fillAudio(sampleIndex, count);
                audio_.frame->pts = sampleIndex;
                sampleIndex += count;
                encode(audio_, audio_.frame.get());
            }
        }
        encode(video_, nullptr);
        if (spec_.withAudio) encode(audio_, nullptr);
        check(av_write_trailer(output_.get()), "cannot finish the MP4");
        // Closing flushes the last buffered bytes; a full disk shows up here.
        check(avio_closep(&output_->pb), "cannot finish writing the file");
    }

private:
    void openVideo() {
        const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
        if (!codec) throw std::runtime_error("the libx264 encoder is not available");
        video_.codec.reset(avcodec_alloc_context3(codec));
        if (!video_.codec) throw std::runtime_error("out of memory");
        AVCodecContext* context = video_.codec.get();
        context->width = spec_.width;
        context->height = spec_.height;
        context->time_base = AVRational{1, spec_.fps};
        context->framerate = AVRational{spec_.fps, 1};
        context->pix_fmt = AV_PIX_FMT_YUV420P;
        // A key frame every second, so readers have to seek and decode forward like on real footage.
        context->gop_size = spec_.fps;
        av_opt_set(context->priv_data, "preset", "ultrafast", 0);
        if (output_->oformat->flags & AVFMT_GLOBALHEADER) context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        check(avcodec_open2(context, codec, nullptr), "cannot open the H.264 encoder");

        video_.stream = newStream(video_);
        if (spec_.rotationDegrees != 0) {
            auto* side = av_stream_new_side_data(video_.stream, AV_PKT_DATA_DISPLAYMATRIX, 9 * sizeof(std::int32_t));
            if (!side) throw std::runtime_error("out of memory");
            std::int32_t matrix[9];
            // A matrix set to +90 makes players turn the picture clockwise (ffprobe shows -90, the
            // counter-clockwise reading, as for a phone held upright).
            av_display_rotation_set(matrix, spec_.rotationDegrees);
            std::memcpy(side, matrix, sizeof matrix);
        }

        video_.frame.reset(av_frame_alloc());
        if (!video_.frame) throw std::runtime_error("out of memory");
        video_.frame->format = context->pix_fmt;
        video_.frame->width = context->width;
        video_.frame->height = context->height;
        check(av_frame_get_buffer(video_.frame.get(), 0), "cannot allocate a video frame");
    }

    void openAudio() {
        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
        if (!codec) throw std::runtime_error("the AAC encoder is not available");
        audio_.codec.reset(avcodec_alloc_context3(codec));
        if (!audio_.codec) throw std::runtime_error("out of memory");
        AVCodecContext* context = audio_.codec.get();
        context->sample_fmt = AV_SAMPLE_FMT_FLTP;
        context->sample_rate = kAudioRate;
        av_channel_layout_default(&context->ch_layout, 2);
        context->bit_rate = 128000;
        context->time_base = AVRational{1, kAudioRate};
        if (output_->oformat->flags & AVFMT_GLOBALHEADER) context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        check(avcodec_open2(context, codec, nullptr), "cannot open the AAC encoder");

        audio_.stream = newStream(audio_);
        audio_.frame.reset(av_frame_alloc());
        if (!audio_.frame) throw std::runtime_error("out of memory");
        audio_.frame->format = context->sample_fmt;
        audio_.frame->sample_rate = context->sample_rate;
        audio_.frame->nb_samples = context->frame_size;
        check(av_channel_layout_copy(&audio_.frame->ch_layout, &context->ch_layout), "cannot set the channel layout");
        check(av_frame_get_buffer(audio_.frame.get(), 0), "cannot allocate an audio frame");
    }

    AVStream* newStream(Track& track) {
        AVStream* stream = avformat_new_stream(output_.get(), nullptr);
        if (!stream) throw std::runtime_error("out of memory");
        check(avcodec_parameters_from_context(stream->codecpar, track.codec.get()), "cannot describe a stream");
        stream->time_base = track.codec->time_base;
        return stream;
    }

    // A horizontal luma ramp over a vertical colour ramp, with a white box that moves every frame.
    void fillVideo(std::int64_t frameIndex) {
        AVFrame* frame = video_.frame.get();
        check(av_frame_make_writable(frame), "cannot reuse a video frame");
        const Rect box = sampleVideoBoxRect(spec_, frameIndex);
        const int boxLeft = static_cast<int>(box.x);
        const int boxTop = static_cast<int>(box.y);
        const int boxRight = boxLeft + static_cast<int>(box.width);
        const int boxBottom = boxTop + static_cast<int>(box.height);
        for (int y = 0; y < spec_.height; ++y) {
            std::uint8_t* row = frame->data[0] + static_cast<std::ptrdiff_t>(y) * frame->linesize[0];
            const bool boxRow = y >= boxTop && y < boxBottom;
            for (int x = 0; x < spec_.width; ++x) {
                row[x] = boxRow && x >= boxLeft && x < boxRight ? 235 : static_cast<std::uint8_t>(16 + x * 128 / spec_.width);
            }
        }
        for (int y = 0; y < spec_.height / 2; ++y) {
            std::uint8_t* u = frame->data[1] + static_cast<std::ptrdiff_t>(y) * frame->linesize[1];
            std::uint8_t* v = frame->data[2] + static_cast<std::ptrdiff_t>(y) * frame->linesize[2];
            const bool boxRow = y * 2 >= boxTop && y * 2 < boxBottom;
            for (int x = 0; x < spec_.width / 2; ++x) {
                const bool inBox = boxRow && x * 2 >= boxLeft && x * 2 < boxRight;
                u[x] = inBox ? 128 : static_cast<std::uint8_t>(64 + y * 256 / spec_.height);
                v[x] = inBox ? 128 : 96;
            }
        }
    }

    void fillAudio(std::int64_t firstSample, int count) {
        AVFrame* frame = audio_.frame.get();
        check(av_frame_make_writable(frame), "cannot reuse an audio frame");
        frame->nb_samples = count;
        for (int channel = 0; channel < 2; ++channel) {
            auto* samples = reinterpret_cast<float*>(frame->data[channel]);
            for (int i = 0; i < count; ++i) {
                const double t = static_cast<double>(firstSample + i) / kAudioRate;
                samples[i] = static_cast<float>(0.25 * std::sin(2.0 * std::numbers::pi * kToneHz * t));
            }
        }
    }

    void encode(Track& track, AVFrame* frame) {
        check(avcodec_send_frame(track.codec.get(), frame), "cannot encode");
        ffmpeg::Packet packet(av_packet_alloc());
        if (!packet) throw std::runtime_error("out of memory");
        for (;;) {
            const int status = avcodec_receive_packet(track.codec.get(), packet.get());
            if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) return;
            check(status, "cannot encode");
            av_packet_rescale_ts(packet.get(), track.codec->time_base, track.stream->time_base);
            packet->stream_index = track.stream->index;
            check(av_interleaved_write_frame(output_.get(), packet.get()), "cannot write to the file");
        }
    }

    SampleVideoSpec spec_;
    ffmpeg::OutputFormatContext output_;
    Track video_;
    Track audio_;
};

void validate(const SampleVideoSpec& options) {
    // 4:2:0 chroma needs even dimensions.
    if (options.width < 2 || options.height < 2 || options.width % 2 != 0 || options.height % 2 != 0 || options.width > 8192 ||
        options.height > 8192) {
        throw std::runtime_error("sample video size must be even and between 2 and 8192 pixels");
    }
    if (options.fps < 1 || options.fps > 240) throw std::runtime_error("sample video frame rate must be 1...240");
    if (!std::isfinite(options.seconds) || options.seconds < 0 || options.seconds > 3600) {
        throw std::runtime_error("sample video length must be 0...3600 seconds");
    }
    if (options.rotationDegrees % 90 != 0 || options.rotationDegrees < 0 || options.rotationDegrees >= 360) {
        throw std::runtime_error("sample video rotation must be 0, 90, 180 or 270");
    }
}

}  // namespace

Rect sampleVideoBoxRect(const SampleVideoSpec& options, std::int64_t frameIndex) {
    const int side = boxSide(options);
    const std::int64_t stepX = std::max(1, options.width / (2 * std::max(options.fps, 1)));
    const std::int64_t stepY = std::max(1, options.height / (3 * std::max(options.fps, 1)));
    const std::int64_t rangeX = std::max(1, options.width - side);
    const std::int64_t rangeY = std::max(1, options.height - side);
    const std::int64_t index = std::max<std::int64_t>(frameIndex, 0);
    return Rect{static_cast<double>(index * stepX % rangeX), static_cast<double>(index * stepY % rangeY),
                static_cast<double>(side), static_cast<double>(side)};
}

void writeSampleVideo(const fs::path& file, const SampleVideoSpec& options) {
    validate(options);
    ffmpeg::routeLogging();
    // Written beside the target under a hidden name and renamed at the end, so a failure never
    // leaves a half-written movie, nor replaces a good one, at `file`.
    const auto partial = partialSiblingPath(file);
    try {
        {
            SampleWriter writer(partial, options);
            writer.run();
        }
        fs::rename(partial, file);
    } catch (const std::exception& error) {
        std::error_code ignored;
        fs::remove(partial, ignored);
        log::warning(log_area::kMedia, "sample video %s failed: %s", file.c_str(), error.what());
        throw std::runtime_error(std::string("Couldn't write the sample video: ") + error.what());
    }
    log::debug(log_area::kMedia, "wrote sample video %s", file.c_str());
}

}  // namespace orvane
