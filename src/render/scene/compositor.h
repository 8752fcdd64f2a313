#pragma once

#include <cairo.h>

#include <functional>
#include <memory>
#include <optional>
#include <span>

#include "base/geometry.h"
#include "media/cairo_handles.h"
#include "media/video_frame.h"
#include "model/camera/zoom_camera.h"
#include "model/scene_render_snapshot.h"
#include "model/video_overlay_clip.h"
#include "render/scene/frame_layout.h"
#include "render/scene/scene_downscale.h"
#include "render/scene/scene_face_camera.h"
#include "render/scene/shadow.h"
#include "render/scene/window_recording.h"

namespace orvane {

// Drawing here is in Cairo's convention: origin at the top-left of the output frame, y down, in
// output pixels. The layout functions (frame_layout.h) work bottom-left, y up; the compositor
// converts their rectangles once per frame and hands the converted ones to the layer painters.

// One overlay's picture for the current output time. Drawn in list order, first drawn first.
struct OverlayFrame {
    VideoOverlayClip clip = {};
    cairo_surface_t* image = nullptr;  // borrowed; an image surface, nothing drawn when null
};

// What a vector layer painter is given. `context` is clipped as the layer requires (to the window's
// rounded shape, or the canvas with background `none`) and its state is restored after each call.
struct SceneLayerContext {
    cairo_t* context = nullptr;
    const SceneRenderSnapshot* snapshot = nullptr;
    double compositionTime = 0;  // output timeline time: cursor samples, annotations, captions
    double sourceTime = 0;       // recording time of the decoded frame
    Size canvas;
    CameraState zoom;
    double zoomScale = 1;          // multiply sizes drawn at zoom 1 by this
    double cornerRadius = 0;       // the window's, zoomed
    Rect window;                   // top-left coordinates, zoomed
    Rect content;                  // where the recording is drawn, top-left coordinates
    std::optional<Rect> titleBar;  // top-left coordinates; none without chrome
};

using SceneLayerPainter = std::function<void(const SceneLayerContext&)>;

// The layers other areas draw, in the order the vector pass calls them. A missing painter is
// skipped. Painters apply their own show flags from the snapshot; the compositor only decides that
// chrome needs a title bar and the synthetic arrow needs drawsSyntheticCursor.
struct SceneLayerPainters {
    SceneLayerPainter windowChrome;     // inside the title bar
    SceneLayerPainter syntheticCursor;  // the arrow under the restyled cursor
    SceneLayerPainter cursor;           // the restyled cursor
    SceneLayerPainter clickAnnotations;
    SceneLayerPainter gestureTrails;
    SceneLayerPainter captions;  // over everything, not clipped to the window
};

// The inputs of one output frame.
struct SceneFrameInput {
    double compositionTime = 0;
    double sourceTime = 0;
    cairo_surface_t* source = nullptr;      // decoded recording frame; null leaves the window empty
    cairo_surface_t* background = nullptr;  // prerendered at canvas size; may be null only with `none`
    std::span<const OverlayFrame> overlays = {};
    std::optional<CameraState> zoom = {};  // from a RenderFrameStateCache; computed when absent
};

enum class ComposeStatus {
    ok,
    invalidTarget,      // not an ARGB32 image surface of positive size
    missingBackground,  // a styled background without its prerendered image
    drawingFailed,      // Cairo reported an error while drawing
};

// What face-camera overlays use for automatic framing and background blur. Either may be missing:
// the overlay is then shown with its own crop, unblurred. Borrowed; they must outlive the compositor.
struct FaceCameraServices {
    FaceDetector* detector = nullptr;
    PersonSegmenter* segmenter = nullptr;
};

// Wraps an RgbaImage's pixels as a Cairo surface without copying; the image must outlive it and is
// only read.
cairo::Surface surfaceForImage(const RgbaImage& image);

// Turns one decoded recording frame and the frozen edit into one output frame. One per render job
// and worker: it keeps the job's shadow masks between frames.
class SceneCompositor {
public:
    explicit SceneCompositor(std::shared_ptr<const SceneRenderSnapshot> snapshot, SceneLayerPainters painters = {});

