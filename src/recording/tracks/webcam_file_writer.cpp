#include "recording/tracks/webcam_file_writer.h"

#include <cmath>
#include <optional>
#include <stdexcept>

#include "base/log.h"
#include "base/log_areas.h"
#include "media/encode/aac_writer.h"
#include "media/encode/video_encoder.h"
#include "media/ffmpeg_handles.h"

namespace orvane {

namespace {

constexpr AVRational kVideoTimeBase{1, 90000};

void check(int status, const std::string& what) {
    if (status < 0) throw std::runtime_error(what + ": " + ffmpeg::errorText(status));
}

AVPixelFormat inputFormatOf(CameraPixelFormat format) {
    return format == CameraPixelFormat::yuyv422 ? AV_PIX_FMT_YUYV422 : AV_PIX_FMT_NONE;
}

}  // namespace

struct WebcamFileWriter::Impl {
    std::filesystem::path file;
    int width = 0;
    int height = 0;
    ffmpeg::OutputFormatContext output;
    std::unique_ptr<VideoEncoder> video;
    std::unique_ptr<AacWriter> audio;

    ffmpeg::CodecContext jpegDecoder;  // for cameras that send MJPEG
    ffmpeg::Frame decoded;
    ffmpeg::Frame yuv;
    ffmpeg::Packet packet;
    ffmpeg::ScaleContext scaler;

    mutable std::mutex muxMutex;  // the muxer, the origin, the error, and `finished`
    std::optional<std::chrono::steady_clock::time_point> origin;
    std::int64_t lastVideoPts = -1;
    std::int64_t framesWritten = 0;
    std::optional<std::int64_t> audioStartSample;  // where the first kept audio sample falls
    std::string error;
    bool finished = false;

    std::mutex audioMutex;  // the audio encoder

    void writeLocked(AVPacket& p) {
        std::lock_guard guard(muxMutex);
        check(av_interleaved_write_frame(output.get(), &p), "cannot write " + file.filename().string());
    }

