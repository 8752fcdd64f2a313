#pragma once

// Converting imported media into the formats the editor plays and renders: H.264 + AAC in MP4 for
// video, AAC in M4A (or MP3) for audio. The in-process converters use FFmpeg's libraries; the
// argument lists below are what the outside `ffmpeg` gets when they fail.

#include <filesystem>
#include <stdexcept>
#include <stop_token>
#include <string>
#include <vector>

namespace orvane {

// A conversion stopped because its stop token was requested. Nothing is left at the output.
class MediaConversionCancelled : public std::runtime_error {
public:
    MediaConversionCancelled() : std::runtime_error("The conversion was cancelled.") {}
};

// The first video stream to H.264 (libx264, yuv420p) and the first audio stream, when there is one,
// to AAC at 192 kbit/s, in an MP4 with its index at the front (+faststart). Rotation and pixel
// aspect are carried over. Throws std::runtime_error with FFmpeg's reason when the input cannot be
// read or encoded; the output is written under a temporary name and only renamed into place
// complete, so a failure leaves no partial file and never touches an existing `output`.
void convertVideoToMp4(const std::filesystem::path& input, const std::filesystem::path& output,
                       std::stop_token stop = {});

// The first audio stream to AAC at 192 kbit/s (MP4 audio container, for .m4a), or to MP3 through
// libmp3lame when `output` ends in ".mp3" (case-insensitive). Same failure rules as above; a
// missing MP3 encoder is such a failure.
void convertAudioFile(const std::filesystem::path& input, const std::filesystem::path& output,
                      std::stop_token stop = {});

// Arguments for the outside `ffmpeg` when the in-process video conversion failed. Software H.264
// (libx264) stands where a hardware encoder of another platform would.
std::vector<std::string> ffmpegVideoConversionArguments(const std::filesystem::path& input,
                                                        const std::filesystem::path& output);

// Arguments for the outside `ffmpeg` when the in-process audio conversion failed; the codec is
// "libmp3lame" for an ".mp3" output and "aac" otherwise.
std::vector<std::string> ffmpegAudioConversionArguments(const std::filesystem::path& input,
                                                        const std::filesystem::path& output);

}  // namespace orvane
