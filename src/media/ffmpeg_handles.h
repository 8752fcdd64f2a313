#pragma once

// Owning handles for the FFmpeg objects the media code uses, so every early return and every
// exception releases them. Include only in .cpp files that talk to FFmpeg.

#include <memory>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/buffer.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace orvane::ffmpeg {

struct InputFormatDeleter {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
// An opened input (avformat_open_input).
using InputFormatContext = std::unique_ptr<AVFormatContext, InputFormatDeleter>;

struct OutputFormatDeleter {
    void operator()(AVFormatContext* context) const {
        if (context->pb && !(context->oformat->flags & AVFMT_NOFILE)) avio_closep(&context->pb);
        avformat_free_context(context);
    }
};
// An output being muxed (avformat_alloc_output_context2); closes its file on release.
using OutputFormatContext = std::unique_ptr<AVFormatContext, OutputFormatDeleter>;

struct CodecContextDeleter {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
using CodecContext = std::unique_ptr<AVCodecContext, CodecContextDeleter>;

struct FrameDeleter {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
using Frame = std::unique_ptr<AVFrame, FrameDeleter>;

struct PacketDeleter {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
using Packet = std::unique_ptr<AVPacket, PacketDeleter>;

struct SwsContextDeleter {
    void operator()(SwsContext* context) const { sws_freeContext(context); }
};
using ScaleContext = std::unique_ptr<SwsContext, SwsContextDeleter>;

struct SwrContextDeleter {
    void operator()(SwrContext* context) const { swr_free(&context); }
};
using ResampleContext = std::unique_ptr<SwrContext, SwrContextDeleter>;

struct BufferRefDeleter {
    void operator()(AVBufferRef* buffer) const { av_buffer_unref(&buffer); }
};
// A reference to a hardware device or frame pool (av_hwdevice_ctx_create, av_hwframe_ctx_alloc).
using BufferRef = std::unique_ptr<AVBufferRef, BufferRefDeleter>;

struct AudioFifoDeleter {
    void operator()(AVAudioFifo* fifo) const { av_audio_fifo_free(fifo); }
};
using AudioFifo = std::unique_ptr<AVAudioFifo, AudioFifoDeleter>;

struct FilterGraphDeleter {
    void operator()(AVFilterGraph* graph) const { avfilter_graph_free(&graph); }
};
using FilterGraph = std::unique_ptr<AVFilterGraph, FilterGraphDeleter>;

struct FilterInOutDeleter {
    void operator()(AVFilterInOut* inout) const { avfilter_inout_free(&inout); }
};
using FilterInOut = std::unique_ptr<AVFilterInOut, FilterInOutDeleter>;

// av_strerror as a string ("Invalid data found when processing input").
std::string errorText(int errorCode);

// Opens `path` and reads its stream information; nothing (and a log line) when that fails.
InputFormatContext openInput(const std::string& path);

// Sends FFmpeg's own log lines (warnings and errors) to the system log under "Orvane.Media"
// instead of stderr. Idempotent; every media entry point calls it.
void routeLogging();

}  // namespace orvane::ffmpeg
