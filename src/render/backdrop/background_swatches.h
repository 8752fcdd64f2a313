#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace orvane {

// Writes one PNG per background style into `dir` (created when missing), named after the style's
// raw value ("bone.png", "custom.png" showing the missing-image fallback, "none.png" transparent).
// Answers the files written; on failure nothing more is written and `error` says why.
std::vector<std::filesystem::path> writeBackgroundSwatches(const std::filesystem::path& dir, int width, int height,
                                                           std::string* error = nullptr);

}  // namespace orvane
