#include "render/export/h264_file_writer.h"

#include <algorithm>
#include <mutex>
#include <stdexcept>
#include <vector>

extern "C" {
#include <libavutil/hwcontext.h>
#include <libavutil/opt.h>
}

#include "base/log.h"
#include "media/ffmpeg_handles.h"
#include "render/export/export_error.h"

namespace orvane {

namespace fs = std::filesystem;

namespace {

constexpr const char* kLogArea = "Orvane.Export";

struct BufferRefDeleter {
    void operator()(AVBufferRef* buffer) const { av_buffer_unref(&buffer); }
};
using BufferRef = std::unique_ptr<AVBufferRef, BufferRefDeleter>;

// Set-up failures are logged with their reason and reach the user as the writer error.
[[noreturn]] void setupFailed(const fs::path& file, const std::string& why) {
    log::error(kLogArea, "cannot set up the video writer for %s: %s", file.c_str(), why.c_str());
    throw ExportError::writerSetup();
}

void checkSetup(int status, const fs::path& file, const char* what) {
    if (status < 0) setupFailed(file, std::string(what) + ": " + ffmpeg::errorText(status));
}

[[noreturn]] void writeFailed(const char* what, int status) {
    throw std::runtime_error(std::string("Couldn't write the video: ") + what + " (" + ffmpeg::errorText(status) + ")");
}

BufferRef openVaapiDevice(const std::string& node) {
    AVBufferRef* device = nullptr;
    if (av_hwdevice_ctx_create(&device, AV_HWDEVICE_TYPE_VAAPI, node.c_str(), nullptr, 0) < 0) return nullptr;
    return BufferRef(device);
}

}  // namespace

std::optional<std::string> vaapiRenderDevice() {
    static std::once_flag once;
    static std::optional<std::string> found;
    std::call_once(once, [] {
        ffmpeg::routeLogging();
        std::error_code error;
        std::vector<std::string> nodes;
        for (const auto& entry : fs::directory_iterator("/dev/dri", error)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("renderD", 0) == 0) nodes.push_back(entry.path().string());
        }
        std::sort(nodes.begin(), nodes.end());
        for (const auto& node : nodes) {
            if (openVaapiDevice(node)) {
                found = node;
                log::info(kLogArea, "hardware encoding through %s", node.c_str());
                return;
            }
        }
        log::debug(kLogArea, "no VAAPI render device; encoding in software");
    });
    return found;
}

struct H264FileWriter::State {
    fs::path file;
    OutputProfile profile;
    H264Encoder encoder;
    ffmpeg::OutputFormatContext output;
    ffmpeg::CodecContext codec;
    AVStream* stream = nullptr;
    BufferRef device;
    BufferRef hardwareFrames;
    ffmpeg::Frame picture;  // yuv420p (software) or nv12 (uploaded to the GPU)
    ffmpeg::Packet packet;
    ffmpeg::ScaleContext converter;
    bool finished = false;