    const SceneRenderSnapshot& snapshot() const { return *snapshot_; }
    void setFaceCameraServices(FaceCameraServices services) { faceServices_ = services; }

    // Face framing glides from frame to frame. A segment forgets what earlier frames framed and
    // follows the faces through a lead-in of its own (`followFaces`, oldest first), so its frames
    // are the same whichever worker drew what before it.
    void restartFaceFraming() { faceCrops_ = {}; }
    void followFaces(std::span<const OverlayFrame> overlays);

    // Draws the frame into `target`, whose size is the canvas; every pixel is overwritten.
    ComposeStatus compose(cairo_surface_t* target, const SceneFrameInput& input);

    // The same into a new image of `canvas` size; nothing when it cannot be drawn.
    std::optional<RgbaImage> renderFrame(int width, int height, const SceneFrameInput& input);

    const ShadowCache& shadowCache() const { return shadows_; }

private:
    // The window's shadow, faint edge and title bar, everything of it under the recording.
    void drawWindowBase(cairo_t* cr, const SceneLayerContext& frame, const RoundedShape& shape,
                        std::span<const Rect> covered);
    cairo::Surface renderBackdrop(cairo_surface_t* background, const SceneLayerContext& frame,
                                  const RoundedShape& shape);
    void drawOverlay(cairo_t* cr, const OverlayFrame& overlay, const Rect& rect);
    // The face-framing crop of a face camera that asks for it, moving the smoothed crop one step.
    std::optional<Rect> framedCrop(const OverlayFrame& overlay);
    void drawVectorPass(cairo_t* cr, const SceneFrameInput& input, const SceneLayerContext& frame,
                        const std::vector<Rect>& overlayRects);

    std::shared_ptr<const SceneRenderSnapshot> snapshot_;
    SceneLayerPainters painters_;
    ShadowCache shadows_;
    FaceCameraServices faceServices_;
    FaceCamCropMemory faceCrops_;  // per overlay, for the whole job
    AreaDownscaler downscaler_;    // the recording's shrink buffers, reused every frame
    WindowRecordingWriter recordingWriter_;
    bool recordingSeeThrough_ = false;  // the last frame's recording was not opaque

    // While the window holds still, its background, shadow, edge and title bar are one picture,
    // drawn on the second frame in a row with the same window and copied after that.
    struct BackdropKey {
        cairo_surface_t* background = nullptr;
        Rect window;
        double cornerRadius = 0;
        std::optional<Rect> titleBar;
        double width = 0, height = 0;
        bool operator==(const BackdropKey&) const = default;
    };
    std::optional<BackdropKey> backdropKey_;
    cairo::Surface backdropBackground_;  // a reference to the key's background
    cairo::Surface backdrop_;
};

// Draws `source` (or its `crop`, normalised top-left) stretched to fill `destination` exactly, x
// and y scaled independently. Top-left coordinates. A shrunk recording is area-averaged with
// `downscaler` (a temporary one when null; pass one that lives across frames to keep its buffers).
void drawRecording(cairo_t* cr, cairo_surface_t* source, const std::optional<Rect>& crop, const Rect& destination,
                   AreaDownscaler* downscaler = nullptr);

// Draws an overlay picture into `rect` (top-left coordinates): `crop` of the image (normalised,
// top-left; whole when unset), then fill (video) or fit (image, logo), centred, mirrored and rotated
// about the centre, clipped to the rounded shape.
void drawOverlayPicture(cairo_t* cr, const VideoOverlayClip& clip, cairo_surface_t* image, const Rect& rect,
                        const std::optional<Rect>& crop);

// The overlay's border in the vector pass, by its style.
void drawOverlayBorder(cairo_t* cr, const VideoOverlayClip& clip, const Rect& rect, ShadowCache& glows,
                       const Size& canvas);

}  // namespace orvane
