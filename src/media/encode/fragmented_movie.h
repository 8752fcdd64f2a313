#pragma once

// Include only in .cpp files that talk to FFmpeg.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "media/ffmpeg_handles.h"

namespace orvane {

class AacWriter;
class VideoEncoder;

struct FragmentedMovieSettings {
    std::filesystem::path file;
    int width = 0;  // even
    int height = 0;
    int fps = 60;
    bool withAudio = false;  // an AAC 48 kHz stereo track
    // ProRes 4444 in a QuickTime movie, keeping straight alpha, instead of H.264 (HEVC on a VAAPI
    // device) in MP4.
    bool withAlpha = false;
    // A fragment closes with the first picture this long after its start.
    std::chrono::microseconds fragmentDuration{500'000};
    // The longest stretch between key frames, given pictures at least every half fragment.
    std::chrono::microseconds keyFrameInterval{1'000'000};
};

// A movie written while it is recorded: every fragment goes to disk as soon as it closes, so the
// file plays up to the last whole fragment whatever happens to the process. Pictures come in as
// BGRA, converted by convert() (on any one thread) and written by writeVideo(); times are offsets
// from the movie's first moment. Errors are std::runtime_error with the text a user sees.
class FragmentedMovie {
public:
    using Duration = std::chrono::steady_clock::duration;

    // Opens the encoders and writes the file's header.
    explicit FragmentedMovie(const FragmentedMovieSettings& settings);
    ~FragmentedMovie();
    FragmentedMovie(const FragmentedMovie&) = delete;
    FragmentedMovie& operator=(const FragmentedMovie&) = delete;

    // A picture in the encoder's format, ready for convert().
    ffmpeg::Frame newPicture() const;
    // Converts the movie's size of BGRA from the top left of `bgra` into `picture`.
    void convert(const std::uint8_t* bgra, int stride, AVFrame& picture);

    void writeVideo(AVFrame& picture, Duration sinceStart);
    // Interleaved float samples at any rate and channel count.
    void writeAudio(const float* interleaved, int frames, int channels, int sampleRate, Duration sinceStart);
    // Drains the encoders and closes the file.
    void finish();

    // "libx264", "hevc_vaapi", "prores_ks": which video encoder is in use.
    std::string videoEncoderName() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace orvane
