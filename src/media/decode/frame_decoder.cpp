#include "media/decode/frame_decoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "media/ffmpeg_handles.h"
#include "media/frame_pixels.h"

namespace orvane {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void failReading(const fs::path& file, const std::string& what) {
    throw std::runtime_error("Couldn't read " + file.filename().string() + ": " + what);
}

// Pictures whose output frames are done come back for the next frame: a 1080p picture is 8 MB,
// and allocating it afresh every frame costs page faults and zero-filling.
class PicturePool : public std::enable_shared_from_this<PicturePool> {
public:
    std::unique_ptr<DecodedFrameImage> take() {
        std::lock_guard lock(mutex_);
        if (free_.empty()) return std::make_unique<DecodedFrameImage>();
        auto picture = std::move(free_.back());
        free_.pop_back();
        return picture;
    }

    // Shares `picture`; when the last holder lets go it returns here, or is freed once the reader
    // that made it is gone.
    DecodedFrame share(std::unique_ptr<DecodedFrameImage> picture) {
        std::weak_ptr<PicturePool> pool = weak_from_this();
        return DecodedFrame(picture.release(), [pool](const DecodedFrameImage* released) {
            std::unique_ptr<DecodedFrameImage> owned(const_cast<DecodedFrameImage*>(released));
            if (const auto alive = pool.lock()) alive->giveBack(std::move(owned));
        });
    }

private:
    // An export batch holds up to a dozen pictures at once; keeping fewer than a batch gives back
    // means freeing and faulting in megabytes again every batch. Never more is kept than were in
    // use at one time.
    static constexpr std::size_t kKept = 16;

    void giveBack(std::unique_ptr<DecodedFrameImage> picture) {
        std::lock_guard lock(mutex_);
        if (free_.size() < kKept) free_.push_back(std::move(picture));
    }

    std::mutex mutex_;
    std::vector<std::unique_ptr<DecodedFrameImage>> free_;
};

// Copies `source` (width x height) into `image` turned clockwise by `rotation` degrees.
void rotateInto(const std::uint8_t* source, int width, int height, int sourceStride, int rotation, RgbaImage& image) {
    for (int dy = 0; dy < image.height; ++dy) {
        auto* row = image.pixels.data() + static_cast<std::ptrdiff_t>(dy) * image.stride;
        for (int dx = 0; dx < image.width; ++dx) {
            int sx = dx;
            int sy = dy;
            switch (rotation) {
                case 90:
                    sx = dy;
                    sy = height - 1 - dx;
                    break;
                case 180:
                    sx = width - 1 - dx;
                    sy = height - 1 - dy;
                    break;
                case 270:
                    sx = width - 1 - dy;
                    sy = dx;
                    break;
                default: break;
            }
            std::memcpy(row + dx * 4, source + static_cast<std::ptrdiff_t>(sy) * sourceStride + sx * 4, 4);
        }
    }
}

}  // namespace

struct FrameDecoder::State {
    fs::path file;
    std::shared_ptr<PicturePool> pool = std::make_shared<PicturePool>();
    ffmpeg::InputFormatContext input;
    ffmpeg::CodecContext decoder;
    ffmpeg::Packet packet;
    ffmpeg::ScaleContext scaler;  // sws_getCachedContext reuses or replaces it
    AVStream* stream = nullptr;
    int streamIndex = -1;
    int rotation = 0;
    double timeBase = 0;
    std::int64_t origin = 0;
    double fallbackFrameDuration = 1.0 / 30;
    double displayWidth = 0;
    double displayHeight = 0;
    int outputWidth = 1;
    int outputHeight = 1;
    bool draining = false;
    bool finished = false;
    std::optional<double> lastTime;

    bool quarterTurn() const { return rotation == 90 || rotation == 270; }

    double frameTime(const AVFrame& frame) {
        std::int64_t pts = frame.best_effort_timestamp;
        if (pts == AV_NOPTS_VALUE) pts = frame.pts;
        const double time = pts == AV_NOPTS_VALUE ? (lastTime ? *lastTime + fallbackFrameDuration : 0.0)
                                                  : static_cast<double>(pts - origin) * timeBase;
        lastTime = time;
        return time;
    }

