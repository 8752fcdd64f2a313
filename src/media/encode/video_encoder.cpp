#include "media/encode/video_encoder.h"

#include <algorithm>
#include <stdexcept>

extern "C" {
#include <libavutil/hwcontext.h>
#include <libavutil/opt.h>
}

#include "base/log.h"
#include "base/log_areas.h"
#include "media/encode/vaapi_device.h"

namespace orvane {

namespace {

void check(int status, const std::string& what) {
    if (status < 0) throw std::runtime_error(what + ": " + ffmpeg::errorText(status));
}

}  // namespace

ffmpeg::ScaleContext newBt709Converter(int width, int height, AVPixelFormat from, AVPixelFormat to, int swsFlags) {
    ffmpeg::ScaleContext converter(
        sws_getContext(width, height, from, width, height, to, swsFlags, nullptr, nullptr, nullptr));
    if (!converter) throw std::runtime_error("cannot convert the pictures for the encoder");
    sws_setColorspaceDetails(converter.get(), sws_getCoefficients(SWS_CS_ITU709), 1, sws_getCoefficients(SWS_CS_ITU709),
                             0, 0, 1 << 16, 1 << 16);
    return converter;
}

VideoEncoder::VideoEncoder(AVFormatContext& output, const VideoEncoderSettings& settings)
    : packet_(av_packet_alloc()), bt709_(settings.bt709) {
    ffmpeg::routeLogging();
    if (!packet_) throw std::bad_alloc();
    if (settings.width < 2 || settings.height < 2 || settings.width % 2 != 0 || settings.height % 2 != 0 ||
        settings.fps < 1) {
        throw std::runtime_error("cannot encode " + std::to_string(settings.width) + "x" +
                                 std::to_string(settings.height) + " at " + std::to_string(settings.fps) + " fps");
    }
    if (settings.hardware != VideoHardware::off) {
        try {
            openHardware(output, settings);
        } catch (const std::runtime_error& error) {
            if (settings.hardware == VideoHardware::required) throw;
            log::info(log_area::kMedia, "%s; encoding H.264 in software", error.what());
        }
    }
    if (!codec_) openSoftware(output, settings);

    stream_ = avformat_new_stream(&output, nullptr);
    if (!stream_) throw std::bad_alloc();
    check(avcodec_parameters_from_context(stream_->codecpar, codec_.get()), "cannot describe the video track");
    stream_->time_base = codec_->time_base;
    stream_->avg_frame_rate = codec_->framerate;
    if (settings.keyFrameAge) {
        keyFrameTicks_ = av_rescale_q(settings.keyFrameAge->count(), AVRational{1, 1'000'000}, codec_->time_base);
    }
}

void VideoEncoder::configure(AVCodecContext& c, AVFormatContext& output, const VideoEncoderSettings& settings,
                             std::int64_t bitRate) const {
    c.width = settings.width;
    c.height = settings.height;
    c.time_base = settings.timeBase.num > 0 ? settings.timeBase : AVRational{1, settings.fps};
    c.framerate =
        settings.frameRate.num > 0 && settings.frameRate.den > 0 ? settings.frameRate : AVRational{settings.fps, 1};
    c.gop_size = settings.keyFrameInterval > 0 ? settings.keyFrameInterval : 2 * settings.fps;
    if (settings.maxBFrames >= 0) c.max_b_frames = settings.maxBFrames;
    c.bit_rate = bitRate;
    if (settings.maxRate > 0) {
        c.rc_max_rate = settings.maxRate;
        c.rc_buffer_size = settings.bufferSize;
    }
    if (settings.sampleAspectRatio.num > 0) c.sample_aspect_ratio = settings.sampleAspectRatio;
    if (settings.bt709) {
        c.color_primaries = AVCOL_PRI_BT709;
        c.color_trc = AVCOL_TRC_BT709;
        c.colorspace = AVCOL_SPC_BT709;
        c.color_range = AVCOL_RANGE_MPEG;
    }
    c.thread_count = std::max(settings.threads, 0);
    if (output.oformat->flags & AVFMT_GLOBALHEADER) c.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
}

void VideoEncoder::openHardware(AVFormatContext& output, const VideoEncoderSettings& settings) {
    const char* name = settings.hevcOnHardware ? "hevc_vaapi" : "h264_vaapi";
    const AVCodec* codec = avcodec_find_encoder_by_name(name);
    if (!codec) throw std::runtime_error(std::string("no ") + name + " encoder");
    const auto node = settings.hardwareDevice.empty() ? vaapiRenderDevice() : settings.hardwareDevice;
    if (!node) throw std::runtime_error("no VAAPI render device");
    ffmpeg::BufferRef device = openVaapiDevice(*node);
    if (!device) throw std::runtime_error("cannot open " + *node);
    ffmpeg::BufferRef frames(av_hwframe_ctx_alloc(device.get()));
    if (!frames) throw std::runtime_error("cannot allocate GPU frames");
    auto* pool = reinterpret_cast<AVHWFramesContext*>(frames->data);
    pool->format = AV_PIX_FMT_VAAPI;
    pool->sw_format = AV_PIX_FMT_NV12;
    pool->width = settings.width;
    pool->height = settings.height;
    pool->initial_pool_size = 16;
    check(av_hwframe_ctx_init(frames.get()), "cannot set up GPU frames");

    ffmpeg::CodecContext context(avcodec_alloc_context3(codec));
    if (!context) throw std::bad_alloc();
    configure(*context, output, settings, settings.hardwareBitRate > 0 ? settings.hardwareBitRate : settings.bitRate);
    if (!settings.hevcOnHardware) context->profile = FF_PROFILE_H264_HIGH;
    context->pix_fmt = AV_PIX_FMT_VAAPI;
    context->hw_frames_ctx = av_buffer_ref(frames.get());
    // The device answered but may still refuse these settings.
    check(avcodec_open2(context.get(), codec, nullptr), name);
    codec_ = std::move(context);
    device_ = std::move(device);
    hardwareFrames_ = std::move(frames);
}

void VideoEncoder::openSoftware(AVFormatContext& output, const VideoEncoderSettings& settings) {
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (!codec) throw std::runtime_error("the H.264 encoder (libx264) is not available");
    codec_.reset(avcodec_alloc_context3(codec));
    if (!codec_) throw std::bad_alloc();
    configure(*codec_, output, settings, settings.bitRate);
    codec_->pix_fmt = AV_PIX_FMT_YUV420P;
    codec_->profile = FF_PROFILE_H264_HIGH;
    av_opt_set(codec_->priv_data, "preset", settings.x264Preset.c_str(), 0);
    // zerolatency drops the look-ahead and B-frames, so a live source's fragments close on time.
    if (settings.realtime) av_opt_set(codec_->priv_data, "tune", "zerolatency", 0);
    if (settings.bitRate == 0 && settings.quality > 0) av_opt_set_int(codec_->priv_data, "crf", settings.quality, 0);
    check(avcodec_open2(codec_.get(), codec, nullptr), "cannot open the H.264 encoder");
}

ffmpeg::Frame VideoEncoder::newPicture() const {
    ffmpeg::Frame picture(av_frame_alloc());
    if (!picture) throw std::bad_alloc();
    picture->format = pictureFormat();
    picture->width = codec_->width;
    picture->height = codec_->height;
    check(av_frame_get_buffer(picture.get(), 0), "cannot allocate a video frame");
    return picture;
}

ffmpeg::ScaleContext VideoEncoder::newConverter(AVPixelFormat sourceFormat, int swsFlags) const {
    // Matching what the track says it carries.
    if (bt709_) return newBt709Converter(codec_->width, codec_->height, sourceFormat, pictureFormat(), swsFlags);
    ffmpeg::ScaleContext converter(sws_getContext(codec_->width, codec_->height, sourceFormat, codec_->width,
                                                  codec_->height, pictureFormat(), swsFlags, nullptr, nullptr,
                                                  nullptr));
    if (!converter) throw std::runtime_error("cannot convert the pictures for the encoder");
    return converter;
}

void VideoEncoder::encode(AVFrame& picture, std::int64_t pts, const PacketSink& sink) {
    AVFrame* toSend = &picture;
    ffmpeg::Frame uploaded;
    if (onHardware()) {
        uploaded.reset(av_frame_alloc());
        if (!uploaded) throw std::bad_alloc();
        check(av_hwframe_get_buffer(hardwareFrames_.get(), uploaded.get(), 0), "cannot get a GPU frame");
        check(av_hwframe_transfer_data(uploaded.get(), &picture, 0), "cannot upload a frame to the GPU");
        toSend = uploaded.get();
    }
    toSend->pts = pts;
    const bool keyDue = keyFrameTicks_ > 0 && (lastKeyPts_ == AV_NOPTS_VALUE || pts - lastKeyPts_ >= keyFrameTicks_);
    toSend->pict_type = keyDue ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
    check(avcodec_send_frame(codec_.get(), toSend), "encoding failed");
    drain(sink);
}

void VideoEncoder::finish(const PacketSink& sink) {
    check(avcodec_send_frame(codec_.get(), nullptr), "encoding failed");
    drain(sink);
}

void VideoEncoder::drain(const PacketSink& sink) {
    for (;;) {
        const int status = avcodec_receive_packet(codec_.get(), packet_.get());
        if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) return;
        check(status, "encoding failed");
        if (packet_->flags & AV_PKT_FLAG_KEY) lastKeyPts_ = packet_->pts;
        av_packet_rescale_ts(packet_.get(), codec_->time_base, stream_->time_base);
        packet_->stream_index = stream_->index;
        sink(*packet_);
        av_packet_unref(packet_.get());
    }
}

}  // namespace orvane
