#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

#include "audio/audio_buffer.h"
#include "media/ffmpeg_handles.h"
#include "media/sample_video.h"
#include "model/scene_render_snapshot.h"

namespace orvane::testing {

// What a movie file holds, read with libavformat.
struct StreamSummary {
    std::int64_t videoPackets = 0;
    std::int64_t audioPackets = 0;
    std::optional<int> audioCodec;  // AVCodecID
    int audioRate = 0;
    int audioChannels = 0;
};

inline StreamSummary summariseStreams(const std::filesystem::path& file) {
    StreamSummary summary;
    auto input = ffmpeg::openInput(file.string());
    if (!input) return summary;
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const auto* parameters = input->streams[i]->codecpar;
        if (parameters->codec_type == AVMEDIA_TYPE_AUDIO && !summary.audioCodec) {
            summary.audioCodec = parameters->codec_id;
            summary.audioRate = parameters->sample_rate;
            summary.audioChannels = parameters->ch_layout.nb_channels;
        }
    }
    ffmpeg::Packet packet(av_packet_alloc());
    while (av_read_frame(input.get(), packet.get()) >= 0) {
        const auto type = input->streams[packet->stream_index]->codecpar->codec_type;
        if (type == AVMEDIA_TYPE_VIDEO) ++summary.videoPackets;
        if (type == AVMEDIA_TYPE_AUDIO) ++summary.audioPackets;
        av_packet_unref(packet.get());
    }
    return summary;
}

// A recording folder with "screen.mp4" (320x180, a 440 Hz tone at 0.25 in both channels) and a
// snapshot over it: one clip of the whole file, trimmed to all of it.
inline SceneRenderSnapshot toneRecordingSnapshot(const std::filesystem::path& folder, double seconds) {
    writeSampleVideo(folder / "screen.mp4", {.width = 320, .height = 180, .seconds = seconds, .withAudio = true});
    SceneRenderSnapshot snapshot;
    snapshot.videoPath = folder / "screen.mp4";
    snapshot.clipBaseDirectory = folder;
    snapshot.edit.timeline.clips = {Clip{Uuid::random(), "screen.mp4", 0, seconds, 0}};
    snapshot.edit.timeline.trimEnd = seconds;
    return snapshot;
}

// A silent rendered video (320x180, 30 fps).
inline std::filesystem::path writeRenderedVideo(const std::filesystem::path& folder, double seconds) {
    const auto file = folder / "video-only.mp4";
    writeSampleVideo(file, {.width = 320, .height = 180, .seconds = seconds, .withAudio = false});
    return file;
}

// The dominant frequency of a stretch, from its zero crossings (first channel).
inline double zeroCrossingFrequency(const AudioBuffer& buffer, double from, double to) {
    const auto first = static_cast<std::size_t>(from * buffer.sampleRate);
    const auto last = static_cast<std::size_t>(to * buffer.sampleRate);
    const auto ch = static_cast<std::size_t>(buffer.channels);
    int crossings = 0;
    for (std::size_t i = first + 1; i < last && i < buffer.frames(); ++i) {
        const float a = buffer.samples[(i - 1) * ch];
        const float b = buffer.samples[i * ch];
        if ((a < 0 && b >= 0) || (a >= 0 && b < 0)) ++crossings;
    }
    return crossings / 2.0 / (to - from);
}

}  // namespace orvane::testing
