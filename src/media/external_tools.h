#pragma once

// Finding and running the outside programs `ffmpeg` and `ffprobe`. Import, captions, the fallback
// audio mix and GIF export call them when the in-process media code cannot do a job. Running blocks
// the calling thread: call it from background work only, never from the main loop.

#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <stop_token>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace orvane {

// The folders searched for a tool, in order: the program's own `../libexec/orvane` (where a bundled
// build ships its tools) when the running executable is known, then /usr/local/bin and /usr/bin.
std::vector<std::filesystem::path> defaultToolFolders();

// Answers where a tool lives, or nothing when it is not installed. Injected wherever a caller must
// behave differently without the tool, so tests can take the tool away.
using ToolLocator = std::function<std::optional<std::filesystem::path>(std::string_view name)>;

// What a finished tool wrote. `text` holds both streams in the order they arrived; each field is
// empty when its bytes are not valid UTF-8.
struct ToolOutput {
    std::string text;
    std::string standardOutput;
    std::string standardError;
};

// The tool ran and exited with a status other than 0 (or was killed by a signal it did not expect).
// The description is everything the tool printed, or "FFmpeg failed." when it printed nothing, so a
// caller's message or log shows what went wrong.
class ToolFailedError : public std::runtime_error {
public:
    ToolFailedError(int exitStatus, std::optional<int> signal, std::string output, std::string standardErrorTail);

    // The exit status, or 128 + signal number for a child killed by a signal.
    int exitStatus() const { return exitStatus_; }
    std::optional<int> terminatingSignal() const { return signal_; }
    const std::string& output() const { return output_; }
    // The last few kilobytes of standard error, where ffmpeg puts the reason.
    const std::string& standardErrorTail() const { return standardErrorTail_; }

private:
    int exitStatus_;
    std::optional<int> signal_;
    std::string output_;
    std::string standardErrorTail_;
};

// The child could not be started (missing file, no execute permission...). Carries the system's
// error code unchanged.
class ToolLaunchError : public std::system_error {
public:
    ToolLaunchError(std::error_code code, const std::filesystem::path& executable);
};

// The run was cancelled through its stop token; the child has been killed and reaped.
class ToolCancelledError : public std::runtime_error {
public:
    ToolCancelledError();
};

namespace FFmpegTool {

// The "standard error tail" kept on failures, in bytes.
inline constexpr std::size_t kStandardErrorTailBytes = 4096;

// The first of `folders` / name that is an executable regular file (symbolic links followed).
std::optional<std::filesystem::path> locate(std::string_view name, const std::vector<std::filesystem::path>& folders);
// The same over defaultToolFolders().
std::optional<std::filesystem::path> locate(std::string_view name);

// A locator over fixed folders (tests), or over defaultToolFolders() when called without any.
ToolLocator locator(std::vector<std::filesystem::path> folders);
ToolLocator locator();

// Runs `executable` with `arguments` as they are (no shell, no quoting) and waits for it, reading
// both output streams as they come so a long log never blocks the child. Standard input is
// /dev/null. Throws ToolLaunchError, ToolFailedError, or ToolCancelledError once `stop` is requested
// (the child and anything it started in its process group are killed first).
ToolOutput run(const std::filesystem::path& executable, const std::vector<std::string>& arguments,
               std::stop_token stop = {});

}  // namespace FFmpegTool

// True when `bytes` is well-formed UTF-8 (no overlongs, surrogates or code points past U+10FFFF).
bool isValidUtf8(std::string_view bytes);

}  // namespace orvane
