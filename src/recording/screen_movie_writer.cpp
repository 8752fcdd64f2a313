#include "recording/screen_movie_writer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "base/log.h"
#include "base/log_areas.h"
#include "base/thread_name.h"
#include "base/uuid.h"

namespace orvane {

namespace fs = std::filesystem;

namespace {

constexpr int kAlphaProbeWidth = 1920;
constexpr int kAlphaProbeHeight = 1080;
constexpr int kAlphaProbeFrames = 8;
constexpr auto kTailFrameGap = std::chrono::milliseconds(150);
// Converted pictures made ready before capture starts: the one being converted, the one being
// encoded and the last one, kept for the tail frame.
constexpr std::size_t kPreparedPictures = 3;
// Audio that piles up while the encoder is busy is kept (it is small); only past this many waiting
// buffers is it dropped, so a stalled encoder cannot eat the memory.
constexpr std::size_t kMaximumQueuedAudio = 2000;
}  // namespace

ScreenMovieWriter::ScreenMovieWriter(MovieWriterSettings settings) : settings_(std::move(settings)) {
    if (settings_.width < 2 || settings_.height < 2 || settings_.width % 2 || settings_.height % 2) {
        throw MovieWriterError("The recording size " + std::to_string(settings_.width) + "x" +
                               std::to_string(settings_.height) + " cannot be encoded.");
    }
    try {
        movie_ = std::make_unique<FragmentedMovie>(
            FragmentedMovieSettings{settings_.file, settings_.width, settings_.height, settings_.fps,
                                    settings_.withAudio, settings_.withAlpha, kFragmentDuration, kKeyFrameInterval});
        // Pictures written once now, so the first frames of the recording do not wait for the
        // kernel to fault fresh memory in.
        for (std::size_t n = 0; n < kPreparedPictures; ++n) {
            ffmpeg::Frame picture = movie_->newPicture();
            for (int plane = 0; plane < AV_NUM_DATA_POINTERS && picture->buf[plane]; ++plane) {
                std::memset(picture->buf[plane]->data, 0, picture->buf[plane]->size);
            }
            sparePictures_.push_back(std::move(picture));
        }
    } catch (const std::runtime_error& error) {
        throw MovieWriterError(error.what());
    }
    thread_ = std::thread([this] { run(); });
}

ScreenMovieWriter::~ScreenMovieWriter() {
    if (thread_.joinable()) abandon();
}

void ScreenMovieWriter::startClockIfNeeded(TimePoint time) {
    if (!firstSampleTime_) firstSampleTime_ = time;
}

ScreenMovieWriter::Picture ScreenMovieWriter::takeSparePicture() {
    if (sparePictures_.empty()) return nullptr;
    Picture picture = std::move(sparePictures_.back());
    sparePictures_.pop_back();
    return picture;
}

void ScreenMovieWriter::keepSparePicture(Picture picture) {
    // A picture the encoder still holds a reference to cannot be written over.
    if (!av_frame_is_writable(picture.get())) return;
    std::lock_guard lock(mutex_);
    if (sparePictures_.size() < settings_.queueDepth + kPreparedPictures) sparePictures_.push_back(std::move(picture));
}

void ScreenMovieWriter::failWith(const std::string& failure) {
    failure_ = failure;
    inputsFinished_ = true;
    queue_.clear();
    queuedVideo_ = 0;
}

bool ScreenMovieWriter::appendVideo(const ScreenFrame& frame) {
    // The converter reads the size it was set up for, from the frame's top left.
    if (frame.width < settings_.width || frame.height < settings_.height || frame.stride < frame.width * 4 ||
        frame.bgra.size() < static_cast<std::size_t>(frame.stride) * static_cast<std::size_t>(frame.height)) {
        log::error(log_area::kRecorder, "a %dx%d frame does not fit the %dx%d movie", frame.width, frame.height,
                   settings_.width, settings_.height);
        return false;
    }
    std::lock_guard input(inputMutex_);
    Picture picture;
    {
        std::lock_guard lock(mutex_);
        // Only a full queue loses a frame of the movie; one after the stop or from before the
        // movie's first moment was never part of it.
        if (inputsFinished_) return false;
        if (queuedVideo_ >= settings_.queueDepth) {
            ++dropped_;
            return false;
        }
        startClockIfNeeded(frame.time);
        if (frame.time < *firstSampleTime_) return false;
        picture = takeSparePicture();
    }
    try {
        if (!picture) picture = movie_->newPicture();
        movie_->convert(frame.bgra.data(), frame.stride, *picture);
    } catch (const std::exception& e) {
        log::error(log_area::kRecorder, "writer failed: %s", e.what());
        std::lock_guard lock(mutex_);
        failWith(e.what());
        return false;
    }
    {
        std::lock_guard lock(mutex_);
        // The writer may have failed while this frame was converted.
        if (inputsFinished_) return false;
        lastVideoTime_ = frame.time;
        ++queuedVideo_;
        queue_.push_back(Item{VideoItem{std::move(picture), frame.time}, std::nullopt});
    }
    wake_.notify_one();
    return true;
}

void ScreenMovieWriter::appendAudio(const AudioSamples& samples) {
    if (!settings_.withAudio || samples.frameCount <= 0 || samples.channels <= 0 || samples.sampleRate <= 0) return;
    const auto needed = static_cast<std::size_t>(samples.frameCount) * static_cast<std::size_t>(samples.channels);
    if (samples.interleaved.size() < needed) return;
    {
        std::lock_guard lock(mutex_);
        if (inputsFinished_ || queue_.size() - queuedVideo_ >= kMaximumQueuedAudio) return;
        startClockIfNeeded(samples.hostTime);
        // Audio from before the movie's first moment has no place in it.
        if (samples.hostTime < *firstSampleTime_) return;
        AudioChunk chunk{std::vector<float>(samples.interleaved.begin(), samples.interleaved.begin() + static_cast<std::ptrdiff_t>(needed)),
                         samples.frameCount, samples.channels, samples.sampleRate, samples.hostTime};
        queue_.push_back(Item{std::nullopt, std::move(chunk)});
    }
    wake_.notify_one();
}

void ScreenMovieWriter::finishInputs(TimePoint now) {
    {
        std::lock_guard input(inputMutex_);
        std::lock_guard lock(mutex_);
        if (inputsFinished_) return;
        inputsFinished_ = true;
        if (lastVideoTime_ && now - *lastVideoTime_ > kTailFrameGap) {
            // No picture, stamped `now`: the writer thread repeats the last one.
            queue_.push_back(Item{VideoItem{nullptr, now}, std::nullopt});
            ++queuedVideo_;
            lastVideoTime_ = now;
        }
    }
    wake_.notify_one();
}

void ScreenMovieWriter::run() {
    setCurrentThreadName("orvane.writer");
    for (;;) {
        Item item;
        TimePoint first;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return !queue_.empty() || stopping_; });
            if (discard_ || queue_.empty()) return;
            item = std::move(queue_.front());
            queue_.pop_front();
            if (item.video) --queuedVideo_;
            first = *firstSampleTime_;
        }
        try {
            if (item.video) {
                auto& video = *item.video;
                if (!video.picture) {
                    if (!lastPicture_) continue;
                    movie_->writeVideo(*lastPicture_, video.time - first);
                } else {
                    movie_->writeVideo(*video.picture, video.time - first);
                    Picture older = std::exchange(lastPicture_, std::move(video.picture));
                    if (older) keepSparePicture(std::move(older));
                }
                std::lock_guard lock(mutex_);
                ++written_;
            } else if (item.audio) {
                const auto& a = *item.audio;
                movie_->writeAudio(a.interleaved.data(), a.frames, a.channels, a.sampleRate, a.hostTime - first);
            }
        } catch (const std::exception& e) {
            log::error(log_area::kRecorder, "writer failed: %s", e.what());
            std::lock_guard lock(mutex_);
            failWith(e.what());
            return;
        }
    }
}

