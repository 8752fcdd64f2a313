#pragma once

#include <filesystem>
#include <optional>

namespace orvane {

// The absolute path of the running program with symbolic links resolved, or nothing when the system
// cannot tell (a deleted executable, a restricted /proc).
std::optional<std::filesystem::path> runningExecutablePath();

}  // namespace orvane