    // The frame as planar 4:2:0 in `yuv`; false for a frame that does not decode.
    bool convert(const CameraFrame& frame) {
        const std::uint8_t* planes[4] = {frame.data, nullptr, nullptr, nullptr};
        int strides[4] = {frame.stride > 0 ? frame.stride : frame.width * 2, 0, 0, 0};
        AVPixelFormat format = inputFormatOf(frame.format);
        int sourceWidth = frame.width;
        int sourceHeight = frame.height;
        if (frame.format == CameraPixelFormat::mjpeg) {
            av_packet_unref(packet.get());
            packet->data = const_cast<std::uint8_t*>(frame.data);
            packet->size = static_cast<int>(frame.bytes);
            const int sent = avcodec_send_packet(jpegDecoder.get(), packet.get());
            packet->data = nullptr;
            packet->size = 0;
            if (sent < 0 || avcodec_receive_frame(jpegDecoder.get(), decoded.get()) < 0) return false;
            for (int i = 0; i < 4; ++i) {
                planes[i] = decoded->data[i];
                strides[i] = decoded->linesize[i];
            }
            format = static_cast<AVPixelFormat>(decoded->format);
            sourceWidth = decoded->width;
            sourceHeight = decoded->height;
        }
        scaler.reset(sws_getCachedContext(scaler.release(), sourceWidth, sourceHeight, format, width, height,
                                          AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr));
        if (!scaler) return false;
        check(av_frame_make_writable(yuv.get()), "cannot reuse the video frame");
        sws_scale(scaler.get(), planes, strides, 0, sourceHeight, yuv->data, yuv->linesize);
        return true;
    }
};

WebcamFileWriter::WebcamFileWriter(const std::filesystem::path& file, int width, int height, double frameRate,
                                   bool withAudio)
    : impl_(std::make_unique<Impl>()) {
    ffmpeg::routeLogging();
    if (width < 2 || height < 2) throw std::runtime_error("the camera reported no frame size");
    impl_->file = file;
    // libx264 wants even dimensions for 4:2:0.
    impl_->width = width & ~1;
    impl_->height = height & ~1;

    AVFormatContext* raw = nullptr;
    check(avformat_alloc_output_context2(&raw, nullptr, "mp4", file.c_str()), "cannot create " + file.string());
    impl_->output.reset(raw);

    VideoEncoderSettings video;
    video.width = impl_->width;
    video.height = impl_->height;
    video.fps = frameRate > 0 ? static_cast<int>(std::lround(frameRate)) : 30;
    video.timeBase = kVideoTimeBase;
    video.maxBFrames = 0;  // frames are written as they come; no reordering delay
    video.quality = 23;
    video.bt709 = false;  // the camera's pictures keep the camera's colours
    impl_->video = std::make_unique<VideoEncoder>(*raw, video);
    if (withAudio) impl_->audio = std::make_unique<AacWriter>(*raw, kAudioSampleRate, 1, 96000);

    const AVCodec* mjpeg = avcodec_find_decoder(AV_CODEC_ID_MJPEG);
    if (mjpeg) {
        impl_->jpegDecoder.reset(avcodec_alloc_context3(mjpeg));
        if (avcodec_open2(impl_->jpegDecoder.get(), mjpeg, nullptr) < 0) impl_->jpegDecoder.reset();
    }
    impl_->decoded.reset(av_frame_alloc());
    impl_->packet.reset(av_packet_alloc());
    if (!impl_->decoded || !impl_->packet) throw std::runtime_error("out of memory");
    impl_->yuv = impl_->video->newPicture();

    check(avio_open(&raw->pb, file.c_str(), AVIO_FLAG_WRITE), "cannot create " + file.string());
    AVDictionary* options = nullptr;
    av_dict_set(&options, "movflags", "frag_keyframe+empty_moov+default_base_moof", 0);
    const int status = avformat_write_header(raw, &options);
    av_dict_free(&options);
    if (status < 0) {
        impl_->output.reset();
        std::error_code ignored;
        std::filesystem::remove(file, ignored);
        check(status, "cannot write " + file.string());
    }
}

WebcamFileWriter::~WebcamFileWriter() { finish(); }

void WebcamFileWriter::appendFrame(const CameraFrame& frame) {
    {
        std::lock_guard guard(impl_->muxMutex);
        if (impl_->finished || !impl_->error.empty()) return;
        if (!impl_->origin) impl_->origin = frame.time;
    }
    try {
        if (frame.format == CameraPixelFormat::mjpeg && !impl_->jpegDecoder) {
            throw std::runtime_error("no MJPEG decoder for the camera's frames");
        }
        const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(frame.time - *impl_->origin);
        const std::int64_t pts = av_rescale_q(elapsed.count(), AVRational{1, 1000000}, kVideoTimeBase);
        if (pts <= impl_->lastVideoPts) return;
        if (!impl_->convert(frame)) {
            log::debug(log_area::kWebcam, "dropped a camera frame that did not decode");
            return;
        }
        impl_->lastVideoPts = pts;
        impl_->video->encode(*impl_->yuv, pts, [this](AVPacket& p) { impl_->writeLocked(p); });
        std::lock_guard guard(impl_->muxMutex);
        ++impl_->framesWritten;
    } catch (const std::exception& e) {
        std::lock_guard guard(impl_->muxMutex);
        if (impl_->error.empty()) impl_->error = e.what();
        log::warning(log_area::kWebcam, "face camera write failed: %s", e.what());
    }
}

void WebcamFileWriter::appendAudio(const float* mono, int frames, std::chrono::steady_clock::time_point captureTime) {
    if (!impl_->audio || frames <= 0) return;
    {
        std::lock_guard guard(impl_->muxMutex);
        if (impl_->finished || !impl_->error.empty() || !impl_->origin) return;
        if (!impl_->audioStartSample) {
            // The movie starts at its first frame: the part of the voice heard before it is cut off,
            // and the rest starts exactly at time 0.
            const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(captureTime - *impl_->origin);
            if (elapsed.count() < 0) {
                const auto early = av_rescale(-elapsed.count(), kAudioSampleRate, 1000000);
                if (early >= frames) return;
                mono += early;
                frames -= static_cast<int>(early);
                impl_->audioStartSample = 0;
            } else {
                impl_->audioStartSample = av_rescale(elapsed.count(), kAudioSampleRate, 1000000);
            }
            impl_->audio->startAt(*impl_->audioStartSample);
        }
    }
    std::lock_guard audioGuard(impl_->audioMutex);
    try {
        impl_->audio->push(mono, frames, [this](AVPacket& packet) { impl_->writeLocked(packet); });
    } catch (const std::exception& e) {
        std::lock_guard guard(impl_->muxMutex);
        if (impl_->error.empty()) impl_->error = e.what();
    }
}

std::int64_t WebcamFileWriter::finish() {
    {
        std::lock_guard guard(impl_->muxMutex);
        if (impl_->finished) return impl_->framesWritten;
    }
    try {
        impl_->video->finish([this](AVPacket& p) { impl_->writeLocked(p); });
        if (impl_->audio && impl_->audioStartSample) {
            std::lock_guard audioGuard(impl_->audioMutex);
            impl_->audio->finish([this](AVPacket& packet) { impl_->writeLocked(packet); });
        }
    } catch (const std::exception& e) {
        std::lock_guard guard(impl_->muxMutex);
        if (impl_->error.empty()) impl_->error = e.what();
    }
    std::lock_guard guard(impl_->muxMutex);
    impl_->finished = true;
    const int status = av_write_trailer(impl_->output.get());
    if (status < 0 && impl_->error.empty()) impl_->error = "cannot finish " + impl_->file.filename().string();
    impl_->output.reset();
    if (impl_->framesWritten == 0) {
        // An empty movie would read as a face track; none at all tells the recorder it did not save.
        std::error_code ignored;
        std::filesystem::remove(impl_->file, ignored);
    }
    return impl_->framesWritten;
}

std::string WebcamFileWriter::error() const {
    std::lock_guard guard(impl_->muxMutex);
    return impl_->error;
}

}  // namespace orvane
