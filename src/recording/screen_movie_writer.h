#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "media/encode/fragmented_movie.h"
#include "platform/screen_capture.h"
#include "recording/audio_sample_sink.h"

namespace orvane {

// The movie could not be set up or written. `what()` is the user-facing text.
class MovieWriterError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct MovieWriterSettings {
    std::filesystem::path file;
    int width = 0;  // even
    int height = 0;
    int fps = 60;
    bool withAudio = false;  // an AAC 48 kHz stereo system-audio track
    // Converted frames waiting for the encoder; a frame that finds the queue full is dropped, never
    // waited for.
    std::size_t queueDepth = 8;
    // Keep the frames' alpha: ProRes 4444 in a QuickTime movie (screen.mov) instead of H.264/HEVC
    // in MP4. The frames then carry straight (not premultiplied) alpha.
    bool withAlpha = false;
};

// Encodes screen frames (H.264, or HEVC on a VAAPI device; ProRes 4444 with alpha) and system audio
// (AAC) into a fragmented MP4 (QuickTime movie with alpha) as they arrive, on a thread of its own. The file is playable up to the last finished fragment
// at any moment, so a recording whose process is killed keeps what it had.
//
// Threads: appendVideo() from the capture thread, which also converts each frame to the encoder's
// pixel format, so this writer's own thread only encodes and the two overlap; appendAudio() from
// the audio source's thread; finishInputs(), finish() and abandon() from the owner's. The first
// sample of either kind starts the movie's clock.
class ScreenMovieWriter final : public AudioSampleSink {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    // A fragment closes with the first frame this long after its start. With nothing held back in
    // between, a killed process loses at most this much plus the time until the next frame
    // arrives, so the capture sends frames at least every half fragment, even of a still screen.
    static constexpr std::chrono::milliseconds kFragmentDuration{500};
    // The longest stretch between key frames, given frames at least every half fragment.
    static constexpr std::chrono::milliseconds kKeyFrameInterval{1000};

    // Opens the encoders and writes the file's header. Throws MovieWriterError.
    explicit ScreenMovieWriter(MovieWriterSettings settings);
    ~ScreenMovieWriter() override;
    ScreenMovieWriter(const ScreenMovieWriter&) = delete;
    ScreenMovieWriter& operator=(const ScreenMovieWriter&) = delete;

    // Answers false when the frame is not in the movie: the queue was full (counted as dropped), the
    // inputs are finished, or it is older than the movie's first moment.
    bool appendVideo(const ScreenFrame& frame);
    void appendAudio(const AudioSamples& samples) override;

    // Ends the inputs: later appends are dropped. When the last frame is older than 0.15 s at `now`,
    // a copy of it retimed to `now` goes in first, so a still screen lasts until the stop.
    void finishInputs(TimePoint now);
    // Encodes what is queued and closes the movie. Throws MovieWriterError when the file cannot be
    // finished; it is then left as written so far.
    void finish();
    // Stops without finishing the movie (the recording failed); what was written stays on disk.
    void abandon();

    std::optional<TimePoint> firstSampleTime() const;
    std::uint64_t droppedFrames() const;
    std::uint64_t writtenFrames() const;
    // "libx264", "hevc_vaapi": which encoder is in use.
    std::string videoEncoderName() const;

private:
    struct AudioChunk {
        std::vector<float> interleaved;
        int frames = 0;
        int channels = 0;
        int sampleRate = 0;
        TimePoint hostTime;
    };
    // A frame converted for the encoder.
    using Picture = ffmpeg::Frame;
    struct VideoItem {
        Picture picture;  // none: the last picture again (the tail frame)
        TimePoint time;
    };
    struct Item {
        std::optional<VideoItem> video;
        std::optional<AudioChunk> audio;
    };

    void run();
    void startClockIfNeeded(TimePoint time);
    void failWith(const std::string& failure);  // under mutex_
    Picture takeSparePicture();                 // under mutex_
    void keepSparePicture(Picture picture);

    MovieWriterSettings settings_;
    std::unique_ptr<FragmentedMovie> movie_;

    // Held through a whole appendVideo() and finishInputs(), so frames are queued in order and
    // none lands after the tail frame.
    std::mutex inputMutex_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Item> queue_;
    std::size_t queuedVideo_ = 0;
    std::optional<TimePoint> firstSampleTime_;
    std::optional<TimePoint> lastVideoTime_;
    bool inputsFinished_ = false;
    bool stopping_ = false;
    bool discard_ = false;
    std::uint64_t dropped_ = 0;
    std::uint64_t written_ = 0;
    std::string failure_;
    std::vector<Picture> sparePictures_;  // encoded, ready to take the next conversion
    Picture lastPicture_;                 // owned by the writer thread until it ends
    std::thread thread_;
};

struct AlphaProbeResult {
    bool usable = false;
    double framesPerSecond = 0;  // what the encoder managed at the probe's size
    std::string reason;          // why not, for the log
};

// Whether a recording can keep an alpha channel here: opens the alpha writer on a temporary
// "orvane-alpha-probe-" + UUID + ".mov" in `folder` at 1920x1080 and encodes a few frames. Usable
// only when the writer opens and encodes at least `fps` frames a second, since a writer that falls
// behind would drop most of the recording. The file is removed afterwards.
AlphaProbeResult probeAlphaWriter(const std::filesystem::path& folder, int fps);

}  // namespace orvane
