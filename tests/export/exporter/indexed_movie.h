#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <vector>

#include "export/h264_file_writer.h"
#include "media/ffmpeg_handles.h"
#include "media/video_frame.h"
#include "model/export_profile.h"

namespace orvane::testing {

// Six well-separated levels per channel survive 4:2:0 encoding of a flat frame.
inline constexpr int kLevels[6] = {30, 70, 110, 150, 190, 230};

inline std::uint32_t codeColour(int index) {
    const std::uint32_t r = kLevels[index % 6];
    const std::uint32_t g = kLevels[index / 6 % 6];
    const std::uint32_t b = kLevels[index / 36 % 6];
    return 0xff000000u | (r << 16) | (g << 8) | b;
}

inline std::optional<int> nearestLevel(int value) {
    for (int i = 0; i < 6; ++i) {
        if (std::abs(value - kLevels[i]) <= 12) return i;
    }
    return std::nullopt;
}

// A movie whose frame i is one flat colour that encodes i, so a decoded picture tells which frame
// it came from. Up to 216 frames; written with the exporter's own software encoder.
inline void writeIndexedMovie(const std::filesystem::path& file, int width, int height, int fps, int frames) {
    if (frames > 216) throw std::invalid_argument("at most 216 indexed frames");
    OutputProfile profile{width, height, fps, 2'000'000, ExportQuality::automatic};
    H264FileWriter writer(file, profile, H264Encoder::software);
    const int stride = width * 4;
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
    for (int i = 0; i < frames; ++i) {
        std::fill(pixels.begin(), pixels.end(), codeColour(i));
        writer.append(reinterpret_cast<const std::uint8_t*>(pixels.data()), stride, i);
    }
    writer.finish();
}

// The frame index a picture's centre encodes; nothing when the colour is not one of the codes.
inline std::optional<int> frameIndexOf(const RgbaImage& image) {
    if (image.width <= 0 || image.height <= 0) return std::nullopt;
    std::uint32_t pixel;
    std::memcpy(
        &pixel,
        image.pixels.data() + static_cast<std::ptrdiff_t>(image.height / 2) * image.stride + image.width / 2 * 4, 4);
    const auto r = nearestLevel(static_cast<int>(pixel >> 16 & 0xff));
    const auto g = nearestLevel(static_cast<int>(pixel >> 8 & 0xff));
    const auto b = nearestLevel(static_cast<int>(pixel & 0xff));
    if (!r || !g || !b) return std::nullopt;
    return *r + 6 * *g + 36 * *b;
}

// An animated GIF of flat frames: each colour (0xRRGGBB, each channel 0 or 255) shown for its
// delay in hundredths of a second.
struct GifFrame {
    std::uint32_t rgb = 0;
    int delayCentiseconds = 10;
};
inline void writeFlatGif(const std::filesystem::path& file, int width, int height,
                         const std::vector<GifFrame>& frames) {
    AVFormatContext* raw = nullptr;
    if (avformat_alloc_output_context2(&raw, nullptr, "gif", file.c_str()) < 0)
        throw std::runtime_error("no gif muxer");
    ffmpeg::OutputFormatContext output(raw);
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_GIF);
    ffmpeg::CodecContext encoder(avcodec_alloc_context3(codec));
    encoder->width = width;
    encoder->height = height;
    encoder->pix_fmt = AV_PIX_FMT_RGB8;  // 3-3-2 bits: full red, green and blue are exact
    encoder->time_base = AVRational{1, 100};
    if (avcodec_open2(encoder.get(), codec, nullptr) < 0) throw std::runtime_error("no gif encoder");
    AVStream* stream = avformat_new_stream(raw, nullptr);
    avcodec_parameters_from_context(stream->codecpar, encoder.get());
    stream->time_base = encoder->time_base;
    // The muxer learns a frame's delay from the next frame; the last one is given outright.
    AVDictionary* options = nullptr;
    av_dict_set_int(&options, "final_delay", frames.empty() ? 10 : frames.back().delayCentiseconds, 0);
    const bool opened =
        avio_open(&raw->pb, file.c_str(), AVIO_FLAG_WRITE) >= 0 && avformat_write_header(raw, &options) >= 0;
    av_dict_free(&options);
    if (!opened) throw std::runtime_error("cannot write " + file.string());
    ffmpeg::Frame frame(av_frame_alloc());
    frame->format = AV_PIX_FMT_RGB8;
    frame->width = width;
    frame->height = height;
    av_frame_get_buffer(frame.get(), 0);
    ffmpeg::Packet packet(av_packet_alloc());
    std::int64_t pts = 0;
    for (const auto& gif : frames) {
        av_frame_make_writable(frame.get());
        const int value =
            ((gif.rgb >> 16 & 0xff) ? 0xe0 : 0) | ((gif.rgb >> 8 & 0xff) ? 0x1c : 0) | ((gif.rgb & 0xff) ? 0x03 : 0);
        for (int y = 0; y < height; ++y) std::memset(frame->data[0] + y * frame->linesize[0], value, width);
        frame->pts = pts;
        avcodec_send_frame(encoder.get(), frame.get());
        while (avcodec_receive_packet(encoder.get(), packet.get()) == 0) {
            packet->duration = gif.delayCentiseconds;
            av_packet_rescale_ts(packet.get(), encoder->time_base, stream->time_base);
            av_interleaved_write_frame(raw, packet.get());
        }
        pts += gif.delayCentiseconds;
    }
    av_write_trailer(raw);
}

// What a movie file holds, read packet by packet with libavformat.
struct MovieFacts {
    int packets = 0;
    double frameRate = 0;
    int profile = -1;  // FF_PROFILE_H264_*
    int width = 0;
    int height = 0;
    bool isH264 = false;
    std::vector<std::int64_t> framePositions;  // each packet's pts in frames, sorted
};
inline MovieFacts probeMovie(const std::filesystem::path& file) {
    MovieFacts facts;
    const auto input = ffmpeg::openInput(file.string());
    if (!input) throw std::runtime_error("cannot open " + file.string());
    const int index = av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index < 0) throw std::runtime_error("no video in " + file.string());
    const AVStream* stream = input->streams[index];
    facts.frameRate = av_q2d(stream->avg_frame_rate);
    facts.profile = stream->codecpar->profile;
    facts.width = stream->codecpar->width;
    facts.height = stream->codecpar->height;
    facts.isH264 = stream->codecpar->codec_id == AV_CODEC_ID_H264;
    ffmpeg::Packet packet(av_packet_alloc());
    while (av_read_frame(input.get(), packet.get()) >= 0) {
        if (packet->stream_index == index) {
            ++facts.packets;
            const double seconds = static_cast<double>(packet->pts) * av_q2d(stream->time_base);
            facts.framePositions.push_back(std::llround(seconds * facts.frameRate));
        }
        av_packet_unref(packet.get());
    }
    std::sort(facts.framePositions.begin(), facts.framePositions.end());
    return facts;
}

}  // namespace orvane::testing
