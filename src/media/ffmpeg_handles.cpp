#include "media/ffmpeg_handles.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <mutex>

#include "base/file_error.h"
#include "base/log.h"
#include "base/log_areas.h"

namespace orvane::ffmpeg {

std::string errorText(int errorCode) {
    // A full disk reads the same here as in every other message about files.
    if (errorCode == AVERROR(ENOSPC)) return fileErrorText(std::make_error_code(std::errc::no_space_on_device));
    char buffer[AV_ERROR_MAX_STRING_SIZE] = {};
    if (av_strerror(errorCode, buffer, sizeof buffer) != 0) {
        std::snprintf(buffer, sizeof buffer, "error %d", errorCode);
    }
    return buffer;
}

InputFormatContext openInput(const std::string& path) {
    routeLogging();
    AVFormatContext* raw = nullptr;
    if (const int status = avformat_open_input(&raw, path.c_str(), nullptr, nullptr); status < 0) {
        log::debug(log_area::kMedia, "cannot open %s: %s", path.c_str(), errorText(status).c_str());
        return nullptr;
    }
    InputFormatContext context(raw);
    if (const int status = avformat_find_stream_info(context.get(), nullptr); status < 0) {
        log::debug(log_area::kMedia, "no stream information in %s: %s", path.c_str(), errorText(status).c_str());
        return nullptr;
    }
    return context;
}

namespace {

void forwardLogLine(void* object, int level, const char* format, va_list arguments) {
    if (level > AV_LOG_WARNING) return;
    // FFmpeg may build one line from several calls; the prefix flag carries that state per thread.
    thread_local int printPrefix = 1;
    char line[1024];
    av_log_format_line2(object, level, format, arguments, line, sizeof line, &printPrefix);
    std::size_t length = std::strlen(line);
    while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r')) line[--length] = '\0';
    if (length == 0) return;
    // What FFmpeg calls an error is usually a file we were handed and already report ourselves.
    if (level <= AV_LOG_ERROR) {
        log::warning(log_area::kMedia, "%s", line);
    } else {
        log::debug(log_area::kMedia, "%s", line);
    }
}

}  // namespace

void routeLogging() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_callback(forwardLogLine); });
}

}  // namespace orvane::ffmpeg
