#include "audio/tempo_change.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>

#include "media/ffmpeg_handles.h"

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
}

namespace orvane {

namespace {

void check(int status, const char* what) {
    if (status < 0)
        throw std::runtime_error(std::string("Tempo change failed (") + what + "): " + ffmpeg::errorText(status));
}

// One atempo takes 0.5...100; slower speeds are reached by several halvings and a remainder.
std::string atempoChain(double speed) {
    std::string chain;
    char step[48];
    while (speed < 0.5) {
        chain += "atempo=0.5,";
        speed /= 0.5;
    }
    std::snprintf(step, sizeof step, "atempo=%.6f", std::min(speed, 100.0));
    // The sink hands back the packed float the caller works in.
    return chain + step + ",aformat=sample_fmts=flt";
}

}  // namespace

AudioBuffer changeTempo(const AudioBuffer& input, double speed, std::size_t targetFrames) {
    AudioBuffer out;
    out.sampleRate = input.sampleRate;
    out.channels = input.channels;
    const auto channels = static_cast<std::size_t>(input.channels);
    if (!(speed > 0) || !std::isfinite(speed)) throw std::runtime_error("Tempo change needs a positive speed");
    if (input.frames() > 0 && targetFrames > 0) {
        ffmpeg::routeLogging();
        ffmpeg::FilterGraph graph(avfilter_graph_alloc());
        if (!graph) throw std::bad_alloc();
        AVChannelLayout layout;
        av_channel_layout_default(&layout, input.channels);
        char layoutName[64];
        check(av_channel_layout_describe(&layout, layoutName, sizeof layoutName), "channel layout");
        char sourceArguments[192];
        std::snprintf(sourceArguments, sizeof sourceArguments,
                      "sample_rate=%d:sample_fmt=flt:channel_layout=%s:time_base=1/%d", input.sampleRate, layoutName,
                      input.sampleRate);
        AVFilterContext* source = nullptr;
        AVFilterContext* sink = nullptr;
        check(avfilter_graph_create_filter(&source, avfilter_get_by_name("abuffer"), "in", sourceArguments, nullptr,
                                           graph.get()),
              "source");
        check(avfilter_graph_create_filter(&sink, avfilter_get_by_name("abuffersink"), "out", nullptr, nullptr,
                                           graph.get()),
              "sink");
        ffmpeg::FilterInOut outputs(avfilter_inout_alloc());
        ffmpeg::FilterInOut inputs(avfilter_inout_alloc());
        if (!outputs || !inputs) throw std::bad_alloc();
        outputs->name = av_strdup("in");
        outputs->filter_ctx = source;
        inputs->name = av_strdup("out");
        inputs->filter_ctx = sink;
        AVFilterInOut* outputsRaw = outputs.release();
        AVFilterInOut* inputsRaw = inputs.release();
        const int parsed =
            avfilter_graph_parse_ptr(graph.get(), atempoChain(speed).c_str(), &inputsRaw, &outputsRaw, nullptr);
        avfilter_inout_free(&inputsRaw);
        avfilter_inout_free(&outputsRaw);
        check(parsed, "graph");
        check(avfilter_graph_config(graph.get(), nullptr), "configuration");

        ffmpeg::Frame frame(av_frame_alloc());
        if (!frame) throw std::bad_alloc();
        auto collect = [&] {
            while (true) {
                const int status = av_buffersink_get_frame(sink, frame.get());
                if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) return;
                check(status, "output");
                const auto* data = reinterpret_cast<const float*>(frame->data[0]);
                out.samples.insert(out.samples.end(), data,
                                   data + static_cast<std::size_t>(frame->nb_samples) * channels);
                av_frame_unref(frame.get());
            }
        };
        constexpr std::size_t kChunk = 4096;
        for (std::size_t start = 0; start < input.frames(); start += kChunk) {
            const std::size_t count = std::min(kChunk, input.frames() - start);
            ffmpeg::Frame chunk(av_frame_alloc());
            if (!chunk) throw std::bad_alloc();
            chunk->format = AV_SAMPLE_FMT_FLT;
            chunk->sample_rate = input.sampleRate;
            av_channel_layout_default(&chunk->ch_layout, input.channels);
            chunk->nb_samples = static_cast<int>(count);
            chunk->pts = static_cast<std::int64_t>(start);
            check(av_frame_get_buffer(chunk.get(), 0), "input");
            std::copy_n(input.samples.data() + start * channels, count * channels,
                        reinterpret_cast<float*>(chunk->data[0]));
            check(av_buffersrc_add_frame_flags(source, chunk.get(), AV_BUFFERSRC_FLAG_KEEP_REF), "input");
            collect();
        }
        check(av_buffersrc_add_frame_flags(source, nullptr, 0), "end of input");
        collect();
    }
    out.samples.resize(targetFrames * channels, 0.0f);
    return out;
}

}  // namespace orvane