void ScreenMovieWriter::finish() {
    {
        std::lock_guard lock(mutex_);
        inputsFinished_ = true;
        stopping_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
    if (!failure_.empty()) throw MovieWriterError(failure_);
    bool anyFrame = false;
    {
        std::lock_guard lock(mutex_);
        anyFrame = written_ > 0;
    }
    if (!anyFrame) log::warning(log_area::kRecorder, "no screen frame arrived; the movie has no pictures");
    try {
        movie_->finish();
    } catch (const std::runtime_error& error) {
        throw MovieWriterError(error.what());
    }
    log::info(log_area::kRecorder, "finished %s: %llu frames written, %llu dropped", settings_.file.c_str(),
              static_cast<unsigned long long>(written_), static_cast<unsigned long long>(dropped_));
}

void ScreenMovieWriter::abandon() {
    {
        std::lock_guard lock(mutex_);
        inputsFinished_ = true;
        stopping_ = true;
        discard_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
}

std::optional<ScreenMovieWriter::TimePoint> ScreenMovieWriter::firstSampleTime() const {
    std::lock_guard lock(mutex_);
    return firstSampleTime_;
}

std::uint64_t ScreenMovieWriter::droppedFrames() const {
    std::lock_guard lock(mutex_);
    return dropped_;
}

std::uint64_t ScreenMovieWriter::writtenFrames() const {
    std::lock_guard lock(mutex_);
    return written_;
}

std::string ScreenMovieWriter::videoEncoderName() const { return movie_->videoEncoderName(); }

AlphaProbeResult probeAlphaWriter(const fs::path& folder, int fps) {
    using Clock = std::chrono::steady_clock;
    AlphaProbeResult result;
    fps = fps > 0 ? fps : 60;
    MovieWriterSettings settings;
    settings.file = folder / ("orvane-alpha-probe-" + Uuid::random().string() + ".mov");
    settings.width = kAlphaProbeWidth;
    settings.height = kAlphaProbeHeight;
    settings.fps = fps;
    settings.withAlpha = true;
    settings.queueDepth = kAlphaProbeFrames;
    struct RemoveFile {
        fs::path file;
        ~RemoveFile() {
            std::error_code error;
            fs::remove(file, error);
        }
    } removeProbe{settings.file};
    try {
        ScreenMovieWriter writer(settings);
        // A busy picture (gradients that shift per frame, a half-transparent band) so the encoder
        // works about as hard as on a real desktop.
        std::vector<ScreenFrame> frames(kAlphaProbeFrames);
        for (int n = 0; n < kAlphaProbeFrames; ++n) {
            auto& frame = frames[static_cast<std::size_t>(n)];
            frame.width = settings.width;
            frame.height = settings.height;
            frame.stride = settings.width * 4;
            frame.bgra.resize(static_cast<std::size_t>(frame.stride) * static_cast<std::size_t>(frame.height));
            for (int y = 0; y < frame.height; ++y) {
                std::uint8_t* row = frame.bgra.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(frame.stride);
                for (int x = 0; x < frame.width; ++x) {
                    row[x * 4 + 0] = static_cast<std::uint8_t>(x + n * 7);
                    row[x * 4 + 1] = static_cast<std::uint8_t>(y * 3 + x / 5);
                    row[x * 4 + 2] = static_cast<std::uint8_t>((x ^ y) + n);
                    row[x * 4 + 3] = static_cast<std::uint8_t>(y % 270 < 90 ? 0 : (y % 270 < 180 ? 128 : 255));
                }
            }
        }
        const auto start = Clock::now();
        for (int n = 0; n < kAlphaProbeFrames; ++n) {
            auto& frame = frames[static_cast<std::size_t>(n)];
            frame.time = start + std::chrono::microseconds(1'000'000 * n / fps);
            writer.appendVideo(frame);
        }
        // Only as long as the frames would last when played: an encoder still busy then cannot
        // keep up, however long it would take to finish.
        const auto budget = std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(static_cast<double>(kAlphaProbeFrames) / fps));
        while (writer.writtenFrames() < static_cast<std::uint64_t>(kAlphaProbeFrames) && Clock::now() - start < budget) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        const auto written = writer.writtenFrames();
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        result.framesPerSecond = seconds > 0 ? static_cast<double>(written) / seconds : 0;
        writer.abandon();
        result.usable = written >= static_cast<std::uint64_t>(kAlphaProbeFrames);
        if (!result.usable) {
            char text[160];
            std::snprintf(text, sizeof text, "ProRes 4444 encoded %llu of %d frames at %dx%d in %.2f s; %d frames/s are needed",
                          static_cast<unsigned long long>(written), kAlphaProbeFrames, settings.width, settings.height,
                          seconds, fps);
            result.reason = text;
        }
    } catch (const std::exception& e) {
        result.reason = e.what();
    }
    log::info(log_area::kRecorder, "alpha probe: %s%s",
              result.usable ? "usable" : "not usable: ", result.reason.c_str());
    return result;
}

}  // namespace orvane
