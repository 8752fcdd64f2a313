#pragma once

// Bringing a file the user chose or dropped into a recording: classify it, convert video and audio
// into the recording folder, measure the result. The editor turns the outcome into a clip, an
// audio clip or a "Logo" overlay; failures are MediaImportError values whose messages users see.

#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <stop_token>
#include <string>
#include <string_view>

#include "media/external_tools.h"
#include "media/media_conversion.h"

namespace orvane {

inline constexpr std::string_view kVideoConversionFailedMessage =
    "Orvane could not convert this video. Install ffmpeg to widen import support.";
inline constexpr std::string_view kAudioConversionFailedMessage =
    "Orvane could not convert this audio file. Install ffmpeg to widen import support.";

class MediaImportError : public std::runtime_error {
public:
    enum class Case { conversionFailed, unsupported, unreadable };

    // The description is `message` (one of the two conversion messages above).
    static MediaImportError conversionFailed(std::string_view message);
    // "That file type is not supported."
    static MediaImportError unsupported();
    // "Orvane could not read media from that file."
    static MediaImportError unreadable();

    Case which() const { return case_; }

private:
    MediaImportError(Case which, std::string_view message);
    Case case_;
};

enum class MediaFileKind { video, audio, image };

// Common picture extensions are pictures without opening the file (HEIC included, which this
// FFmpeg cannot read). Anything else is opened with libavformat: a video stream that is not cover
// art makes a video, else an audio stream makes audio. A file libavformat cannot open, or that has
// neither, is judged by its extension, so a damaged movie still gets the video conversion message.
// Nothing: unsupported.
std::optional<MediaFileKind> classifyMedia(const std::filesystem::path& file);

struct ImportedMedia {
    MediaFileKind kind = MediaFileKind::video;
    // The converted file in the recording folder; for a picture, the picture itself.
    std::filesystem::path file;
    // Measured length of the converted file in seconds; nothing for a picture.
    std::optional<double> duration;
};

// Converts `input` into a new file at `output`; throws on failure.
using MediaConverter =
    std::function<void(const std::filesystem::path& input, const std::filesystem::path& output, std::stop_token)>;

// What an import may use: seams for tests that take ffmpeg away or make in-process conversion fail.
struct MediaImportTools {
    ToolLocator locateTool = FFmpegTool::locator();
    MediaConverter convertVideo = [](const std::filesystem::path& input, const std::filesystem::path& output,
                                     std::stop_token stop) { convertVideoToMp4(input, output, std::move(stop)); };
    MediaConverter convertAudio = [](const std::filesystem::path& input, const std::filesystem::path& output,
                                     std::stop_token stop) { convertAudioFile(input, output, std::move(stop)); };
};

// Video: "clip-" + a new UUID + ".mp4" in `recordingFolder`, converted in-process, else by the
// outside ffmpeg, else (an ".mp4" without ffmpeg) copied unchanged. Audio: "audio-" + a new UUID +
// ".m4a", converted in-process, else by ffmpeg. The result must have a positive duration. Throws
// MediaImportError, or MediaConversionCancelled once `stop` is requested; either way no new file
// stays in the folder. Blocks: run it in background work.
ImportedMedia importMedia(const std::filesystem::path& file, const std::filesystem::path& recordingFolder,
                          const MediaImportTools& tools = {}, std::stop_token stop = {});

}  // namespace orvane
