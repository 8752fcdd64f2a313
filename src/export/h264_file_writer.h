#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "model/export_profile.h"

namespace orvane {

// How a writer encodes: the GPU's H.264 encoder through VAAPI, or libx264 on the CPU.
enum class H264Encoder { hardware, software };

// When an export tries the hardware encoder first.
enum class HardwareEncoding {
    whenAvailable,  // when a VAAPI render device answered
    never,
    always,  // even without a device: the attempt fails and the export goes on in software
};

// Settings every export encodes with, so segments of one edit can be joined without re-encoding.
struct H264Settings {
    std::string x264Preset = "veryfast";
    int threads = 0;         // encoder threads; 0 lets the encoder choose
    bool fastStart = false;  // index at the front: for finished files, pointless for segments
};

// Writes Cairo ARGB32 frames of the profile's size into an MP4 with one H.264 High track: average
// bit rate from the profile, a key frame at least every two seconds, time base 1/fps.
class H264FileWriter {
public:
    // Throws ExportError::writerSetup() when the encoder or the file cannot be set up (the reason
    // is logged).
    H264FileWriter(const std::filesystem::path& file, const OutputProfile& profile, H264Encoder encoder,
                   const H264Settings& settings = {});
    ~H264FileWriter();
    H264FileWriter(const H264FileWriter&) = delete;
    H264FileWriter& operator=(const H264FileWriter&) = delete;

    // Encodes a picture of the profile's size at presentation time `frameIndex` frame durations.
    // Throws ExportError::pixelBuffer() when no frame can be made, std::runtime_error when encoding or
    // writing fails.
    void append(const std::uint8_t* argb, int stride, std::int64_t frameIndex);

    // Flushes the encoder and closes the file; throws std::runtime_error with the writer's error.
    void finish();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace orvane
