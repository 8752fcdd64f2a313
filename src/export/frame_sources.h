#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "export/source_frame_decoder.h"
#include "model/scene_render_snapshot.h"
#include "model/video_overlay_clip.h"

namespace orvane {

// The recording frame under one composition time.
struct ClipFrame {
    DecodedFrame image;  // null when the clip's file gave no frame
    double sourceTime = 0;
};

// Decodes the clips of one render attempt: each clip entry reads its file forward, and falls back to
// random access when a request goes backwards or the forward reader yields nothing. One per worker
// and attempt; not shared between threads.
class ClipFrameProvider {
public:
    ClipFrameProvider(const SceneRenderSnapshot& snapshot, double frameDuration, DecodeOptions options);
    ~ClipFrameProvider();
    ClipFrameProvider(const ClipFrameProvider&) = delete;
    ClipFrameProvider& operator=(const ClipFrameProvider&) = delete;

    // Nothing in head gaps, before the first clip and after the last: nothing is drawn there.
    // Throws std::runtime_error with the reader's error when a clip file cannot be read.
    std::optional<ClipFrame> frameAt(double compositionTime);

private:
    struct Entry;
    std::vector<Clip> clips_;
    std::filesystem::path baseDirectory_;
    std::filesystem::path fallbackFile_;
    double frameDuration_;
    DecodeOptions options_;
    std::vector<std::unique_ptr<Entry>> entries_;  // by clip index, made on first use
};

// Which frame of an animation `cumulativeEndTimes` describes shows at `t`. Animations loop, as GIFs
// do in every viewer, so an overlay longer than its picture keeps moving.
std::size_t animationFrameIndex(const std::vector<double>& cumulativeEndTimes, double t);

// One overlay's pictures for one render attempt: a movie read forward (random access when a request
// goes backwards), a still decoded once, or an animation decoded once whole.
class OverlayFrameSource {
public:
    OverlayFrameSource(VideoOverlayClip clip, double frameDuration, DecodeOptions options);
    ~OverlayFrameSource();
    OverlayFrameSource(const OverlayFrameSource&) = delete;
    OverlayFrameSource& operator=(const OverlayFrameSource&) = delete;

    const VideoOverlayClip& clip() const { return clip_; }

    // The picture at the overlay's media time; null when its file has none (a missing still is
    // simply not drawn). Throws std::runtime_error when an overlay movie cannot be read.
    DecodedFrame frameAt(double mediaTime);

private:
    void load();

    VideoOverlayClip clip_;
    double frameDuration_;
    DecodeOptions options_;
    bool loaded_ = false;
    std::unique_ptr<SequentialSourceFrameDecoder> decoder_;
    std::unique_ptr<RandomAccessFrameSource> generator_;
    DecodedFrame staticImage_;
    std::optional<DecodedAnimation> animatedFrames_;
};

}  // namespace orvane
