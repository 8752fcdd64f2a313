#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace orvane::log {

enum class Level { debug, info, warning, error };

// Every line reads "[Area] message", e.g. "[Orvane.Library] reloaded 3 recordings".
// Errors are for failures that should not happen; warnings for handled trouble the user may notice;
// info for the outcome of user-visible work; debug for tracing.
void write(Level level, std::string_view area, std::string_view message);

// printf-style convenience; the area is the bracketed tag without brackets.
void debug(std::string_view area, const char* format, ...) __attribute__((format(printf, 2, 3)));
void info(std::string_view area, const char* format, ...) __attribute__((format(printf, 2, 3)));
void warning(std::string_view area, const char* format, ...) __attribute__((format(printf, 2, 3)));
void error(std::string_view area, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Lines also go to stderr (the CLI's --verbose).
void setEchoToStderr(bool echo);

// A file the program could not read and went on without (the cursor track, the preferences, the
// projects list). Says "the <what> <file> could not be read (<reason>); <consequence>" as a warning
// and to the notice handler, once per file for the life of the process, however often the file is
// read again.
void skippedFile(std::string_view area, std::string_view what, const std::filesystem::path& file,
                 std::string_view reason, std::string_view consequence);

// Receives the text of notices the user should see; the CLI prints them on stderr. None by default.
using NoticeHandler = std::function<void(const std::string& text)>;

// Installs a notice handler for its lifetime, restoring the previous one afterwards.
class ScopedNoticeHandler {
public:
    explicit ScopedNoticeHandler(NoticeHandler handler);
    ScopedNoticeHandler(const ScopedNoticeHandler&) = delete;
    ScopedNoticeHandler& operator=(const ScopedNoticeHandler&) = delete;
    ~ScopedNoticeHandler();

private:
    NoticeHandler previous_;
};

// Receives every formatted line in addition to syslog; tests observe logging through it.
using Sink = std::function<void(Level, const std::string& line)>;

// Installs a sink for its lifetime, restoring the previous one afterwards.
class ScopedSink {
public:
    explicit ScopedSink(Sink sink);
    ScopedSink(const ScopedSink&) = delete;
    ScopedSink& operator=(const ScopedSink&) = delete;
    ~ScopedSink();

private:
    Sink previous_;
};

}  // namespace orvane::log
