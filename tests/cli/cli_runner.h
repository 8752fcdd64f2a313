#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvane::testing {

struct CliResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// The real `orvane` binary running with its data, config and cache folders inside `home`, as a user
// pointing XDG variables elsewhere would. `environment` entries ("NAME=value") replace inherited
// ones. Its output goes to files in `home`, so a child nobody reads from never blocks on a pipe.
class OrvaneProcess {
public:
    // `outputTag` names the output files, so processes running at once keep theirs apart; a
    // `stdoutFile` receives the output instead (it is then not read back). `input`, when given, is
    // what the child reads on stdin; otherwise it inherits the test's stdin.
    OrvaneProcess(const std::filesystem::path& home, const std::vector<std::string>& arguments,
                  const std::vector<std::string>& environment = {}, const std::string& outputTag = {},
                  const std::optional<std::filesystem::path>& stdoutFile = std::nullopt,
                  const std::optional<std::string>& input = std::nullopt);
    OrvaneProcess(const OrvaneProcess&) = delete;
    OrvaneProcess& operator=(const OrvaneProcess&) = delete;
    // A child still running is killed, so a failed test does not leave it behind.
    ~OrvaneProcess();

    pid_t pid() const { return pid_; }
    // Polls the child's stderr until it holds `text`; false when the child ended without writing it.
    bool waitForError(std::string_view text);
    void signal(int number);
    // Waits for the end and answers the exit code (128 + signal when killed) and both outputs.
    CliResult wait();

private:
    bool reap(bool block);

    std::filesystem::path outFile_;
    bool readOut_ = true;
    std::filesystem::path errFile_;
    pid_t pid_ = -1;
    bool reaped_ = false;
    int status_ = 0;
};

// Runs `orvane` to the end.
CliResult runOrvane(const std::filesystem::path& home, const std::vector<std::string>& arguments,
                    const std::vector<std::string>& environment = {}, const std::optional<std::string>& input = {});

}  // namespace orvane::testing
