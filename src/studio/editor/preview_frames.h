#pragma once

#include <filesystem>
#include <memory>
#include <optional>

#include "media/decode/frame_decoder.h"
#include "model/scene_render_snapshot.h"

namespace orvane {
class OutputFrameRenderer;
}

namespace orvane::studio {

// Output frames for the preview, drawn as renderOutputFrame draws them for the export, but keeping
// between frames what playback would otherwise redo each time: the open decoder (so the next frame
// is read on from the last one instead of seeking back to a key frame) and the frame renderer with
// its background and shadow caches. Edits with overlays take the plain single-frame path. One
// thread at a time.
class PreviewFrames {
public:
    PreviewFrames();
    ~PreviewFrames();
    PreviewFrames(const PreviewFrames&) = delete;
    PreviewFrames& operator=(const PreviewFrames&) = delete;

    std::optional<RgbaImage> render(const std::shared_ptr<const SceneRenderSnapshot>& snapshot,
                                    const std::filesystem::path& recordingFolder, double outputTime, int width,
                                    int height);

private:
    // The recording frame shown at `seconds` of `file`: the last at or before it, as the export picks.
    DecodedFrame frameAt(const std::filesystem::path& file, double seconds);

    std::shared_ptr<const SceneRenderSnapshot> snapshot_;
    int width_ = 0;
    int height_ = 0;
    double lastOutputTime_ = -1;
    std::unique_ptr<OutputFrameRenderer> renderer_;

    std::filesystem::path file_;
    std::unique_ptr<FrameDecoder> decoder_;
    std::optional<PendingFrame> current_;
    std::optional<PendingFrame> next_;  // read past current_, kept for the next request
};

}  // namespace orvane::studio