    void feedDecoder() {
        // Once draining, the decoder has everything and receive_frame ends with EOF.
        if (draining) return;
        for (;;) {
            const int status = av_read_frame(input.get(), packet.get());
            if (status == AVERROR_EOF) {
                draining = true;
                avcodec_send_packet(decoder.get(), nullptr);
                return;
            }
            if (status < 0) failReading(file, ffmpeg::errorText(status));
            if (packet->stream_index != streamIndex) {
                av_packet_unref(packet.get());
                continue;
            }
            const int sent = avcodec_send_packet(decoder.get(), packet.get());
            av_packet_unref(packet.get());
            // A damaged packet is skipped; later ones may still decode.
            if (sent < 0 && sent != AVERROR(EAGAIN)) continue;
            return;
        }
    }

    void scaleInto(const AVFrame& frame, std::uint8_t* pixels, int stride, int height) {
        std::uint8_t* destination[4] = {pixels, nullptr, nullptr, nullptr};
        const int strides[4] = {stride, 0, 0, 0};
        if (sws_scale(scaler.get(), frame.data, frame.linesize, 0, frame.height, destination, strides) != height) {
            failReading(file, "cannot convert a picture");
        }
    }
};

FrameDecoder::FrameDecoder(fs::path file, const DecodeOptions& options) : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.file = std::move(file);
    s.input = ffmpeg::openInput(s.file.string());
    if (!s.input) failReading(s.file, "not a movie FFmpeg can read");
    const AVCodec* codec = nullptr;
    s.streamIndex = av_find_best_stream(s.input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (s.streamIndex < 0 || !codec) failReading(s.file, "no video track");
    s.stream = s.input->streams[s.streamIndex];
    // Skip every other stream in the demuxer instead of reading and dropping its packets.
    for (unsigned i = 0; i < s.input->nb_streams; ++i) {
        if (static_cast<int>(i) != s.streamIndex) s.input->streams[i]->discard = AVDISCARD_ALL;
    }
    s.decoder.reset(avcodec_alloc_context3(codec));
    if (!s.decoder || avcodec_parameters_to_context(s.decoder.get(), s.stream->codecpar) < 0) {
        failReading(s.file, "cannot set up the decoder");
    }
    // Frame threads decode several pictures at once; reading forward is what every caller does.
    s.decoder->thread_count = std::max(options.threads, 0);
    s.decoder->thread_type = FF_THREAD_FRAME;
    if (const int status = avcodec_open2(s.decoder.get(), codec, nullptr); status < 0) {
        failReading(s.file, ffmpeg::errorText(status));
    }
    s.packet.reset(av_packet_alloc());
    if (!s.packet) throw std::bad_alloc();

    s.rotation = clockwiseRotation(s.stream);
    s.timeBase = av_q2d(s.stream->time_base);
    s.origin = s.stream->start_time == AV_NOPTS_VALUE ? 0 : s.stream->start_time;
    const AVRational rate = av_guess_frame_rate(s.input.get(), s.stream, nullptr);
    s.fallbackFrameDuration = rate.num > 0 && rate.den > 0 ? av_q2d(av_inv_q(rate)) : 1.0 / 30;

    const AVRational aspect = s.stream->codecpar->sample_aspect_ratio;
    const double pixelAspect = aspect.num > 0 && aspect.den > 0 ? av_q2d(aspect) : 1.0;
    double width = s.stream->codecpar->width * pixelAspect;
    double height = s.stream->codecpar->height;
    if (s.quarterTurn()) std::swap(width, height);
    s.displayWidth = width;
    s.displayHeight = height;
    const double scale =
        width > 0 && height > 0 ? std::min({1.0, options.maxWidth / width, options.maxHeight / height}) : 1.0;
    s.outputWidth = std::max(1, static_cast<int>(std::lround(width * scale)));
    s.outputHeight = std::max(1, static_cast<int>(std::lround(height * scale)));
}

FrameDecoder::~FrameDecoder() = default;

const fs::path& FrameDecoder::file() const { return state_->file; }

Size FrameDecoder::displaySize() const { return {state_->displayWidth, state_->displayHeight}; }

double FrameDecoder::duration() const {
    const State& s = *state_;
    if (s.stream->duration != AV_NOPTS_VALUE && s.stream->duration > 0) return s.stream->duration * s.timeBase;
    if (s.input->duration != AV_NOPTS_VALUE && s.input->duration > 0) {
        return static_cast<double>(s.input->duration) / AV_TIME_BASE;
    }
    return 0;
}

