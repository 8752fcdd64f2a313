#include "cli_runner.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

#include "support/temp_dir.h"

extern char** environ;

namespace orvane::testing {

CliResult runOrvane(const std::filesystem::path& home, const std::vector<std::string>& arguments) {
    const auto outFile = home / ".cli-stdout";
    const auto errFile = home / ".cli-stderr";

    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (entry.rfind("XDG_", 0) == 0 || entry.rfind("HOME=", 0) == 0 || entry.rfind("ORVANE_BUNDLE=", 0) == 0) continue;
        env.push_back(entry);
    }
    env.push_back("HOME=" + home.string());
    env.push_back("XDG_DATA_HOME=" + (home / "data").string());
    env.push_back("XDG_CONFIG_HOME=" + (home / "config").string());
    env.push_back("XDG_CACHE_HOME=" + (home / "cache").string());

    std::vector<std::string> argv{ORVANE_CLI_PATH};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> argPointers, envPointers;
    for (auto& a : argv) argPointers.push_back(a.data());
    argPointers.push_back(nullptr);
    for (auto& e : env) envPointers.push_back(e.data());
    envPointers.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argPointers[0], &actions, nullptr, argPointers.data(), envPointers.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) throw std::runtime_error("cannot start " + argv[0]);

    int status = 0;
    ::waitpid(pid, &status, 0);
    CliResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = readTextFile(outFile);
    result.err = readTextFile(errFile);
    return result;
}

}  // namespace orvane::testing
