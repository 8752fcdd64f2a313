#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace orvane::testing {

struct CliResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs the real `orvane` binary with its data, config and cache folders inside `home`, as a user
// pointing XDG variables elsewhere would.
CliResult runOrvane(const std::filesystem::path& home, const std::vector<std::string>& arguments);

}  // namespace orvane::testing
