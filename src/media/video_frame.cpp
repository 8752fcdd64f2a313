#include "media/video_frame.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

extern "C" {
#include <libavutil/display.h>
#include <libavutil/pixdesc.h>
}

#include "base/atomic_file.h"
#include "base/log.h"
#include "media/cairo_handles.h"
#include "media/ffmpeg_handles.h"
#include "media/frame_pixels.h"
#include "media/media_log.h"

namespace orvane {

namespace {

// Decodes forward from the current read position and keeps the last frame at or before `target`
// (in stream time base); the first frame when every frame lies after it.
ffmpeg::Frame decodeFrameAt(AVFormatContext* input, AVCodecContext* decoder, int streamIndex, std::int64_t target) {
    ffmpeg::Packet packet(av_packet_alloc());
    ffmpeg::Frame decoded(av_frame_alloc());
    ffmpeg::Frame best(av_frame_alloc());
    if (!packet || !decoded || !best) return nullptr;
    bool haveBest = false;
    bool passedTarget = false;
    bool draining = false;

    while (!passedTarget) {
        if (!draining) {
            const int status = av_read_frame(input, packet.get());
            if (status < 0) {
                draining = true;
                avcodec_send_packet(decoder, nullptr);
            } else if (packet->stream_index != streamIndex) {
                av_packet_unref(packet.get());
                continue;
            } else {
                const int sent = avcodec_send_packet(decoder, packet.get());
                av_packet_unref(packet.get());
                // A damaged packet is skipped; later ones may still decode.
                if (sent < 0 && sent != AVERROR(EAGAIN)) continue;
            }
        }
        int received = 0;
        while (!passedTarget && (received = avcodec_receive_frame(decoder, decoded.get())) == 0) {
            std::int64_t pts = decoded->best_effort_timestamp;
            if (pts == AV_NOPTS_VALUE) pts = decoded->pts;
            const bool afterTarget = pts != AV_NOPTS_VALUE && pts > target;
            if (afterTarget && haveBest) {
                passedTarget = true;
            } else {
                av_frame_unref(best.get());
                av_frame_move_ref(best.get(), decoded.get());
                haveBest = true;
                passedTarget = afterTarget;
            }
            av_frame_unref(decoded.get());
        }
        if (draining && received == AVERROR_EOF) break;
        if (received < 0 && received != AVERROR(EAGAIN) && received != AVERROR_EOF) break;
    }
    return haveBest ? std::move(best) : nullptr;
}

// Copies `source` (w x h) into `image` turned clockwise by `rotation` degrees.
void rotateInto(const std::uint8_t* source, int width, int height, int sourceStride, int rotation, RgbaImage& image) {
    for (int dy = 0; dy < image.height; ++dy) {
        auto* destinationRow = image.pixels.data() + static_cast<std::ptrdiff_t>(dy) * image.stride;
        for (int dx = 0; dx < image.width; ++dx) {
            int sx = dx;
            int sy = dy;
            switch (rotation) {
                case 90: sx = dy; sy = height - 1 - dx; break;
                case 180: sx = width - 1 - dx; sy = height - 1 - dy; break;
                case 270: sx = width - 1 - dy; sy = dx; break;
                default: break;
            }
            std::memcpy(destinationRow + dx * 4, source + static_cast<std::ptrdiff_t>(sy) * sourceStride + sx * 4, 4);
        }
    }
}

}  // namespace

std::optional<RgbaImage> extractVideoFrame(const std::filesystem::path& video, double seconds, int maxWidth,
                                           int maxHeight) {
    if (maxWidth <= 0 || maxHeight <= 0 || std::isnan(seconds)) return std::nullopt;
    const auto input = ffmpeg::openInput(video.string());
    if (!input) return std::nullopt;

    const AVCodec* codec = nullptr;
    const int streamIndex = av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (streamIndex < 0 || !codec) {
        log::debug(kMediaLogArea, "no decodable video stream in %s", video.c_str());
        return std::nullopt;
    }
    AVStream* stream = input->streams[streamIndex];
    ffmpeg::CodecContext decoder(avcodec_alloc_context3(codec));
    if (!decoder || avcodec_parameters_to_context(decoder.get(), stream->codecpar) < 0) return std::nullopt;
    decoder->thread_count = 0;
    if (const int status = avcodec_open2(decoder.get(), codec, nullptr); status < 0) {
        log::warning(kMediaLogArea, "cannot open the decoder for %s: %s", video.c_str(),
                     ffmpeg::errorText(status).c_str());
        return std::nullopt;
    }

    // Times are on the movie's clock, which starts at the stream's first timestamp.
    const double timeBase = av_q2d(stream->time_base);
    const std::int64_t origin = stream->start_time == AV_NOPTS_VALUE ? 0 : stream->start_time;
    const double clampedSeconds = std::clamp(seconds, 0.0, 1e9);
    const std::int64_t target = origin + static_cast<std::int64_t>(std::floor(clampedSeconds / timeBase + 1e-6));
    // Backward lands on the key frame at or before the target; if seeking fails the decode starts
    // at the beginning, which is slower but still right.
    if (av_seek_frame(input.get(), streamIndex, target, AVSEEK_FLAG_BACKWARD) >= 0) {
        avcodec_flush_buffers(decoder.get());
    }
    const auto frame = decodeFrameAt(input.get(), decoder.get(), streamIndex, target);
    if (!frame || frame->width <= 0 || frame->height <= 0) {
        log::debug(kMediaLogArea, "no frame at %.3f s in %s", seconds, video.c_str());
        return std::nullopt;
    }

    const int rotation = clockwiseRotation(stream);
    const bool quarterTurn = rotation == 90 || rotation == 270;
    const AVRational aspect = frame->sample_aspect_ratio;
    const double pixelAspect = aspect.num > 0 && aspect.den > 0 ? av_q2d(aspect) : 1.0;
    double displayWidth = frame->width * pixelAspect;
    double displayHeight = frame->height;
    if (quarterTurn) std::swap(displayWidth, displayHeight);
    // Fit inside the box, never enlarging.
    const double scale = std::min({1.0, maxWidth / displayWidth, maxHeight / displayHeight});

    RgbaImage image;
    image.width = std::max(1, static_cast<int>(std::lround(displayWidth * scale)));
    image.height = std::max(1, static_cast<int>(std::lround(displayHeight * scale)));
    image.stride = cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, image.width);
    image.pixels.assign(static_cast<std::size_t>(image.stride) * static_cast<std::size_t>(image.height), 0);

