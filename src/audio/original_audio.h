#pragma once

#include <filesystem>

namespace orvane {

// Writes `output` (the export names it "original-audio.mp4"): the first video stream of
// `renderedVideo` and the first audio stream of `recording`, both copied packet for packet, so
// nothing is decoded or re-encoded. The audio starts at `recordingStart` seconds of the recording
// (the export passes the trim start when the edit is one uncut clip) and ends with the video.
// Throws AudioMixError when the recording has no audio or either file cannot be read or written;
// `output` appears only when complete.
void passOriginalAudio(const std::filesystem::path& renderedVideo, const std::filesystem::path& recording,
                       const std::filesystem::path& output, double recordingStart = 0);

}  // namespace orvane
