#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

#include "audio/audio_buffer.h"

namespace orvane {

// A file could not be opened or decoded as audio. The message names the file and the reason.
class AudioReadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The whole first audio stream of `file` at its own sample rate and channel count.
// Throws AudioReadError when the file cannot be opened, holds no audio or does not decode.
AudioBuffer readAudioFile(const std::filesystem::path& file);

// `duration` seconds of the first audio stream from `start` (seconds from the stream's first sample;
// nothing = to the end), resampled to `sampleRate` and `channels`. Time the file does not cover is
// silence, so the answer always holds exactly round(duration * sampleRate) frames when a duration
// is given. Nothing when the file has no audio stream; throws AudioReadError when it cannot be read.
std::optional<AudioBuffer> readAudioRange(const std::filesystem::path& file, double start,
                                          std::optional<double> duration, int sampleRate, int channels);

// The whole first audio stream of `file`, resampled to `sampleRate` and `channels`, handed to `chunk`
// as it decodes (interleaved frames, a packet's worth or so at a time) so that no more than that is
// ever held. False when the file has no audio stream; throws AudioReadError when it cannot be read.
using DecodedAudioSink = std::function<void(const float* samples, std::size_t frames)>;
bool streamAudioFile(const std::filesystem::path& file, int sampleRate, int channels, const DecodedAudioSink& chunk);

}  // namespace orvane
