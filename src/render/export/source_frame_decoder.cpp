#include "render/export/source_frame_decoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <string>

extern "C" {
#include <libavutil/display.h>
#include <libavutil/pixdesc.h>
}

#include "media/ffmpeg_handles.h"
#include "media/frame_pixels.h"

namespace orvane {

namespace fs = std::filesystem;

namespace {

// Decoded frames within this much of a requested time count as at it: times go through doubles on
// both sides and a frame at exactly t must not be missed by a rounding error.
constexpr double kTimeTolerance = 0.0001;

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
    static constexpr std::size_t kKept = 4;  // a batch in flight needs few: frames repeat or move on

    void giveBack(std::unique_ptr<DecodedFrameImage> picture) {
        std::lock_guard lock(mutex_);
        if (free_.size() < kKept) free_.push_back(std::move(picture));
    }

    std::mutex mutex_;
    std::vector<std::unique_ptr<DecodedFrameImage>> free_;
};

// One decoded frame not yet converted; converting is the expensive part and frames that no output
// frame shows are never converted.
struct PendingFrame {
    double time = 0;
    double duration = 0;  // 0 when the file does not say
    std::shared_ptr<AVFrame> frame;
    DecodedFrame converted;
};

// The video stream of one file: demuxer, decoder and converter to ARGB32 at the decode size.
class StreamReader {
public:
    StreamReader(fs::path file, const DecodeOptions& options) : file_(std::move(file)) {
        ffmpeg::routeLogging();
        AVFormatContext* raw = nullptr;
        if (const int status = avformat_open_input(&raw, file_.c_str(), nullptr, nullptr); status < 0) {
            failReading(file_, ffmpeg::errorText(status));
        }
        input_.reset(raw);
        if (const int status = avformat_find_stream_info(input_.get(), nullptr); status < 0) {
            failReading(file_, ffmpeg::errorText(status));
        }
        const AVCodec* codec = nullptr;
        streamIndex_ = av_find_best_stream(input_.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
        if (streamIndex_ < 0 || !codec) failReading(file_, "no video track");
        stream_ = input_->streams[streamIndex_];
        // Skip every other stream in the demuxer instead of reading and dropping its packets.
        for (unsigned i = 0; i < input_->nb_streams; ++i) {
            if (static_cast<int>(i) != streamIndex_) input_->streams[i]->discard = AVDISCARD_ALL;
        }
        decoder_.reset(avcodec_alloc_context3(codec));
        if (!decoder_ || avcodec_parameters_to_context(decoder_.get(), stream_->codecpar) < 0) {
            failReading(file_, "cannot set up the decoder");
        }
        decoder_->thread_count = std::max(options.threads, 0);
        if (const int status = avcodec_open2(decoder_.get(), codec, nullptr); status < 0) {
            failReading(file_, ffmpeg::errorText(status));
        }
        packet_.reset(av_packet_alloc());
        if (!packet_) throw std::bad_alloc();

        rotation_ = clockwiseRotation(stream_);
        timeBase_ = av_q2d(stream_->time_base);
        origin_ = stream_->start_time == AV_NOPTS_VALUE ? 0 : stream_->start_time;
        const AVRational rate = av_guess_frame_rate(input_.get(), stream_, nullptr);
        fallbackFrameDuration_ = rate.num > 0 && rate.den > 0 ? av_q2d(av_inv_q(rate)) : 1.0 / 30;

        const AVRational aspect = stream_->codecpar->sample_aspect_ratio;
        const double pixelAspect = aspect.num > 0 && aspect.den > 0 ? av_q2d(aspect) : 1.0;
        double width = stream_->codecpar->width * pixelAspect;
        double height = stream_->codecpar->height;
        if (quarterTurn()) std::swap(width, height);
        displayWidth_ = width;
        displayHeight_ = height;
        const double scale = width > 0 && height > 0
                                 ? std::min({1.0, options.maxWidth / width, options.maxHeight / height})
                                 : 1.0;
        outputWidth_ = std::max(1, static_cast<int>(std::lround(width * scale)));
        outputHeight_ = std::max(1, static_cast<int>(std::lround(height * scale)));
    }

    const fs::path& file() const { return file_; }
    Size displaySize() const { return {displayWidth_, displayHeight_}; }

    double duration() const {
        if (stream_->duration != AV_NOPTS_VALUE && stream_->duration > 0) return stream_->duration * timeBase_;
        if (input_->duration != AV_NOPTS_VALUE && input_->duration > 0) {
            return static_cast<double>(input_->duration) / AV_TIME_BASE;
        }
        return 0;
    }

    // Moves the read position to the key frame at or before `seconds`. False when the file cannot
    // seek; the read position is then unchanged.
    bool seek(double seconds) {
        const auto target = origin_ + static_cast<std::int64_t>(std::floor(std::max(seconds, 0.0) / timeBase_));
        if (av_seek_frame(input_.get(), streamIndex_, target, AVSEEK_FLAG_BACKWARD) < 0) return false;
        avcodec_flush_buffers(decoder_.get());
        draining_ = false;
        finished_ = false;
        lastTime_.reset();
        return true;
    }

    // The next frame in presentation order; nothing at the end of the file.
    std::optional<PendingFrame> read() {
        while (!finished_) {
            std::shared_ptr<AVFrame> frame(av_frame_alloc(), [](AVFrame* f) { av_frame_free(&f); });
            if (!frame) throw std::bad_alloc();
            const int received = avcodec_receive_frame(decoder_.get(), frame.get());
            if (received == 0) {
                const double duration = frame->pkt_duration > 0 ? static_cast<double>(frame->pkt_duration) * timeBase_ : 0;
                return PendingFrame{frameTime(*frame), duration, std::move(frame), nullptr};
            }
            if (received == AVERROR_EOF) {
                finished_ = true;
                break;
            }
            if (received != AVERROR(EAGAIN)) failReading(file_, ffmpeg::errorText(received));
            feedDecoder();
        }
        return std::nullopt;
    }

    DecodedFrame convert(PendingFrame& pending) {
        if (pending.converted) return pending.converted;
        const AVFrame& frame = *pending.frame;
        if (frame.width <= 0 || frame.height <= 0) return nullptr;
        const bool turned = quarterTurn();
        const int scaledWidth = turned ? outputHeight_ : outputWidth_;
        const int scaledHeight = turned ? outputWidth_ : outputHeight_;
        const bool resized = scaledWidth != frame.width || scaledHeight != frame.height;
        scaler_ = sws_getCachedContext(scaler_, frame.width, frame.height, static_cast<AVPixelFormat>(frame.format),
                                       scaledWidth, scaledHeight, AV_PIX_FMT_RGB32,
                                       resized ? SWS_BILINEAR : SWS_POINT, nullptr, nullptr, nullptr);
        if (!scaler_) failReading(file_, "cannot convert its pictures");
        // Screen recordings are mostly BT.709; reading them as BT.601 would shift every colour.
        const bool hd = frame.colorspace == AVCOL_SPC_BT709;
        sws_setColorspaceDetails(scaler_, sws_getCoefficients(hd ? SWS_CS_ITU709 : SWS_CS_DEFAULT),
                                 frame.color_range == AVCOL_RANGE_JPEG ? 1 : 0, sws_getCoefficients(SWS_CS_DEFAULT), 1,
                                 0, 1 << 16, 1 << 16);

        auto decoded = pool_->take();
        decoded->time = pending.time;
        RgbaImage& image = decoded->image;
        image.width = outputWidth_;
        image.height = outputHeight_;
        image.stride = (outputWidth_ * 4 + 63) / 64 * 64;  // Cairo's ARGB32 wants 4-byte rows; SIMD likes 64
        // AV_PIX_FMT_RGB32 is 0xAARRGGBB in native order, which is Cairo's ARGB32.
        if (rotation_ == 0) {
            image.pixels.resize(static_cast<std::size_t>(image.stride) * static_cast<std::size_t>(image.height));
            scaleInto(frame, image.pixels.data(), image.stride, scaledHeight);
        } else {
            const int scaledStride = (scaledWidth * 4 + 63) / 64 * 64;
            std::vector<std::uint8_t> scaled(static_cast<std::size_t>(scaledStride) * static_cast<std::size_t>(scaledHeight));
            scaleInto(frame, scaled.data(), scaledStride, scaledHeight);
            image.pixels.resize(static_cast<std::size_t>(image.stride) * static_cast<std::size_t>(image.height));
            rotateInto(scaled.data(), scaledWidth, scaledHeight, scaledStride, image);
        }
        if (pixelFormatHasAlpha(frame.format)) premultiplyAlpha(image.pixels.data(), image.width, image.height, image.stride);
        pending.converted = pool_->share(std::move(decoded));
        pending.frame.reset();  // the picture is kept converted; the decoder's buffer can go back
        return pending.converted;
    }

    ~StreamReader() { sws_freeContext(scaler_); }
    StreamReader(const StreamReader&) = delete;
    StreamReader& operator=(const StreamReader&) = delete;

private:
    bool quarterTurn() const { return rotation_ == 90 || rotation_ == 270; }

    double frameTime(const AVFrame& frame) {
        std::int64_t pts = frame.best_effort_timestamp;
        if (pts == AV_NOPTS_VALUE) pts = frame.pts;
        double time = pts == AV_NOPTS_VALUE ? (lastTime_ ? *lastTime_ + fallbackFrameDuration_ : 0.0)
                                            : static_cast<double>(pts - origin_) * timeBase_;
        lastTime_ = time;
        return time;
    }

    void feedDecoder() {
        if (draining_) {
            // The decoder has everything; receive_frame ends with EOF.
            return;
        }
        for (;;) {
            const int status = av_read_frame(input_.get(), packet_.get());
            if (status == AVERROR_EOF) {
                draining_ = true;
                avcodec_send_packet(decoder_.get(), nullptr);
                return;
            }
            if (status < 0) failReading(file_, ffmpeg::errorText(status));
            if (packet_->stream_index != streamIndex_) {
                av_packet_unref(packet_.get());
                continue;
            }
            const int sent = avcodec_send_packet(decoder_.get(), packet_.get());
            av_packet_unref(packet_.get());
            // A damaged packet is skipped; later ones may still decode.
            if (sent < 0 && sent != AVERROR(EAGAIN)) continue;
            return;
        }
    }

    void scaleInto(const AVFrame& frame, std::uint8_t* pixels, int stride, int height) {
        std::uint8_t* destination[4] = {pixels, nullptr, nullptr, nullptr};
        const int strides[4] = {stride, 0, 0, 0};
        if (sws_scale(scaler_, frame.data, frame.linesize, 0, frame.height, destination, strides) != height) {
            failReading(file_, "cannot convert a picture");
        }
    }

    void rotateInto(const std::uint8_t* source, int width, int height, int sourceStride, RgbaImage& image) const {
        for (int dy = 0; dy < image.height; ++dy) {
            auto* row = image.pixels.data() + static_cast<std::ptrdiff_t>(dy) * image.stride;
            for (int dx = 0; dx < image.width; ++dx) {
                int sx = dx;
                int sy = dy;
                switch (rotation_) {
                    case 90: sx = dy; sy = height - 1 - dx; break;
                    case 180: sx = width - 1 - dx; sy = height - 1 - dy; break;
                    case 270: sx = width - 1 - dy; sy = dx; break;
                    default: break;
                }
                std::memcpy(row + dx * 4, source + static_cast<std::ptrdiff_t>(sy) * sourceStride + sx * 4, 4);
            }
        }
    }

    fs::path file_;
    std::shared_ptr<PicturePool> pool_ = std::make_shared<PicturePool>();
    ffmpeg::InputFormatContext input_;
    ffmpeg::CodecContext decoder_;
    ffmpeg::Packet packet_;
    SwsContext* scaler_ = nullptr;  // sws_getCachedContext reuses or replaces it
    AVStream* stream_ = nullptr;
    int streamIndex_ = -1;
    int rotation_ = 0;
    double timeBase_ = 0;
    std::int64_t origin_ = 0;
    double fallbackFrameDuration_ = 1.0 / 30;
    double displayWidth_ = 0;
    double displayHeight_ = 0;
    int outputWidth_ = 1;
    int outputHeight_ = 1;
    bool draining_ = false;
    bool finished_ = false;
    std::optional<double> lastTime_;
};

}  // namespace

VideoFileInfo readVideoFileInfo(const fs::path& file) {
    StreamReader reader(file, DecodeOptions{});
    return {reader.displaySize(), reader.duration()};
}

double randomAccessTime(double t, double assetDuration, double frameDuration) {
    if (assetDuration <= 0) return std::max(t, 0.0);
    return std::max(std::min(t, std::max(assetDuration - std::max(frameDuration, 0.001), 0.0)), 0.0);
}

// --- Sequential -----------------------------------------------------------------------------------

struct SequentialSourceFrameDecoder::State {
    fs::path file;
    double frameDuration;
    DecodeOptions options;
    std::unique_ptr<StreamReader> reader;
    std::optional<PendingFrame> current;
    std::optional<PendingFrame> next;
    bool didPrime = false;
    bool isFinished = false;
    std::optional<double> answeredTime;

