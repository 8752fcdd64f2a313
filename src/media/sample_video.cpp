#include "media/sample_video.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/display.h>
}

#include "base/atomic_file.h"
#include "base/log.h"
#include "base/log_areas.h"
#include "media/encode/aac_writer.h"
#include "media/encode/video_encoder.h"
#include "media/ffmpeg_handles.h"

namespace orvane {

namespace fs = std::filesystem;

namespace {

constexpr int kAudioRate = 48000;
constexpr double kToneHz = 440.0;

[[noreturn]] void fail(const std::string& what, int status) {
    throw std::runtime_error(what + ": " + ffmpeg::errorText(status));
}

void check(int status, const char* what) {
    if (status < 0) fail(what, status);
}

int boxSide(const SampleVideoLayout& options) {
    return std::max(2, std::min(options.width, options.height) / 4 / 2 * 2);
}

// The recorder's and the exporter's encoders, set for a quick synthetic movie.
VideoEncoderSettings sampleEncoderSettings(const SampleVideoLayout& layout) {
    VideoEncoderSettings settings;
    settings.width = layout.width;
    settings.height = layout.height;
    settings.fps = layout.fps;
    // A key frame every second, so readers have to seek and decode forward like on real footage.
    settings.keyFrameInterval = layout.fps;
    settings.x264Preset = "ultrafast";
    // One thread: the same layout gives the same movie on every machine, so fixtures stay comparable.
    settings.threads = 1;
    // The pictures are written as YUV values directly; there is no RGB to convert or tag.
    settings.bt709 = false;
    settings.hardware = VideoHardware::off;
    return settings;
}

class SampleWriter {
public:
    SampleWriter(const fs::path& file, const SampleVideoLayout& options) : spec_(options) {
        AVFormatContext* raw = nullptr;
        check(avformat_alloc_output_context2(&raw, nullptr, "mp4", file.c_str()), "cannot set up the MP4 writer");
        output_.reset(raw);
        video_.emplace(*output_, sampleEncoderSettings(spec_));
        picture_ = video_->newPicture();
        if (spec_.rotationDegrees != 0) rotate(video_->stream());
        if (spec_.withAudio) audio_.emplace(*output_, kAudioRate, 2, 128000);
        check(avio_open(&output_->pb, file.c_str(), AVIO_FLAG_WRITE), "cannot create the file");
        check(avformat_write_header(output_.get(), nullptr), "cannot write the MP4 header");
    }

    void run() {
        const std::int64_t totalFrames = std::llround(spec_.seconds * spec_.fps);
        const std::int64_t totalSamples = spec_.withAudio ? std::llround(spec_.seconds * kAudioRate) : 0;
        const AVRational frameTime{1, spec_.fps};
        const AVRational sampleTime{1, kAudioRate};
        const int audioFrame = audio_ ? audio_->context().frame_size : 0;
        const auto write = [this](AVPacket& packet) {
            check(av_interleaved_write_frame(output_.get(), &packet), "cannot write to the file");
        };
        std::int64_t frameIndex = 0;
        std::int64_t sampleIndex = 0;
        std::vector<float> tone;
        while (frameIndex < totalFrames || sampleIndex < totalSamples) {
            // Feed whichever track is behind so the muxer can interleave without buffering much.
            const bool videoNext =
                frameIndex < totalFrames &&
                (sampleIndex >= totalSamples || av_compare_ts(frameIndex, frameTime, sampleIndex, sampleTime) <= 0);
            if (videoNext) {
                fillVideo(frameIndex);
                video_->encode(*picture_, frameIndex++, write);
            } else {
                const int count = static_cast<int>(std::min<std::int64_t>(audioFrame, totalSamples - sampleIndex));
                fillAudio(sampleIndex, count, tone);
                sampleIndex += count;
                audio_->push(tone.data(), static_cast<std::size_t>(count), write);
            }
        }
        video_->finish(write);
        if (audio_) audio_->finish(write);
        check(av_write_trailer(output_.get()), "cannot finish the MP4");
        // Closing flushes the last buffered bytes; a full disk shows up here.
        check(avio_closep(&output_->pb), "cannot finish writing the file");
    }

private:
    void rotate(AVStream& stream) const {
        auto* side = av_stream_new_side_data(&stream, AV_PKT_DATA_DISPLAYMATRIX, 9 * sizeof(std::int32_t));
        if (!side) throw std::runtime_error("out of memory");
        std::int32_t matrix[9];
        // A matrix set to +90 makes players turn the picture clockwise (ffprobe shows -90, the
        // counter-clockwise reading, as for a phone held upright).
        av_display_rotation_set(matrix, spec_.rotationDegrees);
        std::memcpy(side, matrix, sizeof matrix);
    }

