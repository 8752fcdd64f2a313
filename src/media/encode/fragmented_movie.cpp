#include "media/encode/fragmented_movie.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

extern "C" {
#include <libavutil/opt.h>
}

#include "base/log.h"
#include "base/log_areas.h"
#include "media/encode/aac_writer.h"
#include "media/encode/video_encoder.h"

namespace orvane {

namespace {

constexpr AVRational kVideoTimeBase{1, 90000};
constexpr int kAudioRate = 48000;
constexpr int kAudioChannels = 2;
constexpr std::int64_t kAudioBitRate = 192'000;
constexpr std::int64_t kH264BitRate = 18'000'000;
constexpr std::int64_t kHevcBitRate = 22'000'000;
constexpr int kProResProfile4444 = 4;

// Errors this file words itself; they pass through unchanged where a lower layer's error is worded.
class MovieError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

[[noreturn]] void fail(const std::string& what, const std::string& reason) {
    throw MovieError(what + " (" + reason + ")");
}

void check(int status, const char* what) {
    if (status < 0) fail(what, ffmpeg::errorText(status));
}

}  // namespace

struct FragmentedMovie::State {
    FragmentedMovieSettings settings;
    ffmpeg::OutputFormatContext output;
    std::unique_ptr<VideoEncoder> h264;
    ffmpeg::CodecContext prores;  // instead of h264, for alpha
    AVStream* videoStream = nullptr;
    ffmpeg::ScaleContext scaler;
    std::int64_t lastVideoPts = AV_NOPTS_VALUE;
    std::unique_ptr<AacWriter> audio;
    bool audioStarted = false;
    ffmpeg::Packet packet{av_packet_alloc()};

    // Fragments are cut here rather than by the muxer. It would close one whenever any track's
    // packet came long enough after the fragment's start, and then give the video's last picture
    // its packet duration instead of the time to the next picture, squeezing out the gap: a still
    // stretch cut by an audio packet would come out shorter than it was.
    //
    // So each video packet waits for the next one, which says how long it lasts, and a fragment
    // closes right after a video packet that reaches the fragment duration. Audio goes out at once.
    ffmpeg::Packet heldVideo{av_packet_alloc()};
    bool holdingVideo = false;
    std::int64_t fragmentStart = AV_NOPTS_VALUE;  // in the video stream's time base

    // ProRes 4444 keeps a 10-bit alpha plane next to full-resolution chroma; the encoder is quality
    // based, so the bit rate given is only a target it may not meet.
    void openProRes4444() {
        const AVCodec* codec = avcodec_find_encoder_by_name("prores_ks");
        if (!codec) throw std::runtime_error("The ProRes encoder (prores_ks) is not available.");
        prores.reset(avcodec_alloc_context3(codec));
        AVCodecContext& c = *prores;
        c.width = settings.width;
        c.height = settings.height;
        c.time_base = kVideoTimeBase;
        c.framerate = AVRational{settings.fps, 1};
        c.gop_size = keyFrameFrames();
        c.max_b_frames = 0;
        c.bit_rate = kHevcBitRate;
        c.color_primaries = AVCOL_PRI_BT709;
        c.color_trc = AVCOL_TRC_BT709;
        c.colorspace = AVCOL_SPC_BT709;
        c.color_range = AVCOL_RANGE_MPEG;
        if (output->oformat->flags & AVFMT_GLOBALHEADER) c.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        c.pix_fmt = AV_PIX_FMT_YUVA444P10LE;
        c.profile = kProResProfile4444;
        c.thread_count = 0;  // one slice thread per core
        av_opt_set_int(c.priv_data, "alpha_bits", 16, 0);
        check(avcodec_open2(&c, codec, nullptr), "Could not start the ProRes encoder");
        videoStream = avformat_new_stream(output.get(), nullptr);
        if (!videoStream) throw std::runtime_error("Could not add the video track.");
        videoStream->time_base = c.time_base;
        videoStream->avg_frame_rate = AVRational{settings.fps, 1};
        check(avcodec_parameters_from_context(videoStream->codecpar, &c), "Could not describe the video track");
    }

