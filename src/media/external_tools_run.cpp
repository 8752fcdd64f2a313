#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <utility>

#include "base/log.h"
#include "base/log_areas.h"
#include "media/external_tools.h"

extern char** environ;

namespace orvane {

namespace fs = std::filesystem;

ToolFailedError::ToolFailedError(int exitStatus, std::optional<int> signal, std::string output,
                                 std::string standardErrorTail)
    : std::runtime_error(output.empty() ? std::string("FFmpeg failed.") : output),
      exitStatus_(exitStatus),
      signal_(signal),
      output_(std::move(output)),
      standardErrorTail_(std::move(standardErrorTail)) {}

ToolLaunchError::ToolLaunchError(std::error_code code, const fs::path& executable)
    : std::system_error(code, "cannot start " + executable.string()) {}

ToolCancelledError::ToolCancelledError() : std::runtime_error("The tool was cancelled.") {}

namespace {

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    ~UniqueFd() { reset(); }
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    void reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

struct Pipe {
    UniqueFd read;
    UniqueFd write;
};

Pipe makePipe() {
    int ends[2];
    // Close-on-exec so a child started by another thread at the same moment never inherits our ends,
    // which would keep them open and hide the end of the output.
    if (::pipe2(ends, O_CLOEXEC) != 0) throw std::system_error(errno, std::generic_category(), "cannot create a pipe");
    Pipe pipe{UniqueFd(ends[0]), UniqueFd(ends[1])};
    ::fcntl(pipe.read.get(), F_SETFL, ::fcntl(pipe.read.get(), F_GETFL) | O_NONBLOCK);
    return pipe;
}

class SpawnSetup {
public:
    SpawnSetup(int standardOutput, int standardError) {
        posix_spawn_file_actions_init(&actions_);
        posix_spawnattr_init(&attributes_);
        check(posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0));
        check(posix_spawn_file_actions_adddup2(&actions_, standardOutput, STDOUT_FILENO));
        check(posix_spawn_file_actions_adddup2(&actions_, standardError, STDERR_FILENO));
        // Its own process group, so cancelling also ends whatever the tool started itself.
        check(posix_spawnattr_setpgroup(&attributes_, 0));
        // The calling thread may block or ignore signals (event loops do); the tool gets a clean slate.
        sigset_t none;
        sigemptyset(&none);
        check(posix_spawnattr_setsigmask(&attributes_, &none));
        sigset_t defaults;
        sigemptyset(&defaults);
        for (const int signal : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGCHLD, SIGUSR1, SIGUSR2}) {
            sigaddset(&defaults, signal);
        }
        check(posix_spawnattr_setsigdefault(&attributes_, &defaults));
        check(posix_spawnattr_setflags(&attributes_, static_cast<short>(POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK |
                                                                        POSIX_SPAWN_SETSIGDEF)));
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions_);
        posix_spawnattr_destroy(&attributes_);
    }
    const posix_spawn_file_actions_t* actions() const { return &actions_; }
    const posix_spawnattr_t* attributes() const { return &attributes_; }

private:
    static void check(int status) {
        if (status != 0) throw std::system_error(status, std::generic_category(), "cannot prepare the child process");
    }
    posix_spawn_file_actions_t actions_;
    posix_spawnattr_t attributes_;
};

int waitForExit(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return 0;
    }
    return status;
}

// Owns the started child: however the run ends early (cancelled, out of memory, a failed poll),
// the child and its process group are killed and reaped, so no tool outlives its caller.
class ChildGuard {
public:
    explicit ChildGuard(pid_t pid) : pid_(pid) {}
    ChildGuard(const ChildGuard&) = delete;
    ChildGuard& operator=(const ChildGuard&) = delete;
    ~ChildGuard() {
        if (reaped_) return;
        ::kill(-pid_, SIGKILL);
        ::kill(pid_, SIGKILL);
        waitForExit(pid_);
    }
    int wait() {
        reaped_ = true;
        return waitForExit(pid_);
    }

private:
    pid_t pid_;
    bool reaped_ = false;
};

// Collects one stream while remembering the arrival order of both.
struct Stream {
    UniqueFd fd;
    std::string* own;
    bool open = true;
};

// Reads what is available now; false once the stream has ended.
bool drain(Stream& stream, std::string& combined) {
    std::array<char, 65536> buffer;
    for (;;) {
        const ssize_t count = ::read(stream.fd.get(), buffer.data(), buffer.size());
        if (count > 0) {
            stream.own->append(buffer.data(), static_cast<std::size_t>(count));
            combined.append(buffer.data(), static_cast<std::size_t>(count));
            continue;
        }
        if (count < 0 && errno == EINTR) continue;
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
        stream.open = false;
        stream.fd.reset();
        return false;
    }
}