    std::optional<PendingFrame> read() {
        if (isFinished) return std::nullopt;
        auto frame = reader->read();
        if (!frame) isFinished = true;
        return frame;
    }

    void prime(double t) {
        didPrime = true;
        reader = std::make_unique<StreamReader>(file, options);
        // Start at the last key frame at or before the first time asked for: the frame shown at t
        // is the last one no later than half a frame after t, so nothing before that key frame is
        // needed, and a segment that starts on a key frame decodes no earlier group of pictures.
        // The tolerance keeps a time computed a hair short of a key frame on it. A segment in the
        // middle of a long recording must not decode everything before it.
        const double target = t + kTimeTolerance;
        const bool sought = t > 0 && reader->seek(target);
        current = read();
        next = read();
        // A seek can land after the time: the index is searched by decode time, and with B-frames a
        // key frame decodes before it shows. Step further back until the first frame is early enough.
        for (double back = 1; sought && current && current->time > t + frameDuration / 2 + kTimeTolerance; back *= 4) {
            const double earlier = std::max(target - back, 0.0);
            if (!reader->seek(earlier)) break;
            isFinished = false;
            current = read();
            next = read();
            if (earlier == 0) break;
        }
    }
};

SequentialSourceFrameDecoder::SequentialSourceFrameDecoder(fs::path file, double frameDuration, DecodeOptions options)
    : state_(std::make_unique<State>(State{std::move(file), frameDuration, options, {}, {}, {}, false, false, {}})) {}

SequentialSourceFrameDecoder::~SequentialSourceFrameDecoder() = default;

DecodedFrame SequentialSourceFrameDecoder::frameAt(double t) {
    State& s = *state_;
    if (!s.didPrime) s.prime(t);
    while (s.next && t + s.frameDuration / 2 + kTimeTolerance >= s.next->time) {
        s.current = std::move(s.next);
        s.next = s.read();
    }
    PendingFrame* shown = s.current ? &*s.current : (s.next ? &*s.next : nullptr);
    if (!shown) return nullptr;
    auto frame = s.reader->convert(*shown);
    if (frame) s.answeredTime = frame->time;
    return frame;
}

bool SequentialSourceFrameDecoder::isFinished() const { return state_->isFinished; }

std::optional<double> SequentialSourceFrameDecoder::currentTime() const { return state_->answeredTime; }

// --- Random access --------------------------------------------------------------------------------

struct RandomAccessFrameSource::State {
    fs::path file;
    double frameDuration;
    DecodeOptions options;
    std::unique_ptr<StreamReader> reader;
    std::optional<double> lastTarget;
    DecodedFrame lastFrame;
};

RandomAccessFrameSource::RandomAccessFrameSource(fs::path file, double frameDuration, DecodeOptions options)
    : state_(std::make_unique<State>(State{std::move(file), frameDuration, options, {}, {}, {}})) {}

RandomAccessFrameSource::~RandomAccessFrameSource() = default;

DecodedFrame RandomAccessFrameSource::frameAt(double t) {
    State& s = *state_;
    if (!s.reader) s.reader = std::make_unique<StreamReader>(s.file, s.options);
    const double target = randomAccessTime(t, s.reader->duration(), s.frameDuration);
    if (s.lastTarget && *s.lastTarget == target) return s.lastFrame;
    s.reader->seek(target);
    std::optional<PendingFrame> best;
    while (auto frame = s.reader->read()) {
        if (best && frame->time > target + kTimeTolerance) break;
        best = std::move(frame);
    }
    s.lastTarget = target;
    s.lastFrame = best ? s.reader->convert(*best) : nullptr;
    return s.lastFrame;
}

// --- Animations -----------------------------------------------------------------------------------

std::optional<DecodedAnimation> decodeAnimation(const fs::path& file, const DecodeOptions& options) {
    std::unique_ptr<StreamReader> reader;
    try {
        reader = std::make_unique<StreamReader>(file, options);
    } catch (const std::runtime_error&) {
        return std::nullopt;
    }
    std::vector<PendingFrame> pending;
    while (auto frame = reader->read()) pending.push_back(std::move(*frame));
    if (pending.size() < 2) return std::nullopt;

    DecodedAnimation animation;
    double previousEnd = 0;
    for (std::size_t i = 0; i < pending.size(); ++i) {
        // A frame lasts until the next one starts; the last one as long as the file says, or as
        // long as the one before it.
        const double lastDuration =
            pending[i].duration > 0 ? pending[i].duration : pending[i].time - pending[i - 1].time;
        double end = i + 1 < pending.size() ? pending[i + 1].time : pending[i].time + lastDuration;
        end = std::max(end, previousEnd + 0.01);  // zero-delay frames still show for a moment
        auto converted = reader->convert(pending[i]);
        if (!converted) continue;
        animation.frames.push_back(std::move(converted));
        animation.cumulativeEndTimes.push_back(end);
        previousEnd = end;
    }
    if (animation.frames.size() < 2) return std::nullopt;
    return animation;
}

}  // namespace orvane