    void openEncoder(const H264Settings& settings) {
        const bool hardware = encoder == H264Encoder::hardware;
        const AVCodec* codecType = avcodec_find_encoder_by_name(hardware ? "h264_vaapi" : "libx264");
        if (!codecType) setupFailed(file, hardware ? "no h264_vaapi encoder" : "no libx264 encoder");
        codec.reset(avcodec_alloc_context3(codecType));
        if (!codec) setupFailed(file, "out of memory");
        AVCodecContext* c = codec.get();
        c->width = profile.width;
        c->height = profile.height;
        c->time_base = AVRational{1, profile.fps};
        c->framerate = AVRational{profile.fps, 1};
        c->gop_size = 2 * profile.fps;
        c->bit_rate = profile.bitrate;
        // A VBV of 1.5x the average over two seconds keeps peaks streamable without starving
        // busy scenes (cursor motion over text) of bits.
        c->rc_max_rate = static_cast<std::int64_t>(profile.bitrate) * 3 / 2;
        c->rc_buffer_size = static_cast<int>(std::min<std::int64_t>(static_cast<std::int64_t>(profile.bitrate) * 2, INT32_MAX));
        c->profile = FF_PROFILE_H264_HIGH;
        c->sample_aspect_ratio = AVRational{1, 1};
        c->color_primaries = AVCOL_PRI_BT709;
        c->color_trc = AVCOL_TRC_BT709;
        c->colorspace = AVCOL_SPC_BT709;
        c->color_range = AVCOL_RANGE_MPEG;
        c->thread_count = std::max(settings.threads, 0);
        if (output->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;

        if (hardware) {
            const auto node = vaapiRenderDevice();
            if (!node) throw std::runtime_error("no VAAPI render device");
            device = openVaapiDevice(*node);
            if (!device) throw std::runtime_error("cannot open " + *node);
            hardwareFrames.reset(av_hwframe_ctx_alloc(device.get()));
            if (!hardwareFrames) throw std::runtime_error("cannot allocate GPU frames");
            auto* frames = reinterpret_cast<AVHWFramesContext*>(hardwareFrames->data);
            frames->format = AV_PIX_FMT_VAAPI;
            frames->sw_format = AV_PIX_FMT_NV12;
            frames->width = profile.width;
            frames->height = profile.height;
            frames->initial_pool_size = 16;
            if (const int status = av_hwframe_ctx_init(hardwareFrames.get()); status < 0) {
                throw std::runtime_error("cannot set up GPU frames: " + ffmpeg::errorText(status));
            }
            c->pix_fmt = AV_PIX_FMT_VAAPI;
            c->hw_frames_ctx = av_buffer_ref(hardwareFrames.get());
            if (const int status = avcodec_open2(c, codecType, nullptr); status < 0) {
                // The device answered but cannot encode this: the caller retries in software.
                throw std::runtime_error("h264_vaapi: " + ffmpeg::errorText(status));
            }
        } else {
            c->pix_fmt = AV_PIX_FMT_YUV420P;
            av_opt_set(c->priv_data, "preset", settings.x264Preset.c_str(), 0);
            av_opt_set(c->priv_data, "profile", "high", 0);
            checkSetup(avcodec_open2(c, codecType, nullptr), file, "cannot open libx264");
        }
    }

    void openPicture() {
        picture.reset(av_frame_alloc());
        if (!picture) setupFailed(file, "out of memory");
        picture->format = encoder == H264Encoder::hardware ? AV_PIX_FMT_NV12 : AV_PIX_FMT_YUV420P;
        picture->width = profile.width;
        picture->height = profile.height;
        checkSetup(av_frame_get_buffer(picture.get(), 0), file, "cannot allocate a frame");
        converter.reset(sws_getContext(profile.width, profile.height, AV_PIX_FMT_RGB32, profile.width, profile.height,
                                       static_cast<AVPixelFormat>(picture->format), SWS_POINT, nullptr, nullptr,
                                       nullptr));
        if (!converter) setupFailed(file, "cannot convert frames");
        // HD material is BT.709, limited range; tag and convert alike so players show the same colours.
        sws_setColorspaceDetails(converter.get(), sws_getCoefficients(SWS_CS_DEFAULT), 1,
                                 sws_getCoefficients(SWS_CS_ITU709), 0, 0, 1 << 16, 1 << 16);
        packet.reset(av_packet_alloc());
        if (!packet) setupFailed(file, "out of memory");
    }

    void drain(AVFrame* frame) {
        if (const int status = avcodec_send_frame(codec.get(), frame); status < 0) writeFailed("encoding failed", status);
        for (;;) {
            const int status = avcodec_receive_packet(codec.get(), packet.get());
            if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) return;
            if (status < 0) writeFailed("encoding failed", status);
            av_packet_rescale_ts(packet.get(), codec->time_base, stream->time_base);
            packet->stream_index = stream->index;
            if (const int written = av_interleaved_write_frame(output.get(), packet.get()); written < 0) {
                writeFailed("cannot write to the file", written);
            }
        }
    }
};