std::string tail(const std::string& text, std::size_t bytes) {
    if (text.size() <= bytes) return text;
    std::size_t start = text.size() - bytes;
    // Never begin inside a multi-byte character.
    while (start < text.size() && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) ++start;
    return text.substr(start);
}

std::string validOrEmpty(std::string text) { return isValidUtf8(text) ? std::move(text) : std::string(); }

}  // namespace

namespace FFmpegTool {

ToolOutput run(const fs::path& executable, const std::vector<std::string>& arguments, std::stop_token stop) {
    if (stop.stop_requested()) throw ToolCancelledError();

    Pipe outputPipe = makePipe();
    Pipe errorPipe = makePipe();
    Pipe wakePipe = makePipe();

    std::vector<char*> argv;
    std::string program = executable.string();
    argv.push_back(program.data());
    std::vector<std::string> copies = arguments;
    for (auto& argument : copies) argv.push_back(argument.data());
    argv.push_back(nullptr);

    pid_t pid = 0;
    {
        SpawnSetup setup(outputPipe.write.get(), errorPipe.write.get());
        const int status =
            ::posix_spawn(&pid, executable.c_str(), setup.actions(), setup.attributes(), argv.data(), environ);
        if (status != 0) throw ToolLaunchError(std::error_code(status, std::generic_category()), executable);
    }
    // Only the child may hold the write ends, so the streams end when it (and its children) do.
    outputPipe.write.reset();
    errorPipe.write.reset();
    log::debug(log_area::kMedia, "started %s (pid %d) with %zu arguments", program.c_str(), static_cast<int>(pid),
               arguments.size());

    ChildGuard child(pid);

    // Learning of the exit through a pidfd lets a stray grandchild that keeps the pipes open not hold
    // us up; without one (old kernels) the end of both streams stands for the exit.
    UniqueFd exitFd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));

    std::stop_callback wake(stop, [fd = wakePipe.write.get()] {
        const char byte = 1;
        [[maybe_unused]] const ssize_t ignored = ::write(fd, &byte, 1);
    });

    ToolOutput output;
    Stream streams[2] = {{std::move(outputPipe.read), &output.standardOutput},
                         {std::move(errorPipe.read), &output.standardError}};
    bool exited = false;
    while (!exited && (streams[0].open || streams[1].open || exitFd)) {
        std::array<pollfd, 4> fds{};
        fds[0] = {streams[0].open ? streams[0].fd.get() : -1, POLLIN, 0};
        fds[1] = {streams[1].open ? streams[1].fd.get() : -1, POLLIN, 0};
        fds[2] = {wakePipe.read.get(), POLLIN, 0};
        fds[3] = {exitFd ? exitFd.get() : -1, POLLIN, 0};
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            throw std::system_error(errno, std::generic_category(), "cannot wait for the tool's output");
        }
        if (fds[2].revents != 0) {
            log::debug(log_area::kMedia, "cancelled %s (pid %d)", program.c_str(), static_cast<int>(pid));
            throw ToolCancelledError();
        }
        for (int i = 0; i < 2; ++i) {
            if (streams[i].open && fds[static_cast<std::size_t>(i)].revents != 0) drain(streams[i], output.text);
        }
        if (fds[3].revents != 0) {
            // Whatever the child wrote before exiting is already in the pipes.
            for (auto& stream : streams) {
                if (stream.open) drain(stream, output.text);
            }
            exited = true;
        }
    }
    const int status = child.wait();

    output.text = validOrEmpty(std::move(output.text));
    output.standardOutput = validOrEmpty(std::move(output.standardOutput));
    output.standardError = validOrEmpty(std::move(output.standardError));
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return output;

    std::optional<int> signal;
    int exitStatus = 0;
    if (WIFSIGNALED(status)) {
        signal = WTERMSIG(status);
        exitStatus = 128 + *signal;
    } else {
        exitStatus = WEXITSTATUS(status);
    }
    log::info(log_area::kMedia, "%s exited with status %d", program.c_str(), exitStatus);
    std::string errorTail = tail(output.standardError, kStandardErrorTailBytes);
    throw ToolFailedError(exitStatus, signal, std::move(output.text), std::move(errorTail));
}

}  // namespace FFmpegTool

bool isValidUtf8(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        int length = 0;
        std::uint32_t codePoint = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            codePoint = lead & 0x1Fu;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            codePoint = lead & 0x0Fu;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            codePoint = lead & 0x07u;
        } else {
            return false;
        }
        if (i + static_cast<std::size_t>(length) > bytes.size()) return false;
        for (int k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + static_cast<std::size_t>(k)]);
            if ((next & 0xC0) != 0x80) return false;
            codePoint = (codePoint << 6) | (next & 0x3Fu);
        }
        const bool overlong = (length == 3 && codePoint < 0x800) || (length == 4 && codePoint < 0x10000);
        if (overlong || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) return false;
        i += static_cast<std::size_t>(length);
    }
    return true;
}

}  // namespace orvane
