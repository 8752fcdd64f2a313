#include "cli_runner.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "support/temp_dir.h"

extern char** environ;

namespace orvane::testing {

namespace {

std::string variableName(const std::string& entry) { return entry.substr(0, entry.find('=')); }

}  // namespace

OrvaneProcess::OrvaneProcess(const std::filesystem::path& home, const std::vector<std::string>& arguments,
                             const std::vector<std::string>& environment, const std::string& outputTag,
                             const std::optional<std::filesystem::path>& stdoutFile,
                             const std::optional<std::string>& input)
    : outFile_(stdoutFile.value_or(home / (".cli-stdout" + outputTag))),
      readOut_(!stdoutFile),
      errFile_(home / (".cli-stderr" + outputTag)) {
    std::vector<std::string> env{"HOME=" + home.string(), "XDG_DATA_HOME=" + (home / "data").string(),
                                 "XDG_CONFIG_HOME=" + (home / "config").string(),
                                 "XDG_CACHE_HOME=" + (home / "cache").string()};
    env.insert(env.end(), environment.begin(), environment.end());
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = variableName(entry);
        if (name.rfind("XDG_", 0) == 0 || name == "ORVANE_BUNDLE") continue;
        bool replaced = false;
        for (const auto& own : env) replaced = replaced || variableName(own) == name;
        if (!replaced) env.push_back(entry);
    }

    std::vector<std::string> argv{ORVANE_CLI_PATH};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> argPointers, envPointers;
    for (auto& a : argv) argPointers.push_back(a.data());
    argPointers.push_back(nullptr);
    for (auto& e : env) envPointers.push_back(e.data());
    envPointers.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const auto inFile = home / (".cli-stdin" + outputTag);
    if (input) {
        std::ofstream(inFile, std::ios::binary | std::ios::trunc) << *input;
        posix_spawn_file_actions_addopen(&actions, 0, inFile.c_str(), O_RDONLY, 0);
    }
    posix_spawn_file_actions_addopen(&actions, 1, outFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int spawned = posix_spawn(&pid_, argPointers[0], &actions, nullptr, argPointers.data(), envPointers.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) throw std::runtime_error("cannot start " + argv[0]);
}

OrvaneProcess::~OrvaneProcess() {
    if (reaped_) return;
    ::kill(pid_, SIGKILL);
    reap(true);
}

bool OrvaneProcess::reap(bool block) {
    if (reaped_) return true;
    const pid_t done = ::waitpid(pid_, &status_, block ? 0 : WNOHANG);
    reaped_ = done == pid_;
    return reaped_;
}

bool OrvaneProcess::waitForError(std::string_view text) {
    for (;;) {
        // Checked before reading, so output written just before the end is still seen.
        const bool ended = reap(false);
        if (readTextFile(errFile_).find(text) != std::string::npos) return true;
        if (ended) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void OrvaneProcess::signal(int number) {
    if (!reaped_) ::kill(pid_, number);
}

CliResult OrvaneProcess::wait() {
    reap(true);
    CliResult result;
    result.exitCode = WIFEXITED(status_) ? WEXITSTATUS(status_) : 128 + WTERMSIG(status_);
    if (readOut_) result.out = readTextFile(outFile_);
    result.err = readTextFile(errFile_);
    return result;
}

CliResult runOrvane(const std::filesystem::path& home, const std::vector<std::string>& arguments,
                    const std::vector<std::string>& environment, const std::optional<std::string>& input) {
    return OrvaneProcess(home, arguments, environment, {}, std::nullopt, input).wait();
}

}  // namespace orvane::testing
