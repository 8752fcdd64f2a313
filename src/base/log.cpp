#include "base/log.h"

#include <syslog.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <set>
#include <vector>

namespace orvane::log {

namespace {

struct LogState {
    std::mutex mutex;
    bool echo = false;
    bool opened = false;
    Sink sink;
    NoticeHandler notices;
    std::set<std::string> skippedFiles;
};

LogState& state() {
    static LogState instance;
    return instance;
}

int syslogPriority(Level level) {
    switch (level) {
        case Level::debug: return LOG_DEBUG;
        case Level::info: return LOG_INFO;
        case Level::warning: return LOG_WARNING;
        case Level::error: return LOG_ERR;
    }
    return LOG_INFO;
}

std::string formatV(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    const int size = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (size <= 0) return {};
    std::vector<char> buffer(static_cast<std::size_t>(size) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    return std::string(buffer.data(), static_cast<std::size_t>(size));
}

}  // namespace

void write(Level level, std::string_view area, std::string_view message) {
    std::string line;
    line.reserve(area.size() + message.size() + 3);
    line.append("[").append(area).append("] ").append(message);

    auto& s = state();
    std::lock_guard lock(s.mutex);
    if (!s.opened) {
        ::openlog("orvane", LOG_PID, LOG_USER);
        s.opened = true;
    }
    ::syslog(syslogPriority(level), "%s", line.c_str());
    if (s.echo) std::fprintf(stderr, "%s\n", line.c_str());
    if (s.sink) s.sink(level, line);
}

#define ORVANE_LOG_VARIADIC(name, level)                        \
    void name(std::string_view area, const char* format, ...) { \
        va_list args;                                           \
        va_start(args, format);                                 \
        const std::string message = formatV(format, args);      \
        va_end(args);                                           \
        write(level, area, message);                            \
    }

ORVANE_LOG_VARIADIC(debug, Level::debug)
ORVANE_LOG_VARIADIC(info, Level::info)
ORVANE_LOG_VARIADIC(warning, Level::warning)
ORVANE_LOG_VARIADIC(error, Level::error)
#undef ORVANE_LOG_VARIADIC

void setEchoToStderr(bool echo) {
    auto& s = state();
    std::lock_guard lock(s.mutex);
    s.echo = echo;
}

void skippedFile(std::string_view area, std::string_view what, const std::filesystem::path& file,
                 std::string_view reason, std::string_view consequence) {
    auto& s = state();
    NoticeHandler handler;
    {
        std::lock_guard lock(s.mutex);
        if (!s.skippedFiles.insert(file.string()).second) return;
        handler = s.notices;
    }
    std::string text("the ");
    text.append(what).append(" ").append(file.string()).append(" could not be read (");
    text.append(reason).append("); ").append(consequence);
    write(Level::warning, area, text);
    // Called outside the lock: a handler may log.
    if (handler) handler(text);
}

ScopedNoticeHandler::ScopedNoticeHandler(NoticeHandler handler) {
    auto& s = state();
    std::lock_guard lock(s.mutex);
    previous_ = std::move(s.notices);
    s.notices = std::move(handler);
}

ScopedNoticeHandler::~ScopedNoticeHandler() {
    auto& s = state();
    std::lock_guard lock(s.mutex);
    s.notices = std::move(previous_);
}

ScopedSink::ScopedSink(Sink sink) {
    auto& s = state();
    std::lock_guard lock(s.mutex);
    previous_ = std::move(s.sink);
    s.sink = std::move(sink);
}

ScopedSink::~ScopedSink() {
    auto& s = state();
    std::lock_guard lock(s.mutex);
    s.sink = std::move(previous_);
}

}  // namespace orvane::log
