#include "export/output_frame.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "model/time_mapping.h"
#include "render/backdrop/background_renderer.h"
#include "render/backdrop/caption_render_cache.h"
#include "render/scene/compositor.h"
#include "render/scene/scene_layers.h"
#include "vision/face_detector.h"
#include "vision/face_segmenter.h"

namespace orvane {

namespace {

// Large enough to keep any recording at its own pixel size.
constexpr int kNativeSize = 16384;

// The pictures of the overlays shown at `compositionTime`, decoded from their files.
struct OverlayPictures {
    std::vector<RgbaImage> images;
    std::vector<cairo::Surface> surfaces;
    std::vector<OverlayFrame> frames;
};

OverlayPictures overlayPictures(const SceneRenderSnapshot& snapshot, double compositionTime) {
    OverlayPictures pictures;
    pictures.images.reserve(snapshot.edit.overlays.videoOverlays.size());
    for (const auto& clip : snapshot.edit.overlays.videoOverlays) {
        const auto mediaTime = mediaTimeAt(clip, compositionTime);
        if (!mediaTime) continue;
        cairo::Surface surface;
        if (clip.mediaKind == VideoOverlayClip::MediaKind::video) {
            auto image = extractVideoFrame(clip.path, *mediaTime, kNativeSize, kNativeSize);
            if (!image) continue;
            pictures.images.push_back(std::move(*image));
            surface = surfaceForImage(pictures.images.back());
        } else {
            surface = loadStillImage(clip.path);
        }
        if (!surface) continue;
        pictures.frames.push_back(OverlayFrame{clip, surface.get()});
        pictures.surfaces.push_back(std::move(surface));
    }
    return pictures;
}

// Loading the face cascade costs more than a frame; only face cameras that frame or blur need it.
bool needsFaceServices(std::span<const OverlayFrame> frames) {
    return std::any_of(frames.begin(), frames.end(), [](const OverlayFrame& frame) {
        return frame.clip.mediaKind == VideoOverlayClip::MediaKind::video &&
               (frame.clip.autoFrameFaceCam || frame.clip.backgroundBlur > 0.0001);
    });
}

// The segmenter seeds its cut from a detected face and the framing asks for the same faces again;
// within one frame the second answer is the first one.
class FrameFaceMemo final : public FaceDetector {
public:
    explicit FrameFaceMemo(FaceDetector& detector) : detector_(detector) {}
    void forget() { known_.clear(); }
    std::vector<Rect> detectFaces(cairo_surface_t* frame) override {
        for (const auto& [picture, faces] : known_)
            if (picture == frame) return faces;
        known_.emplace_back(frame, detector_.detectFaces(frame));
        return known_.back().second;
    }

private:
    FaceDetector& detector_;
    std::vector<std::pair<cairo_surface_t*, std::vector<Rect>>> known_;
};

}  // namespace

struct OutputFrameRenderer::FaceKit {
    std::unique_ptr<OpenCvFaceDetector> detector;
    std::unique_ptr<FrameFaceMemo> memo;
    std::unique_ptr<OpenCvPersonSegmenter> segmenter;
};

OutputFrameRenderer::OutputFrameRenderer(std::shared_ptr<const SceneRenderSnapshot> snapshot, int width, int height)
    : snapshot_(std::move(snapshot)), width_(width), height_(height) {
    background_ =
        renderBackground(snapshot_->edit.frame.background, snapshot_->edit.frame.customBackgroundPath, width, height);
    auto captions = std::make_shared<CaptionRenderCache>(
        snapshot_->edit.captions.captions, Rect{0, 0, static_cast<double>(width), static_cast<double>(height)});
    compositor_ = std::make_unique<SceneCompositor>(snapshot_, sceneLayerPainters(std::move(captions)));
}

OutputFrameRenderer::~OutputFrameRenderer() = default;

double OutputFrameRenderer::compositionTime(double outputTime) const {
    return compositionTimeForOutputTime(outputTime, snapshot_->edit.timeline.trimStart,
                                        snapshot_->edit.timeline.speedRamps);
}

void OutputFrameRenderer::prepareFaceServices(std::span<const OverlayFrame> overlays) {
    if (faces_) {
        if (faces_->memo) faces_->memo->forget();
        return;
    }
    if (!needsFaceServices(overlays)) return;
    faces_ = std::make_unique<FaceKit>();
    faces_->detector = std::make_unique<OpenCvFaceDetector>();
    // Segmentation is seeded from a face, so without detection neither service is offered.
    if (!faces_->detector->available()) return;
    faces_->memo = std::make_unique<FrameFaceMemo>(*faces_->detector);
    faces_->segmenter = std::make_unique<OpenCvPersonSegmenter>(*faces_->memo);
    compositor_->setFaceCameraServices({faces_->memo.get(), faces_->segmenter.get()});
}

ComposeStatus OutputFrameRenderer::render(cairo_surface_t* target, double outputTime, cairo_surface_t* source,
                                          double sourceTime, std::span<const OverlayFrame> overlays,
                                          std::optional<CameraState> zoom) {
    prepareFaceServices(overlays);
    SceneFrameInput input;
    input.compositionTime = compositionTime(outputTime);
    input.sourceTime = sourceTime;
    input.source = source;
    input.background = background_.get();
    input.overlays = overlays;
    input.zoom = zoom;
    return compositor_->compose(target, input);
}

void OutputFrameRenderer::restartFaceFraming() { compositor_->restartFaceFraming(); }

void OutputFrameRenderer::followFaces(std::span<const OverlayFrame> overlays) {
    prepareFaceServices(overlays);
    compositor_->followFaces(overlays);
}

std::optional<RgbaImage> OutputFrameRenderer::render(double outputTime, cairo_surface_t* source, double sourceTime,
                                                     std::span<const OverlayFrame> overlays) {
    if (width_ <= 0 || height_ <= 0) return std::nullopt;
    cairo::Surface surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width_, height_));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return std::nullopt;
    if (render(surface.get(), outputTime, source, sourceTime, overlays) != ComposeStatus::ok) return std::nullopt;
    RgbaImage image;
    image.width = width_;
    image.height = height_;
    image.stride = cairo_image_surface_get_stride(surface.get());
    const unsigned char* data = cairo_image_surface_get_data(surface.get());
    image.pixels.assign(data, data + static_cast<std::size_t>(image.stride) * static_cast<std::size_t>(height_));
    return image;
}