    // Hardware HEVC where a VAAPI device answers: less CPU while recording, which is what matters
    // most; H.264 in real time on the CPU otherwise.
    void openH264() {
        VideoEncoderSettings video;
        video.width = settings.width;
        video.height = settings.height;
        video.fps = settings.fps;
        video.timeBase = kVideoTimeBase;
        video.keyFrameInterval = keyFrameFrames();
        // A still screen sends a frame only every half fragment, which the frame-counted group
        // would stretch out, so a key frame is forced that much before the interval is up.
        video.keyFrameAge = settings.keyFrameInterval - settings.fragmentDuration / 2;
        video.maxBFrames = 0;
        video.bitRate = kH264BitRate;
        video.hardwareBitRate = kHevcBitRate;
        video.realtime = true;
        video.hardware = VideoHardware::preferred;
        video.hevcOnHardware = true;
        try {
            h264 = std::make_unique<VideoEncoder>(*output, video);
        } catch (const std::runtime_error& error) {
            fail("Could not start the H.264 encoder", error.what());
        }
        videoStream = &h264->stream();
    }

    // A key frame a second, so every second of the movie on disk decodes on its own.
    int keyFrameFrames() const {
        return std::max(1, static_cast<int>(settings.fps * settings.keyFrameInterval.count() / 1'000'000));
    }

    AVPixelFormat pictureFormat() const { return h264 ? h264->pictureFormat() : prores->pix_fmt; }

    // Straight to the muxer: a fragment keeps each track's samples apart anyway, and interleaving
    // would hold the video back for as long as the other track sends nothing (a system-audio
    // source that pauses while nothing plays).
    void write(AVPacket& out) {
        const int written = av_write_frame(output.get(), &out);
        av_packet_unref(&out);
        check(written, "Could not write the recording");
    }

    // Writes the held video packet, now that `next` says when it ends, and holds `next`. Without
    // `next` (the movie ends) the held packet lasts one frame.
    void writeVideo(AVPacket* next) {
        if (holdingVideo) {
            heldVideo->duration = next ? next->dts - heldVideo->dts
                                       : av_rescale_q(1, AVRational{1, settings.fps}, videoStream->time_base);
            const std::int64_t end = heldVideo->dts + heldVideo->duration;
            write(*heldVideo);
            holdingVideo = false;
            const auto fragmentTicks =
                av_rescale_q(settings.fragmentDuration.count(), AVRational{1, 1'000'000}, videoStream->time_base);
            if (next && end - fragmentStart >= fragmentTicks) {
                check(av_write_frame(output.get(), nullptr), "Could not write the recording");
                fragmentStart = end;
            }
        }
        if (!next) return;
        if (fragmentStart == AV_NOPTS_VALUE) fragmentStart = next->dts;
        av_packet_move_ref(heldVideo.get(), next);
        holdingVideo = true;
    }

    void encodeProRes(AVFrame* picture) {
        check(avcodec_send_frame(prores.get(), picture), "Could not encode the recording");
        for (;;) {
            const int status = avcodec_receive_packet(prores.get(), packet.get());
            if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) return;
            check(status, "Could not encode the recording");
            av_packet_rescale_ts(packet.get(), prores->time_base, videoStream->time_base);
            packet->stream_index = videoStream->index;
            writeVideo(packet.get());
        }
    }
};

