#include "export/gif_writer.h"

#include <cstring>
#include <stdexcept>
#include <string>

#include "export/export_error.h"
#include "media/ffmpeg_handles.h"

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/dict.h>
}

namespace orvane {

namespace {

[[noreturn]] void fail(const std::string& what, int code) {
    throw std::runtime_error("Couldn't write the GIF: " + what + " (" + ffmpeg::errorText(code) + ")");
}

void check(int code, const char* what) {
    if (code < 0) fail(what, code);
}

AVFilterContext* addFilter(AVFilterGraph* graph, const char* filterName, const char* name, const std::string& args) {
    AVFilterContext* context = nullptr;
    const AVFilter* filter = avfilter_get_by_name(filterName);
    if (!filter)
        throw std::runtime_error(std::string("Couldn't write the GIF: FFmpeg has no ") + filterName + " filter");
    check(avfilter_graph_create_filter(&context, filter, name, args.empty() ? nullptr : args.c_str(), nullptr, graph),
          filterName);
    return context;
}

std::string bufferArgs(int width, int height, int fps) {
    return "video_size=" + std::to_string(width) + "x" + std::to_string(height) +
           ":pix_fmt=" + std::to_string(static_cast<int>(AV_PIX_FMT_RGB32)) + ":time_base=1/" + std::to_string(fps) +
           ":pixel_aspect=1/1";
}

// The drawn image (Cairo's ARGB32, which is FFmpeg's RGB32) copied into a frame of its own.
ffmpeg::Frame frameFromImage(const RgbaImage& image, const GifWriterOptions& options, int index) {
    if (image.width != options.width || image.height != options.height || image.stride < image.width * 4 ||
        image.pixels.size() < static_cast<std::size_t>(image.stride) * static_cast<std::size_t>(image.height)) {
        throw std::runtime_error("Couldn't write the GIF: frame " + std::to_string(index) + " is " +
                                 std::to_string(image.width) + "x" + std::to_string(image.height) + ", expected " +
                                 std::to_string(options.width) + "x" + std::to_string(options.height));
    }
    ffmpeg::Frame frame(av_frame_alloc());
    if (!frame) throw std::bad_alloc();
    frame->format = AV_PIX_FMT_RGB32;
    frame->width = image.width;
    frame->height = image.height;
    check(av_frame_get_buffer(frame.get(), 0), "frame buffer");
    for (int y = 0; y < image.height; ++y) {
        std::memcpy(frame->data[0] + static_cast<std::ptrdiff_t>(y) * frame->linesize[0],
                    image.pixels.data() + static_cast<std::ptrdiff_t>(y) * image.stride,
                    static_cast<std::size_t>(image.width) * 4);
    }
    frame->pts = index;
    return frame;
}

// Pass one: every frame through palettegen, which answers one 16x16 palette at the end.
ffmpeg::Frame makePalette(const GifWriterOptions& options, const GifFrameAt& frameAt,
                          const std::function<void(double)>& progress, const std::stop_token& stop) {
    ffmpeg::FilterGraph graph(avfilter_graph_alloc());
    if (!graph) throw std::bad_alloc();
    auto* source = addFilter(graph.get(), "buffer", "in", bufferArgs(options.width, options.height, options.fps));
    auto* palettegen = addFilter(graph.get(), "palettegen", "palettegen", "");
    auto* sink = addFilter(graph.get(), "buffersink", "out", "");
    check(avfilter_link(source, 0, palettegen, 0), "link");
    check(avfilter_link(palettegen, 0, sink, 0), "link");
    check(avfilter_graph_config(graph.get(), nullptr), "palette graph");

    for (int index = 0; index < options.frameCount; ++index) {
        if (stop.stop_requested()) throw ExportCancelled();
        auto frame = frameFromImage(frameAt(index), options, index);
        check(av_buffersrc_add_frame(source, frame.get()), "palette input");
        if (progress) progress(0.5 * (index + 1) / options.frameCount);
    }
    check(av_buffersrc_add_frame(source, nullptr), "palette input");
    ffmpeg::Frame palette(av_frame_alloc());
    if (!palette) throw std::bad_alloc();
    check(av_buffersink_get_frame(sink, palette.get()), "palette");
    return palette;
}

class GifFile {
public:
    GifFile(const std::filesystem::path& output, const GifWriterOptions& options) : options_(options) {
        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_GIF);
        if (!codec) throw std::runtime_error("Couldn't write the GIF: FFmpeg has no GIF encoder");
        encoder_.reset(avcodec_alloc_context3(codec));
        if (!encoder_) throw std::bad_alloc();
        encoder_->width = options.width;
        encoder_->height = options.height;
        encoder_->pix_fmt = AV_PIX_FMT_PAL8;
        encoder_->time_base = AVRational{1, options.fps};
        encoder_->framerate = AVRational{options.fps, 1};
        check(avcodec_open2(encoder_.get(), codec, nullptr), "GIF encoder");

