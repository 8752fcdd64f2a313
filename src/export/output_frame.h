#pragma once

#include <cairo.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <span>

#include "media/video_frame.h"
#include "model/scene_render_snapshot.h"
#include "render/scene/compositor.h"

namespace orvane {

// One finished output frame of an edit, as an export draws it.
struct RenderedOutputFrame {
    RgbaImage image;
    double compositionTime = 0;
    bool hasRecordingFrame = false;  // false in a head gap or past the last clip
};

// Everything one render worker keeps for a whole job: the compositor with its shadow, backdrop and
// shrink caches, the background drawn once, the caption cache and, once a face camera asks for
// them, the face services (the cascade loads once per worker, not per frame). Frames must come in
// increasing output time (captions are looked up forwards). One per worker; not thread-safe.
class OutputFrameRenderer {
public:
    OutputFrameRenderer(std::shared_ptr<const SceneRenderSnapshot> snapshot, int width, int height);
    ~OutputFrameRenderer();
    OutputFrameRenderer(const OutputFrameRenderer&) = delete;
    OutputFrameRenderer& operator=(const OutputFrameRenderer&) = delete;

    int width() const { return width_; }
    int height() const { return height_; }
    const SceneRenderSnapshot& snapshot() const { return *snapshot_; }

    // The composition time shown at `outputTime` (after trim and speed ramps).
    double compositionTime(double outputTime) const;

    // Composes the frame at `outputTime` into `target` (an ARGB32 image of width x height) from the
    // recording frame already decoded for it (null in a gap: the window stays empty) at
    // `sourceTime`, and the pictures of the overlays shown then. Every pixel is overwritten.
    // `zoom` is the frame's camera when the caller has it at hand (a RenderFrameStateCache).
    ComposeStatus render(cairo_surface_t* target, double outputTime, cairo_surface_t* source, double sourceTime,
                         std::span<const OverlayFrame> overlays, std::optional<CameraState> zoom = std::nullopt);

    // Face framing for a new segment: forgets the crops earlier frames settled on, then follows the
    // faces in the overlay pictures of frames before the segment (call once per frame, oldest first).
    void restartFaceFraming();
    void followFaces(std::span<const OverlayFrame> overlays);

    // The same into a new image; nothing when it cannot be drawn.
    std::optional<RgbaImage> render(double outputTime, cairo_surface_t* source, double sourceTime,
                                    std::span<const OverlayFrame> overlays);

private:
    struct FaceKit;
    void prepareFaceServices(std::span<const OverlayFrame> overlays);

    std::shared_ptr<const SceneRenderSnapshot> snapshot_;
    int width_;
    int height_;
    cairo::Surface background_;
    std::unique_ptr<FaceKit> faces_;  // before the compositor, which borrows it
    std::unique_ptr<SceneCompositor> compositor_;
};

// Renders the frame shown at `outputTime` (seconds on the exported timeline, after trim and speed
// ramps): the clip under that composition time is decoded from `recordingFolder`, composed with
// the background, overlays and every vector layer. Nothing when the frame cannot be drawn. For a
// single frame; a job rendering many keeps one OutputFrameRenderer per worker.
std::optional<RenderedOutputFrame> renderOutputFrame(const std::shared_ptr<const SceneRenderSnapshot>& snapshot,
                                                     const std::filesystem::path& recordingFolder, double outputTime,
                                                     int width, int height);

}  // namespace orvane
