#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <stop_token>

namespace orvane {

struct SceneRenderSnapshot;

// The built-in mix failed; the message says why (the caller logs it and tries its next strategy).
class AudioMixError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The export's built-in audio mix, in-process over FFmpeg's libraries.
class AudioMixExporter {
public:
    // The mix's AAC bit rate.
    static constexpr std::int64_t kBitRate = 192000;

    // Renders the snapshot's sound (MixRenderer: the recording through its clips, trim, ramps and
    // mutes at originalAudioVolume, voice clips, the generated voiceover, background music, video
    // overlays' own audio and click sounds) and writes `output`: an MP4 with the first video stream
    // of `renderedVideo` copied packet for packet and the mix as AAC, 48 kHz stereo, 192 kb/s,
    // lasting the output duration of the edit. The mix is rendered and encoded ten seconds at a
    // time, interleaved with the video by time, so memory stays bounded. `output` is written
    // through a hidden partial file and appears only when complete. Blocks; run it as background
    // work. Throws AudioMixError (also when `stop` is requested).
    void mix(const std::filesystem::path& renderedVideo, const SceneRenderSnapshot& snapshot,
             const std::filesystem::path& output, std::stop_token stop = {});
};

}  // namespace orvane
