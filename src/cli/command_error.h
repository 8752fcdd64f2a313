#pragma once

#include <stdexcept>
#include <string>

namespace orvane::cli {

// Exit codes: what failed, for scripts.
enum ExitCode : int { kOk = 0, kFailure = 1, kUsage = 2, kNotFound = 3 };

// A command that failed with its own exit code; main prints "error: " + what() and exits with it.
class CommandFailed : public std::runtime_error {
public:
    CommandFailed(int exitCode, const std::string& message) : std::runtime_error(message), exitCode_(exitCode) {}
    int exitCode() const { return exitCode_; }

private:
    int exitCode_;
};

}  // namespace orvane::cli
