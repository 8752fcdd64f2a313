#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

struct ChildResult {
    int exitStatus = 0;  // 128 + signal for a child killed by a signal
    std::string output;  // standard output and error as they arrived
};

// Runs `program` (an absolute path) with `arguments` and no shell, standard input on /dev/null,
// and waits for it. Throws std::system_error when it cannot be started.
ChildResult runChild(const std::filesystem::path& program, const std::vector<std::string>& arguments);

// The first executable `name` in the folders of $PATH.
std::optional<std::filesystem::path> findOnPath(std::string_view name);

}  // namespace orvane