H264FileWriter::H264FileWriter(const fs::path& file, const OutputProfile& profile, H264Encoder encoder,
                               const H264Settings& settings)
    : state_(std::make_unique<State>()) {
    ffmpeg::routeLogging();
    State& s = *state_;
    s.file = file;
    s.profile = profile;
    s.encoder = encoder;
    // 4:2:0 needs even sizes.
    if (profile.width < 2 || profile.height < 2 || profile.width % 2 != 0 || profile.height % 2 != 0 ||
        profile.fps < 1 || profile.bitrate < 1) {
        setupFailed(file, "unsupported profile " + std::to_string(profile.width) + "x" + std::to_string(profile.height) +
                              " at " + std::to_string(profile.fps) + " fps");
    }
    AVFormatContext* raw = nullptr;
    checkSetup(avformat_alloc_output_context2(&raw, nullptr, "mp4", file.c_str()), file, "cannot set up MP4");
    s.output.reset(raw);
    s.openEncoder(settings);
    s.openPicture();

    s.stream = avformat_new_stream(s.output.get(), nullptr);
    if (!s.stream) setupFailed(file, "out of memory");
    checkSetup(avcodec_parameters_from_context(s.stream->codecpar, s.codec.get()), file, "cannot describe the track");
    s.stream->time_base = s.codec->time_base;
    s.stream->avg_frame_rate = AVRational{profile.fps, 1};
    checkSetup(avio_open(&s.output->pb, file.c_str(), AVIO_FLAG_WRITE), file, "cannot create the file");
    AVDictionary* options = nullptr;
    if (settings.fastStart) av_dict_set(&options, "movflags", "+faststart", 0);
    const int header = avformat_write_header(s.output.get(), &options);
    av_dict_free(&options);
    checkSetup(header, file, "cannot write the MP4 header");
}

H264FileWriter::~H264FileWriter() = default;

void H264FileWriter::append(const std::uint8_t* argb, int stride, std::int64_t frameIndex) {
    State& s = *state_;
    if (!argb || stride < s.profile.width * 4 || s.finished) throw ExportError::pixelBuffer();
    if (av_frame_make_writable(s.picture.get()) < 0) throw ExportError::pixelBuffer();
    const std::uint8_t* source[4] = {argb, nullptr, nullptr, nullptr};
    const int sourceStride[4] = {stride, 0, 0, 0};
    if (sws_scale(s.converter.get(), source, sourceStride, 0, s.profile.height, s.picture->data, s.picture->linesize) !=
        s.profile.height) {
        throw ExportError::pixelBuffer();
    }
    if (s.encoder == H264Encoder::software) {
        s.picture->pts = frameIndex;
        s.drain(s.picture.get());
        return;
    }
    ffmpeg::Frame uploaded(av_frame_alloc());
    if (!uploaded || av_hwframe_get_buffer(s.hardwareFrames.get(), uploaded.get(), 0) < 0) {
        throw ExportError::pixelBuffer();
    }
    if (const int status = av_hwframe_transfer_data(uploaded.get(), s.picture.get(), 0); status < 0) {
        writeFailed("cannot upload a frame to the GPU", status);
    }
    uploaded->pts = frameIndex;
    s.drain(uploaded.get());
}

void H264FileWriter::finish() {
    State& s = *state_;
    if (s.finished) return;
    s.finished = true;
    s.drain(nullptr);
    if (const int status = av_write_trailer(s.output.get()); status < 0) writeFailed("cannot finish the MP4", status);
    // Closing flushes the last buffered bytes; a full disk shows up here.
    if (const int status = avio_closep(&s.output->pb); status < 0) writeFailed("cannot finish the file", status);
}

}  // namespace orvane