    const int scaledWidth = quarterTurn ? image.height : image.width;
    const int scaledHeight = quarterTurn ? image.width : image.height;
    ffmpeg::ScaleContext scaler(sws_getContext(frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                                               scaledWidth, scaledHeight, AV_PIX_FMT_RGB32, SWS_BICUBIC, nullptr,
                                               nullptr, nullptr));
    if (!scaler) {
        log::warning(kMediaLogArea, "cannot convert %s frames", av_get_pix_fmt_name(static_cast<AVPixelFormat>(frame->format)));
        return std::nullopt;
    }
    // AV_PIX_FMT_RGB32 is 0xAARRGGBB in native order, which is Cairo's ARGB32.
    const int scaledStride = (scaledWidth * 4 + 63) / 64 * 64;
    std::vector<std::uint8_t> scaled(static_cast<std::size_t>(scaledStride) * static_cast<std::size_t>(scaledHeight));
    std::uint8_t* destination[4] = {scaled.data(), nullptr, nullptr, nullptr};
    const int destinationStride[4] = {scaledStride, 0, 0, 0};
    if (sws_scale(scaler.get(), frame->data, frame->linesize, 0, frame->height, destination, destinationStride) <= 0) {
        return std::nullopt;
    }
    if (pixelFormatHasAlpha(frame->format)) premultiplyAlpha(scaled.data(), scaledWidth, scaledHeight, scaledStride);
    rotateInto(scaled.data(), scaledWidth, scaledHeight, scaledStride, rotation, image);
    return image;
}

bool writePng(const RgbaImage& image, const std::filesystem::path& file) {
    const bool shapeOk = image.width > 0 && image.height > 0 && image.stride >= image.width * 4 &&
                         image.stride % 4 == 0 &&
                         image.pixels.size() >= static_cast<std::size_t>(image.stride) * static_cast<std::size_t>(image.height);
    if (!shapeOk) {
        log::warning(kMediaLogArea, "not writing %s: malformed image", file.c_str());
        return false;
    }
    // Cairo only reads the pixels while encoding; the cast is for its C signature.
    cairo::Surface surface(cairo_image_surface_create_for_data(const_cast<unsigned char*>(image.pixels.data()),
                                                               CAIRO_FORMAT_ARGB32, image.width, image.height,
                                                               image.stride));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return false;

    // Encoded to memory first so a failed write never leaves half a PNG where a good one was.
    std::string encoded;
    const auto append = [](void* closure, const unsigned char* data, unsigned int length) {
        static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
        return CAIRO_STATUS_SUCCESS;
    };
    if (cairo_surface_write_to_png_stream(surface.get(), append, &encoded) != CAIRO_STATUS_SUCCESS) return false;
    try {
        writeFileAtomically(file, encoded);
    } catch (const std::system_error& error) {
        log::warning(kMediaLogArea, "cannot write %s: %s", file.c_str(), error.what());
        return false;
    }
    return true;
}

}  // namespace orvane