std::optional<RenderedOutputFrame> renderOutputFrame(const std::shared_ptr<const SceneRenderSnapshot>& snapshot,
                                                     const std::filesystem::path& recordingFolder, double outputTime,
                                                     int width, int height) {
    OutputFrameRenderer renderer(snapshot, width, height);
    // Output time -> composition time (trim, ramps) -> the clip and source time under it.
    RenderedOutputFrame result;
    result.compositionTime = renderer.compositionTime(outputTime);
    double sourceTime = 0;
    std::optional<RgbaImage> sourceImage;
    cairo::Surface source;
    if (const auto mapping = clipMapping(result.compositionTime, snapshot->edit.timeline.clips)) {
        sourceTime = mapping->sourceTime;
        sourceImage =
            extractVideoFrame(recordingFolder / mapping->sourceFile, mapping->sourceTime, kNativeSize, kNativeSize);
        if (sourceImage) source = surfaceForImage(*sourceImage);
    }
    result.hasRecordingFrame = source != nullptr;
    const auto overlays = overlayPictures(*snapshot, result.compositionTime);
    auto image = renderer.render(outputTime, source.get(), sourceTime, overlays.frames);
    if (!image) return std::nullopt;
    result.image = std::move(*image);
    return result;
}

}  // namespace orvane
