#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <vector>

namespace orvane {

// The segments were encoded differently (another encoder or settings) and cannot share one track.
class SegmentMismatchError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What a segment's video track must share with every other segment to be joined into one track.
struct SegmentFormat {
    int codec = 0;
    int width = 0;
    int height = 0;
    int pixelFormat = -1;
    std::vector<unsigned char> parameterSets;  // the codec's extradata
    bool operator==(const SegmentFormat&) const = default;
};

// The format of a segment file; nothing when it cannot be opened or holds no video.
std::optional<SegmentFormat> readSegmentFormat(const std::filesystem::path& file);

// Joins H.264 segment files, in order, into one MP4 by copying their packets (no re-encoding). Each
// segment's timestamps are moved to start where the previous one ended, so every file starts at 0
// and the result plays through. Writes `output` in place; the caller owns clean-up on failure.
// Throws SegmentMismatchError when a segment's stream differs from the first one's (size, format or
// parameter sets), std::runtime_error naming a segment that cannot be read or an output that cannot
// be written.
void combineSegmentVideos(const std::vector<std::filesystem::path>& segments, const std::filesystem::path& output,
                          bool fastStart = true);

}  // namespace orvane
