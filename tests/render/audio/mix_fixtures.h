#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

#include "render/audio/audio_buffer.h"
#include "render/scene_snapshot.h"

namespace orvane::testing {

// What a movie file holds, read with libavformat.
struct StreamSummary {
    std::int64_t videoPackets = 0;
    std::int64_t audioPackets = 0;
    std::optional<int> audioCodec;  // AVCodecID
    int audioRate = 0;
    int audioChannels = 0;
};
StreamSummary summariseStreams(const std::filesystem::path& file);

// A recording folder with "screen.mp4" (320x180, a 440 Hz tone at 0.25 in both channels) and a
// snapshot over it: one clip of the whole file, trimmed to all of it.
SceneRenderSnapshot toneRecordingSnapshot(const std::filesystem::path& folder, double seconds);

// A silent rendered video (320x180, 30 fps).
std::filesystem::path writeRenderedVideo(const std::filesystem::path& folder, double seconds);

// The dominant frequency of a stretch, from its zero crossings (first channel).
double zeroCrossingFrequency(const AudioBuffer& buffer, double from, double to);

}  // namespace orvane::testing