bool FrameDecoder::seek(double seconds) {
    State& s = *state_;
    const auto target = s.origin + static_cast<std::int64_t>(std::floor(std::max(seconds, 0.0) / s.timeBase));
    if (av_seek_frame(s.input.get(), s.streamIndex, target, AVSEEK_FLAG_BACKWARD) < 0) return false;
    avcodec_flush_buffers(s.decoder.get());
    s.draining = false;
    s.finished = false;
    s.lastTime.reset();
    return true;
}

std::optional<PendingFrame> FrameDecoder::read() {
    State& s = *state_;
    while (!s.finished) {
        std::shared_ptr<AVFrame> frame(av_frame_alloc(), ffmpeg::FrameDeleter());
        if (!frame) throw std::bad_alloc();
        const int received = avcodec_receive_frame(s.decoder.get(), frame.get());
        if (received == 0) {
            const double duration = frame->pkt_duration > 0 ? static_cast<double>(frame->pkt_duration) * s.timeBase : 0;
            return PendingFrame{s.frameTime(*frame), duration, std::move(frame), nullptr};
        }
        if (received == AVERROR_EOF) {
            s.finished = true;
            break;
        }
        if (received != AVERROR(EAGAIN)) failReading(s.file, ffmpeg::errorText(received));
        s.feedDecoder();
    }
    return std::nullopt;
}

std::optional<PendingFrame> FrameDecoder::readAt(double seconds) {
    seek(seconds);
    std::optional<PendingFrame> best;
    while (auto frame = read()) {
        if (best && frame->time > seconds + kFrameTimeTolerance) break;
        best = std::move(frame);
    }
    return best;
}

DecodedFrame FrameDecoder::convert(PendingFrame& pending) {
    if (pending.converted) return pending.converted;
    State& s = *state_;
    const AVFrame& frame = *pending.frame;
    if (frame.width <= 0 || frame.height <= 0) return nullptr;
    const bool turned = s.quarterTurn();
    const int scaledWidth = turned ? s.outputHeight : s.outputWidth;
    const int scaledHeight = turned ? s.outputWidth : s.outputHeight;
    const bool resized = scaledWidth != frame.width || scaledHeight != frame.height;
    s.scaler.reset(sws_getCachedContext(
        s.scaler.release(), frame.width, frame.height, static_cast<AVPixelFormat>(frame.format), scaledWidth,
        scaledHeight, AV_PIX_FMT_RGB32, resized ? SWS_BILINEAR : SWS_POINT, nullptr, nullptr, nullptr));
    if (!s.scaler) failReading(s.file, "cannot convert its pictures");
    // Screen recordings are mostly BT.709; reading them as BT.601 would shift every colour.
    const bool hd = frame.colorspace == AVCOL_SPC_BT709;
    sws_setColorspaceDetails(s.scaler.get(), sws_getCoefficients(hd ? SWS_CS_ITU709 : SWS_CS_DEFAULT),
                             frame.color_range == AVCOL_RANGE_JPEG ? 1 : 0, sws_getCoefficients(SWS_CS_DEFAULT), 1, 0,
                             1 << 16, 1 << 16);

    auto decoded = s.pool->take();
    decoded->time = pending.time;
    RgbaImage& image = decoded->image;
    image.width = s.outputWidth;
    image.height = s.outputHeight;
    image.stride = (s.outputWidth * 4 + 63) / 64 * 64;  // Cairo's ARGB32 wants 4-byte rows; SIMD likes 64
    image.pixels.resize(static_cast<std::size_t>(image.stride) * static_cast<std::size_t>(image.height));
    // AV_PIX_FMT_RGB32 is 0xAARRGGBB in native order, which is Cairo's ARGB32.
    if (s.rotation == 0) {
        s.scaleInto(frame, image.pixels.data(), image.stride, scaledHeight);
    } else {
        const int scaledStride = (scaledWidth * 4 + 63) / 64 * 64;
        std::vector<std::uint8_t> scaled(static_cast<std::size_t>(scaledStride) *
                                         static_cast<std::size_t>(scaledHeight));
        s.scaleInto(frame, scaled.data(), scaledStride, scaledHeight);
        rotateInto(scaled.data(), scaledWidth, scaledHeight, scaledStride, s.rotation, image);
    }
    if (pixelFormatHasAlpha(frame.format))
        premultiplyAlpha(image.pixels.data(), image.width, image.height, image.stride);
    pending.converted = s.pool->share(std::move(decoded));
    pending.frame.reset();  // the picture is kept converted; the decoder's buffer can go back
    return pending.converted;
}

}  // namespace orvane