        AVFormatContext* raw = nullptr;
        check(avformat_alloc_output_context2(&raw, nullptr, "gif", output.c_str()), "GIF container");
        muxer_.reset(raw);
        stream_ = avformat_new_stream(raw, nullptr);
        if (!stream_) throw std::bad_alloc();
        check(avcodec_parameters_from_context(stream_->codecpar, encoder_.get()), "stream parameters");
        stream_->time_base = encoder_->time_base;
        check(avio_open(&raw->pb, output.c_str(), AVIO_FLAG_WRITE), "open the file");
        AVDictionary* rawOptions = nullptr;
        av_dict_set(&rawOptions, "loop", "0", 0);  // 0: loop forever
        const int written = avformat_write_header(raw, &rawOptions);
        av_dict_free(&rawOptions);
        check(written, "GIF header");
        packet_.reset(av_packet_alloc());
        if (!packet_) throw std::bad_alloc();
    }

    void encode(AVFrame* frame) {
        check(avcodec_send_frame(encoder_.get(), frame), "encode");
        while (true) {
            const int received = avcodec_receive_packet(encoder_.get(), packet_.get());
            if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) return;
            check(received, "encode");
            av_packet_rescale_ts(packet_.get(), encoder_->time_base, stream_->time_base);
            packet_->stream_index = stream_->index;
            check(av_interleaved_write_frame(muxer_.get(), packet_.get()), "write");
        }
    }

    void finish() {
        encode(nullptr);
        check(av_write_trailer(muxer_.get()), "GIF trailer");
    }

private:
    GifWriterOptions options_;
    ffmpeg::CodecContext encoder_;
    ffmpeg::OutputFormatContext muxer_;
    AVStream* stream_ = nullptr;
    ffmpeg::Packet packet_;
};

void encodeWithPalette(const std::filesystem::path& output, const GifWriterOptions& options, const AVFrame& palette,
                       const GifFrameAt& frameAt, const std::function<void(double)>& progress,
                       const std::stop_token& stop) {
    ffmpeg::FilterGraph graph(avfilter_graph_alloc());
    if (!graph) throw std::bad_alloc();
    auto* source = addFilter(graph.get(), "buffer", "in", bufferArgs(options.width, options.height, options.fps));
    auto* paletteSource =
        addFilter(graph.get(), "buffer", "palette", bufferArgs(palette.width, palette.height, options.fps));
    auto* paletteuse = addFilter(graph.get(), "paletteuse", "paletteuse", "");
    auto* sink = addFilter(graph.get(), "buffersink", "out", "");
    check(avfilter_link(source, 0, paletteuse, 0), "link");
    check(avfilter_link(paletteSource, 0, paletteuse, 1), "link");
    check(avfilter_link(paletteuse, 0, sink, 0), "link");
    check(avfilter_graph_config(graph.get(), nullptr), "palette graph");

    // paletteuse repeats its only palette frame for every picture once that input has ended.
    ffmpeg::Frame paletteCopy(av_frame_clone(&palette));
    if (!paletteCopy) throw std::bad_alloc();
    paletteCopy->pts = 0;
    check(av_buffersrc_add_frame(paletteSource, paletteCopy.get()), "palette");
    check(av_buffersrc_add_frame(paletteSource, nullptr), "palette");

    GifFile file(output, options);
    ffmpeg::Frame mapped(av_frame_alloc());
    if (!mapped) throw std::bad_alloc();
    auto drain = [&] {
        while (true) {
            const int got = av_buffersink_get_frame(sink, mapped.get());
            if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return;
            check(got, "paletteuse");
            file.encode(mapped.get());
            av_frame_unref(mapped.get());
        }
    };
    for (int index = 0; index < options.frameCount; ++index) {
        if (stop.stop_requested()) throw ExportCancelled();
        auto frame = frameFromImage(frameAt(index), options, index);
        check(av_buffersrc_add_frame(source, frame.get()), "frame input");
        drain();
        if (progress) progress(0.5 + 0.5 * (index + 1) / options.frameCount);
    }
    check(av_buffersrc_add_frame(source, nullptr), "frame input");
    drain();
    file.finish();
}

}  // namespace

void writeLoopingGif(const std::filesystem::path& output, const GifWriterOptions& options, const GifFrameAt& frameAt,
                     const std::function<void(double)>& progress, std::stop_token stop) {
    if (options.width < 1 || options.height < 1 || options.width > 65535 || options.height > 65535 || options.fps < 1 ||
        options.frameCount < 1) {
        throw std::invalid_argument("Couldn't write the GIF: it needs a size, a frame rate and at least one frame");
    }
    ffmpeg::routeLogging();
    try {
        const auto palette = makePalette(options, frameAt, progress, stop);
        encodeWithPalette(output, options, *palette, frameAt, progress, stop);
    } catch (...) {
        std::error_code ignored;
        std::filesystem::remove(output, ignored);
        throw;
    }
}

}  // namespace orvane
