#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace orvane::testing {

// The first audio stream of a file, decoded whole: what a player would hear.
struct DecodedAudio {
    std::string codec;  // "aac"
    int sampleRate = 0;
    int channels = 0;
    std::int64_t frames = 0;
    double rms = 0;     // over every sample, full scale 1
};

std::optional<DecodedAudio> decodeAudioFile(const std::filesystem::path& file);

// The codec name of the first video stream ("h264"); empty when there is none.
std::string videoCodecOf(const std::filesystem::path& file);

}  // namespace orvane::testing