    // A horizontal luma ramp over a vertical colour ramp, with a white box that moves every frame.
    void fillVideo(std::int64_t frameIndex) {
        AVFrame* frame = picture_.get();
        check(av_frame_make_writable(frame), "cannot reuse a video frame");
        const Rect box = sampleVideoBoxRect(spec_, frameIndex);
        const int boxLeft = static_cast<int>(box.x);
        const int boxTop = static_cast<int>(box.y);
        const int boxRight = boxLeft + static_cast<int>(box.width);
        const int boxBottom = boxTop + static_cast<int>(box.height);
        for (int y = 0; y < spec_.height; ++y) {
            std::uint8_t* row = frame->data[0] + static_cast<std::ptrdiff_t>(y) * frame->linesize[0];
            const bool boxRow = y >= boxTop && y < boxBottom;
            for (int x = 0; x < spec_.width; ++x) {
                row[x] = boxRow && x >= boxLeft && x < boxRight ? 235 : static_cast<std::uint8_t>(16 + x * 128 / spec_.width);
            }
        }
        for (int y = 0; y < spec_.height / 2; ++y) {
            std::uint8_t* u = frame->data[1] + static_cast<std::ptrdiff_t>(y) * frame->linesize[1];
            std::uint8_t* v = frame->data[2] + static_cast<std::ptrdiff_t>(y) * frame->linesize[2];
            const bool boxRow = y * 2 >= boxTop && y * 2 < boxBottom;
            for (int x = 0; x < spec_.width / 2; ++x) {
                const bool inBox = boxRow && x * 2 >= boxLeft && x * 2 < boxRight;
                u[x] = inBox ? 128 : static_cast<std::uint8_t>(64 + y * 256 / spec_.height);
                v[x] = inBox ? 128 : 96;
            }
        }
    }

    // The same tone on both channels, interleaved.
    static void fillAudio(std::int64_t firstSample, int count, std::vector<float>& out) {
        out.resize(static_cast<std::size_t>(count) * 2);
        for (int i = 0; i < count; ++i) {
            const double t = static_cast<double>(firstSample + i) / kAudioRate;
            const auto sample = static_cast<float>(0.25 * std::sin(2.0 * std::numbers::pi * kToneHz * t));
            out[static_cast<std::size_t>(i) * 2] = sample;
            out[static_cast<std::size_t>(i) * 2 + 1] = sample;
        }
    }

    SampleVideoLayout spec_;
    ffmpeg::OutputFormatContext output_;
    std::optional<VideoEncoder> video_;
    ffmpeg::Frame picture_;
    std::optional<AacWriter> audio_;
};

void validate(const SampleVideoLayout& options) {
    // 4:2:0 chroma needs even dimensions.
    if (options.width < 2 || options.height < 2 || options.width % 2 != 0 || options.height % 2 != 0 || options.width > 8192 ||
        options.height > 8192) {
        throw std::runtime_error("sample video size must be even and between 2 and 8192 pixels");
    }
    if (options.fps < 1 || options.fps > 240) throw std::runtime_error("sample video frame rate must be 1...240");
    if (!std::isfinite(options.seconds) || options.seconds < 0 || options.seconds > 3600) {
        throw std::runtime_error("sample video length must be 0...3600 seconds");
    }
    if (options.rotationDegrees % 90 != 0 || options.rotationDegrees < 0 || options.rotationDegrees >= 360) {
        throw std::runtime_error("sample video rotation must be 0, 90, 180 or 270");
    }
}

}  // namespace

Rect sampleVideoBoxRect(const SampleVideoLayout& options, std::int64_t frameIndex) {
    const int side = boxSide(options);
    const std::int64_t stepX = std::max(1, options.width / (2 * std::max(options.fps, 1)));
    const std::int64_t stepY = std::max(1, options.height / (3 * std::max(options.fps, 1)));
    const std::int64_t rangeX = std::max(1, options.width - side);
    const std::int64_t rangeY = std::max(1, options.height - side);
    const std::int64_t index = std::max<std::int64_t>(frameIndex, 0);
    return Rect{static_cast<double>(index * stepX % rangeX), static_cast<double>(index * stepY % rangeY),
                static_cast<double>(side), static_cast<double>(side)};
}

void writeSampleVideo(const fs::path& file, const SampleVideoLayout& options) {
    validate(options);
    ffmpeg::routeLogging();
    // Written beside the target under a hidden name and renamed at the end, so a failure never
    // leaves a half-written movie, nor replaces a good one, at `file`.
    const auto partial = partialSiblingPath(file);
    try {
        {
            SampleWriter writer(partial, options);
            writer.run();
        }
        fs::rename(partial, file);
    } catch (const std::exception& error) {
        std::error_code ignored;
        fs::remove(partial, ignored);
        log::warning(log_area::kMedia, "sample video %s failed: %s", file.c_str(), error.what());
        throw std::runtime_error(std::string("Couldn't write the sample video: ") + error.what());
    }
    log::debug(log_area::kMedia, "wrote sample video %s", file.c_str());
}

}  // namespace orvane
