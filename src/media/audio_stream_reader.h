#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

namespace orvane {

// A file's audio could not be opened or decoded; the message names the file and the reason.
class AudioStreamError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Decodes the first audio stream of a file piece by piece, resampled to one rate and channel count
// as interleaved float, so a recording of any length is read in bounded memory. Time 0 is the
// stream's first sample. Blocks; use it from background work.
class AudioStreamReader {
public:
    // Nothing when the file opens but has no audio stream; throws AudioStreamError when it cannot be
    // opened or its audio has no decoder.
    static std::optional<AudioStreamReader> open(const std::filesystem::path& file, int sampleRate, int channels);

    AudioStreamReader(AudioStreamReader&&) noexcept;
    AudioStreamReader& operator=(AudioStreamReader&&) noexcept;
    ~AudioStreamReader();

    int sampleRate() const { return sampleRate_; }
    int channels() const { return channels_; }
    // The stream's (else the container's) duration in seconds, when the file says.
    std::optional<double> durationSeconds() const;

    // Appends the next decoded frames to `out` (at least one packet's worth, usually a few
    // thousand frames). Answers false, appending nothing, once the stream is exhausted. A damaged
    // packet loses its own samples only; anything worse throws AudioStreamError.
    bool readMore(std::vector<float>& out);

private:
    struct State;
    explicit AudioStreamReader(std::unique_ptr<State> state, int sampleRate, int channels);

    std::unique_ptr<State> state_;
    int sampleRate_ = 0;
    int channels_ = 0;
};

}  // namespace orvane
