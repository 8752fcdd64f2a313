#pragma once

#include <filesystem>
#include <memory>
#include <optional>

#include "media/video_frame.h"
#include "render/scene_snapshot.h"

namespace orvane {

// One finished output frame of an edit, as an export draws it.
struct RenderedOutputFrame {
    RgbaImage image;
    double compositionTime = 0;
    bool hasRecordingFrame = false;  // false in a head gap or past the last clip
};

// Renders the frame shown at `outputTime` (seconds on the exported timeline, after trim and speed
// ramps): the clip under that composition time is decoded from `recordingFolder`, composed with
// the background, overlays and every vector layer. Nothing when the frame cannot be drawn.
std::optional<RenderedOutputFrame> renderOutputFrame(const std::shared_ptr<const SceneRenderSnapshot>& snapshot,
                                                     const std::filesystem::path& recordingFolder, double outputTime,
                                                     int width, int height);

}  // namespace orvane
