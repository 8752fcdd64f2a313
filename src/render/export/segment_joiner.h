#pragma once

#include <filesystem>
#include <vector>

namespace orvane {

// Joins H.264 segment files, in order, into one MP4 by copying their packets (no re-encoding). Each
// segment's timestamps are moved to start where the previous one ended, so every file starts at 0
// and the result plays through. Writes `output` in place; the caller owns clean-up on failure.
// Throws std::runtime_error naming the segment that cannot be read or does not match the first.
void combineSegmentVideos(const std::vector<std::filesystem::path>& segments, const std::filesystem::path& output,
                          bool fastStart = true);

}  // namespace orvane
