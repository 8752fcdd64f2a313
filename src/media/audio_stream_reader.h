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
// (or kept at the stream's own) as interleaved float, so a recording of any length is read in
// bounded memory. Time 0 is the stream's first sample. Blocks; use it from background work.
class AudioStreamReader {
public:
    // Nothing when the file opens but has no audio stream; throws AudioStreamError when it cannot be
    // opened or its audio has no decoder.
    static std::optional<AudioStreamReader> open(const std::filesystem::path& file, int sampleRate, int channels);
    // The same at the stream's own sample rate and channel layout, so nothing is resampled or
    // remixed. Also throws when the stream does not say its rate or channels.
    static std::optional<AudioStreamReader> openNative(const std::filesystem::path& file);

    AudioStreamReader(AudioStreamReader&&) noexcept;
    AudioStreamReader& operator=(AudioStreamReader&&) noexcept;
    ~AudioStreamReader();

    int sampleRate() const { return sampleRate_; }
    int channels() const { return channels_; }
    // The stream's (else the container's) duration in seconds, when the file says.
    std::optional<double> durationSeconds() const;

    // Moves reading to a little before `seconds` (codecs with overlapping frames need the frame
    // before to decode the first one whole), so the next frames read start at or before it; see
    // firstFrameTime(). When the file cannot seek, reading carries on from the top instead.
    void seek(double seconds);
    // Where the first frame read since opening or the last seek() lies, in seconds from the
    // stream's first sample; nothing until a frame was decoded.
    std::optional<double> firstFrameTime() const;

    // Appends the next decoded frames to `out` (at least one packet's worth, usually a few
    // thousand frames). Answers false, appending nothing, once the stream is exhausted. A damaged
    // packet loses its own samples only; anything worse throws AudioStreamError.
    bool readMore(std::vector<float>& out);

private:
    struct State;
    // Nothing for either: the stream's own.
    static std::optional<AudioStreamReader> openAs(const std::filesystem::path& file, std::optional<int> sampleRate,
                                                   std::optional<int> channels);
    explicit AudioStreamReader(std::unique_ptr<State> state, int sampleRate, int channels);

    std::unique_ptr<State> state_;
    int sampleRate_ = 0;
    int channels_ = 0;
};

}  // namespace orvane
