#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace orvane {

// Starts `program` with `arguments` in a session of its own, its standard streams on /dev/null, and
// does not wait: it outlives the caller, as a desktop program started from a terminal should.
// Throws std::system_error when it cannot be started.
void launchDetached(const std::filesystem::path& program, const std::vector<std::string>& arguments);

}  // namespace orvane
