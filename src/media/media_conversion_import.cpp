#include "media/media_conversion_import.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "base/atomic_file.h"
#include "base/log.h"
#include "base/log_areas.h"
#include "base/text.h"
#include "base/uuid.h"
#include "media/ffmpeg_handles.h"
#include "media/media_probe.h"

namespace orvane {

namespace fs = std::filesystem;

MediaImportError::MediaImportError(Case which, std::string_view message)
    : std::runtime_error(std::string(message)), case_(which) {}

MediaImportError MediaImportError::conversionFailed(std::string_view message) {
    return MediaImportError(Case::conversionFailed, message);
}

MediaImportError MediaImportError::unsupported() {
    return MediaImportError(Case::unsupported, "That file type is not supported.");
}

MediaImportError MediaImportError::unreadable() {
    return MediaImportError(Case::unreadable, "Orvane could not read media from that file.");
}

namespace {

constexpr std::array<std::string_view, 9> kImageExtensions = {".png",  ".jpg", ".jpeg", ".gif", ".heic",
                                                              ".webp", ".bmp", ".tiff", ".tif"};
constexpr std::array<std::string_view, 15> kVideoExtensions = {".mov", ".mp4", ".m4v", ".mkv", ".webm",
                                                               ".avi", ".mpg", ".mpeg", ".ts", ".mts",
                                                               ".m2ts", ".3gp", ".flv", ".wmv", ".ogv"};
constexpr std::array<std::string_view, 13> kAudioExtensions = {".mp3",  ".m4a", ".aac", ".wav",  ".aif",
                                                               ".aiff", ".aifc", ".caf", ".flac", ".ogg",
                                                               ".oga",  ".opus", ".wma"};

template <std::size_t N>
bool contains(const std::array<std::string_view, N>& list, const std::string& value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

std::string lowerExtension(const fs::path& file) { return toLowerAscii(file.extension().string()); }


void removeQuietly(const fs::path& file) {
    std::error_code ignored;
    fs::remove(file, ignored);
}

// Runs the outside ffmpeg into a temporary sibling and renames it into place when it succeeds.
void convertWithTool(const fs::path& ffmpeg, const fs::path& input, const fs::path& output, bool video,
                     std::stop_token stop) {
    const auto partial = partialSiblingPath(output);
    try {
        FFmpegTool::run(ffmpeg,
                        video ? ffmpegVideoConversionArguments(input, partial)
                              : ffmpegAudioConversionArguments(input, partial),
                        std::move(stop));
        fs::rename(partial, output);
    } catch (...) {
        removeQuietly(partial);
        throw;
    }
}

void copyUnchanged(const fs::path& input, const fs::path& output) {
    const auto partial = partialSiblingPath(output);
    try {
        removeQuietly(output);
        fs::copy_file(input, partial);
        fs::rename(partial, output);
    } catch (...) {
        removeQuietly(partial);
        throw;
    }
}

// In-process first, then the outside ffmpeg, then (video in an ".mp4" only) a plain copy.
void convert(const fs::path& input, const fs::path& output, MediaFileKind kind, const MediaImportTools& tools,
             std::stop_token stop) {
    const bool video = kind == MediaFileKind::video;
    const std::string_view failureMessage = video ? kVideoConversionFailedMessage : kAudioConversionFailedMessage;
    try {
        (video ? tools.convertVideo : tools.convertAudio)(input, output, stop);
        return;
    } catch (const MediaConversionCancelled&) {
        removeQuietly(output);
        throw;
    } catch (const std::exception& error) {
        removeQuietly(output);
        log::info(log_area::kMedia, "in-process conversion of %s failed: %s", input.filename().c_str(), error.what());
    }
    if (stop.stop_requested()) throw MediaConversionCancelled();

    const auto ffmpeg = tools.locateTool ? tools.locateTool("ffmpeg") : std::nullopt;
    if (ffmpeg) {
        try {
            convertWithTool(*ffmpeg, input, output, video, stop);
            return;
        } catch (const ToolCancelledError&) {
            throw MediaConversionCancelled();
        } catch (const std::exception& error) {
            log::warning(log_area::kMedia, "ffmpeg could not convert %s: %s", input.filename().c_str(), error.what());
            throw MediaImportError::conversionFailed(failureMessage);
        }
    }
    if (video && lowerExtension(input) == ".mp4") {
        try {
            copyUnchanged(input, output);
            return;
        } catch (const std::exception& error) {
            log::warning(log_area::kMedia, "cannot copy %s: %s", input.filename().c_str(), error.what());
        }
    }
    throw MediaImportError::conversionFailed(failureMessage);
}

}  // namespace

std::optional<MediaFileKind> classifyMedia(const fs::path& file) {
    const std::string extension = lowerExtension(file);
    if (contains(kImageExtensions, extension)) return MediaFileKind::image;
    std::error_code error;
    if (!fs::is_regular_file(file, error)) return std::nullopt;

    if (const auto input = ffmpeg::openInput(file.string())) {
        const std::string_view format = input->iformat->name;
        // Picture files without a picture extension open through the image demuxers.
        if (format == "image2" || format.ends_with("_pipe")) return MediaFileKind::image;
        // The text-art demuxer takes any .txt; text is not a video.
        if (format == "tty") return std::nullopt;
        bool hasAudio = false;
        for (unsigned i = 0; i < input->nb_streams; ++i) {
            const AVStream* stream = input->streams[i];
            const auto type = stream->codecpar->codec_type;
            if (type == AVMEDIA_TYPE_VIDEO && !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
                return MediaFileKind::video;
            }
            hasAudio = hasAudio || type == AVMEDIA_TYPE_AUDIO;
        }
        if (hasAudio) return MediaFileKind::audio;
        // Opened but without sound or picture (a movie with empty tracks): judged by extension below,
        // so it goes through conversion and measuring like any other movie.
    }
    if (contains(kVideoExtensions, extension)) return MediaFileKind::video;
    if (contains(kAudioExtensions, extension)) return MediaFileKind::audio;
    return std::nullopt;
}

ImportedMedia importMedia(const fs::path& file, const fs::path& recordingFolder, const MediaImportTools& tools,
                          std::stop_token stop) {
    std::error_code error;
    if (!fs::is_regular_file(file, error)) {
        log::info(log_area::kMedia, "cannot import %s: not a readable file", file.c_str());
        throw MediaImportError::unreadable();
    }
    const auto kind = classifyMedia(file);
    if (!kind) throw MediaImportError::unsupported();
    if (*kind == MediaFileKind::image) return ImportedMedia{*kind, file, std::nullopt};

    const std::string name = (*kind == MediaFileKind::video ? "clip-" : "audio-") + Uuid::random().string() +
                             (*kind == MediaFileKind::video ? ".mp4" : ".m4a");
    const fs::path output = recordingFolder / name;
    convert(file, output, *kind, tools, stop);

    const auto duration = playableDuration(output);
    if (!duration) {
        removeQuietly(output);
        throw MediaImportError::unreadable();
    }
    log::info(log_area::kMedia, "imported %s as %s (%.3f s)", file.filename().c_str(), name.c_str(), *duration);
    return ImportedMedia{*kind, output, duration};
}

}  // namespace orvane
