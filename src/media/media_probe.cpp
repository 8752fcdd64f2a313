#include "media/media_probe.h"

#include <algorithm>
#include <cmath>
#include <fstream>

#include "base/log.h"
#include "base/log_areas.h"
#include "media/ffmpeg_handles.h"
#include "media/frame_pixels.h"

namespace orvane {

namespace {

std::optional<double> seconds(std::int64_t value, AVRational timeBase) {
    if (value == AV_NOPTS_VALUE || timeBase.den == 0) return std::nullopt;
    const double result = static_cast<double>(value) * av_q2d(timeBase);
    if (!std::isfinite(result)) return std::nullopt;
    return result;
}

// The stream's base rate when it is a plausible capture rate: the average is frames over duration,
// which a short clip with a late first frame pulls off (30.5 for a 2 s clip at 30). Variable-rate
// files report odd base rates (1000/1); for those the average is the better answer.
std::optional<double> nominalFrameRate(const AVStream& stream) {
    for (const AVRational rate : {stream.r_frame_rate, stream.avg_frame_rate}) {
        if (rate.num > 0 && rate.den > 0 && av_q2d(rate) >= 1 && av_q2d(rate) <= 240) return av_q2d(rate);
    }
    return std::nullopt;
}

}  // namespace

std::string_view describe(ProbeFailure failure) {
    switch (failure) {
        case ProbeFailure::missing: return "missing";
        case ProbeFailure::unreadable: return "unreadable";
        case ProbeFailure::notMedia: return "not a media file";
    }
    return "unreadable";
}

MediaProbe probeMedia(const std::filesystem::path& file) {
    std::error_code error;
    const auto status = std::filesystem::status(file, error);
    if (status.type() == std::filesystem::file_type::not_found) return ProbeFailure::missing;
    if (error) return ProbeFailure::unreadable;
    if (std::filesystem::is_directory(status)) return ProbeFailure::notMedia;
    if (!std::ifstream(file, std::ios::binary)) return ProbeFailure::unreadable;
    const auto input = ffmpeg::openInput(file.string());
    if (!input) return ProbeFailure::notMedia;

    MediaInfo info;
    std::optional<double> longestStream;
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVStream* stream = input->streams[i];
        const AVCodecParameters* parameters = stream->codecpar;
        // Cover art in an audio file is a one-picture "video" stream; it is not a video track.
        const bool isVideo = parameters->codec_type == AVMEDIA_TYPE_VIDEO &&
                             !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC);
        if (isVideo) {
            if (!info.hasVideo && parameters->width > 0 && parameters->height > 0) {
                info.videoSize = Size{static_cast<double>(parameters->width), static_cast<double>(parameters->height)};
                const int rotation = clockwiseRotation(stream);
                info.displaySize = rotation == 90 || rotation == 270
                                       ? Size{info.videoSize->height, info.videoSize->width}
                                       : *info.videoSize;
                info.frameRate = nominalFrameRate(*stream);
            }
            info.hasVideo = true;
        } else if (parameters->codec_type == AVMEDIA_TYPE_AUDIO) {
            info.hasAudio = true;
        }
        if (const auto duration = seconds(stream->duration, stream->time_base)) {
            longestStream = std::max(longestStream.value_or(*duration), *duration);
        }
    }

    // The container's own duration first; a container that does not say (or says 0, as a
    // fragmented movie's header may) falls back to its longest stream.
    info.durationSeconds = seconds(input->duration, AVRational{1, AV_TIME_BASE});
    if (longestStream && (!info.durationSeconds || *info.durationSeconds <= 0)) {
        info.durationSeconds = std::max(*longestStream, info.durationSeconds.value_or(*longestStream));
    }
    return info;
}

std::optional<double> playableDuration(const MediaInfo& info) {
    if (!info.durationSeconds) return std::nullopt;
    const double duration = *info.durationSeconds;
    if (!std::isfinite(duration) || duration <= 0) return std::nullopt;
    return duration;
}

std::optional<double> playableDuration(const std::filesystem::path& file) {
    const auto info = probeMedia(file);
    if (!info) return std::nullopt;
    return playableDuration(*info);
}

}  // namespace orvane
