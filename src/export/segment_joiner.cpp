#include "export/segment_joiner.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>

#include "media/ffmpeg_handles.h"

namespace orvane {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail(const std::string& what, int status) {
    throw std::runtime_error("Couldn't join the rendered segments: " + what + " (" + ffmpeg::errorText(status) + ")");
}

[[noreturn]] void fail(const std::string& what) {
    throw std::runtime_error("Couldn't join the rendered segments: " + what);
}

struct Segment {
    ffmpeg::InputFormatContext input;
    AVStream* stream = nullptr;
};

Segment openSegment(const fs::path& file) {
    Segment segment;
    AVFormatContext* raw = nullptr;
    if (const int status = avformat_open_input(&raw, file.c_str(), nullptr, nullptr); status < 0) {
        fail("cannot open " + file.filename().string(), status);
    }
    segment.input.reset(raw);
    if (const int status = avformat_find_stream_info(raw, nullptr); status < 0) {
        fail("cannot read " + file.filename().string(), status);
    }
    const int index = av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index < 0) fail(file.filename().string() + " has no video");
    segment.stream = raw->streams[index];
    return segment;
}

// One track has one set of parameter sets: segments from another encoder would not decode after
// the join.
bool sameFormat(const AVCodecParameters& a, const AVCodecParameters& b) {
    return a.codec_id == b.codec_id && a.width == b.width && a.height == b.height && a.format == b.format &&
           a.extradata_size == b.extradata_size &&
           (a.extradata_size == 0 ||
            std::memcmp(a.extradata, b.extradata, static_cast<std::size_t>(a.extradata_size)) == 0);
}

}  // namespace

std::optional<SegmentFormat> readSegmentFormat(const fs::path& file) {
    ffmpeg::routeLogging();
    try {
        const Segment segment = openSegment(file);
        const AVCodecParameters& p = *segment.stream->codecpar;
        SegmentFormat format{static_cast<int>(p.codec_id), p.width, p.height, p.format, {}};
        if (p.extradata_size > 0) format.parameterSets.assign(p.extradata, p.extradata + p.extradata_size);
        return format;
    } catch (const std::runtime_error&) {
        return std::nullopt;
    }
}

void combineSegmentVideos(const std::vector<fs::path>& segments, const fs::path& output, bool fastStart) {
    if (segments.empty()) fail("there are none");
    ffmpeg::routeLogging();
    Segment first = openSegment(segments.front());

    AVFormatContext* raw = nullptr;
    if (const int status = avformat_alloc_output_context2(&raw, nullptr, "mp4", output.c_str()); status < 0) {
        fail("cannot set up MP4", status);
    }
    ffmpeg::OutputFormatContext muxer(raw);
    AVStream* stream = avformat_new_stream(raw, nullptr);
    if (!stream) fail("out of memory");
    if (const int status = avcodec_parameters_copy(stream->codecpar, first.stream->codecpar); status < 0) {
        fail("cannot describe the track", status);
    }
    stream->codecpar->codec_tag = 0;
    stream->time_base = first.stream->time_base;
    stream->avg_frame_rate = first.stream->avg_frame_rate;
    if (const int status = avio_open(&raw->pb, output.c_str(), AVIO_FLAG_WRITE); status < 0) {
        fail("cannot create " + output.filename().string(), status);
    }
    AVDictionary* options = nullptr;
    if (fastStart) av_dict_set(&options, "movflags", "+faststart", 0);
    const int header = avformat_write_header(raw, &options);
    av_dict_free(&options);
    if (header < 0) fail("cannot write the MP4 header", header);

    ffmpeg::Packet packet(av_packet_alloc());
    if (!packet) fail("out of memory");
    std::int64_t offset = 0;  // output time base: where the current segment starts
    std::int64_t lastDts = AV_NOPTS_VALUE;
    for (std::size_t i = 0; i < segments.size(); ++i) {
        Segment segment = i == 0 ? std::move(first) : openSegment(segments[i]);
        if (!sameFormat(*segment.stream->codecpar, *stream->codecpar)) {
            throw SegmentMismatchError("Couldn't join the rendered segments: " + segments[i].filename().string() +
                                       " does not match the first segment");
        }
        const int index = segment.stream->index;
        std::int64_t end = offset;
        for (;;) {
            const int status = av_read_frame(segment.input.get(), packet.get());
            if (status == AVERROR_EOF) break;
            if (status < 0) fail("cannot read " + segments[i].filename().string(), status);
            if (packet->stream_index != index) {
                av_packet_unref(packet.get());
                continue;
            }
            av_packet_rescale_ts(packet.get(), segment.stream->time_base, stream->time_base);
            if (packet->pts != AV_NOPTS_VALUE) packet->pts += offset;
            if (packet->dts != AV_NOPTS_VALUE) packet->dts += offset;
            // Every segment is encoded alike, so decode order runs on across the joins; this only
            // guards against a segment whose reordering delay differs.
            if (packet->dts != AV_NOPTS_VALUE && lastDts != AV_NOPTS_VALUE && packet->dts <= lastDts) {
                packet->dts = lastDts + 1;
                if (packet->pts != AV_NOPTS_VALUE && packet->pts < packet->dts) packet->pts = packet->dts;
            }
            if (packet->dts != AV_NOPTS_VALUE) lastDts = packet->dts;
            if (packet->pts != AV_NOPTS_VALUE)
                end = std::max(end, packet->pts + std::max<std::int64_t>(packet->duration, 0));
            packet->stream_index = stream->index;
            packet->pos = -1;
            if (const int written = av_interleaved_write_frame(raw, packet.get()); written < 0) {
                fail("cannot write " + output.filename().string(), written);
            }
        }
        offset = end;
    }
    if (const int status = av_write_trailer(raw); status < 0) fail("cannot finish the MP4", status);
    if (const int status = avio_closep(&raw->pb); status < 0) fail("cannot finish writing the file", status);
}

}  // namespace orvane