FragmentedMovie::FragmentedMovie(const FragmentedMovieSettings& settings) : state_(std::make_unique<State>()) {
    ffmpeg::routeLogging();
    State& s = *state_;
    s.settings = settings;
    AVFormatContext* raw = nullptr;
    check(avformat_alloc_output_context2(&raw, nullptr, settings.withAlpha ? "mov" : "mp4", settings.file.c_str()),
          "Could not set up the movie file");
    s.output.reset(raw);
    if (settings.withAlpha) {
        s.openProRes4444();
    } else {
        s.openH264();
    }
    try {
        // Chroma from every pixel, averaged over each 2x2 block by the area filter: a proper 4:2:0
        // reduction, and faster than the default path that halves it while reading.
        s.scaler = newBt709Converter(settings.width, settings.height, AV_PIX_FMT_BGRA, s.pictureFormat(),
                                     SWS_AREA | SWS_FULL_CHR_H_INP);
        if (settings.withAudio) s.audio = std::make_unique<AacWriter>(*raw, kAudioRate, kAudioChannels, kAudioBitRate);
    } catch (const std::runtime_error& error) {
        fail("Could not set up the movie", error.what());
    }

    check(avio_open(&raw->pb, settings.file.c_str(), AVIO_FLAG_WRITE), "Could not create the movie file");
    // Fragments, each written out as soon as it closes.
    raw->flags |= AVFMT_FLAG_FLUSH_PACKETS;
    AVDictionary* options = nullptr;
    // Fragments are cut by writeVideo(), never by the muxer on its own.
    av_dict_set(&options, "movflags", "frag_custom+empty_moov+default_base_moof", 0);
    const int status = avformat_write_header(raw, &options);
    av_dict_free(&options);
    check(status, "Could not write the movie header");
    log::info(log_area::kRecorder, "writing %s: %dx%d at %d fps with %s%s", settings.file.c_str(), settings.width,
              settings.height, settings.fps, videoEncoderName().c_str(),
              settings.withAudio ? " and AAC system audio" : "");
}

FragmentedMovie::~FragmentedMovie() = default;

ffmpeg::Frame FragmentedMovie::newPicture() const {
    const State& s = *state_;
    ffmpeg::Frame picture(av_frame_alloc());
    if (!picture) throw std::runtime_error("Could not allocate a video frame.");
    picture->format = s.pictureFormat();
    picture->width = s.settings.width;
    picture->height = s.settings.height;
    check(av_frame_get_buffer(picture.get(), 0), "Could not allocate a video frame");
    return picture;
}

void FragmentedMovie::convert(const std::uint8_t* bgra, int stride, AVFrame& picture) {
    const std::uint8_t* source[1] = {bgra};
    const int sourceStride[1] = {stride};
    sws_scale(state_->scaler.get(), source, sourceStride, 0, state_->settings.height, picture.data, picture.linesize);
}

void FragmentedMovie::writeVideo(AVFrame& picture, Duration sinceStart) {
    State& s = *state_;
    std::int64_t pts = std::llround(std::chrono::duration<double>(sinceStart).count() * kVideoTimeBase.den);
    if (s.lastVideoPts != AV_NOPTS_VALUE && pts <= s.lastVideoPts) pts = s.lastVideoPts + 1;
    s.lastVideoPts = pts;
    if (!s.h264) {
        picture.pts = pts;
        s.encodeProRes(&picture);
        return;
    }
    try {
        s.h264->encode(picture, pts, [&s](AVPacket& packet) { s.writeVideo(&packet); });
    } catch (const MovieError&) {
        throw;  // a write that failed says so already
    } catch (const std::runtime_error& error) {
        fail("Could not encode the recording", error.what());
    }
}

void FragmentedMovie::writeAudio(const float* interleaved, int frames, int channels, int sampleRate,
                                 Duration sinceStart) {
    State& s = *state_;
    if (!s.audio) return;
    if (!s.audioStarted) {
        s.audio->startAt(
            std::max<std::int64_t>(0, std::llround(std::chrono::duration<double>(sinceStart).count() * kAudioRate)));
        s.audioStarted = true;
    }
    try {
        s.audio->pushConverted(interleaved, frames, channels, sampleRate, [&s](AVPacket& packet) { s.write(packet); });
    } catch (const std::runtime_error& error) {
        fail("Could not encode the audio", error.what());
    }
}

void FragmentedMovie::finish() {
    State& s = *state_;
    try {
        if (s.h264) {
            s.h264->finish([&s](AVPacket& packet) { s.writeVideo(&packet); });
        } else {
            s.encodeProRes(nullptr);
        }
        s.writeVideo(nullptr);
        if (s.audio) s.audio->finish([&s](AVPacket& packet) { s.write(packet); });
    } catch (const std::runtime_error& error) {
        fail("Could not finish the movie", error.what());
    }
    check(av_write_trailer(s.output.get()), "Could not finish the movie file");
    check(avio_closep(&s.output->pb), "Could not close the movie file");
}

std::string FragmentedMovie::videoEncoderName() const {
    return state_->h264 ? state_->h264->name() : state_->prores->codec->name;
}

}  // namespace orvane
