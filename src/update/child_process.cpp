#include "update/child_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>

#include "base/file_descriptor.h"

extern char** environ;

namespace orvane {

namespace {

struct SpawnActions {
    SpawnActions() { posix_spawn_file_actions_init(&actions); }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&actions); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    posix_spawn_file_actions_t actions;
};

}  // namespace

ChildResult runChild(const std::filesystem::path& program, const std::vector<std::string>& arguments) {
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) throw std::system_error(errno, std::generic_category(), "pipe");
    FileDescriptor readEnd(pipeEnds[0]);
    FileDescriptor writeEnd(pipeEnds[1]);

    SpawnActions spawn;
    posix_spawn_file_actions_addopen(&spawn.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&spawn.actions, writeEnd.get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&spawn.actions, writeEnd.get(), STDERR_FILENO);

    std::vector<std::string> argvStrings;
    argvStrings.push_back(program.string());
    argvStrings.insert(argvStrings.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& argument : argvStrings) argv.push_back(argument.data());
    argv.push_back(nullptr);

    pid_t child = 0;
    const int failed = ::posix_spawn(&child, program.c_str(), &spawn.actions, nullptr, argv.data(), environ);
    if (failed != 0) throw std::system_error(failed, std::generic_category(), program.string());
    // Our copy of the write end must close, or the read below never sees the end of the output.
    writeEnd = FileDescriptor(-1);

    ChildResult result;
    char buffer[4096];
    while (true) {
        const ssize_t got = ::read(readEnd.get(), buffer, sizeof buffer);
        if (got > 0) {
            result.output.append(buffer, static_cast<std::size_t>(got));
        } else if (got == 0 || errno != EINTR) {
            break;
        }
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

std::optional<std::filesystem::path> findOnPath(std::string_view name) {
    const char* path = std::getenv("PATH");
    if (!path) return std::nullopt;
    std::string_view folders(path);
    while (true) {
        const auto colon = folders.find(':');
        const auto folder = folders.substr(0, colon);
        if (!folder.empty()) {
            const auto candidate = std::filesystem::path(folder) / name;
            std::error_code error;
            if (std::filesystem::is_regular_file(candidate, error) && ::access(candidate.c_str(), X_OK) == 0) {
                return candidate;
            }
        }
        if (colon == std::string_view::npos) break;
        folders.remove_prefix(colon + 1);
    }
    return std::nullopt;
}

}  // namespace orvane
