#include "render/output_frame.h"

#include <algorithm>

#include "model/time_mapping.h"
#include "render/background_renderer.h"
#include "render/caption_render_cache.h"
#include "render/compositor.h"
#include "render/face_services.h"
#include "render/scene_layers.h"

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
    pictures.images.reserve(snapshot.videoOverlays.size());
    for (const auto& clip : snapshot.videoOverlays) {
        const auto mediaTime = mediaTimeAt(clip, compositionTime);
        if (!mediaTime) continue;
        cairo::Surface surface;
        if (clip.mediaKind == VideoOverlayClip::MediaKind::video) {
            auto image = extractVideoFrame(clip.url, *mediaTime, kNativeSize, kNativeSize);
            if (!image) continue;
            pictures.images.push_back(std::move(*image));
            surface = surfaceForImage(pictures.images.back());
        } else {
            surface = loadStillImage(clip.url);
        }
        if (!surface) continue;
        pictures.frames.push_back(OverlayFrame{clip, surface.get()});
        pictures.surfaces.push_back(std::move(surface));
    }
    return pictures;
}

// Loading the face cascade costs more than a frame; only face cameras that frame or blur need it.
bool needsFaceServices(const std::vector<OverlayFrame>& frames) {
    return std::any_of(frames.begin(), frames.end(), [](const OverlayFrame& frame) {
        return frame.clip.mediaKind == VideoOverlayClip::MediaKind::video &&
               (frame.clip.autoFrameFaceCam || frame.clip.backgroundBlur > 0.0001);
    });
}

}  // namespace

std::optional<RenderedOutputFrame> renderOutputFrame(const std::shared_ptr<const SceneRenderSnapshot>& snapshot,
                                                     const std::filesystem::path& recordingFolder, double outputTime,
                                                     int width, int height) {
    // Output time -> composition time (trim, ramps) -> the clip and source time under it.
    RenderedOutputFrame result;
    result.compositionTime = compositionTimeForOutputTime(outputTime, snapshot->trimStart, snapshot->speedRamps);
    SceneFrameInput input;
    input.compositionTime = result.compositionTime;
    std::optional<RgbaImage> sourceImage;
    cairo::Surface source;
    if (const auto mapping = clipMapping(result.compositionTime, snapshot->clips)) {
        input.sourceTime = mapping->sourceTime;
        sourceImage = extractVideoFrame(recordingFolder / mapping->sourceFile, mapping->sourceTime, kNativeSize, kNativeSize);
        if (sourceImage) source = surfaceForImage(*sourceImage);
    }
    result.hasRecordingFrame = source != nullptr;
    input.source = source.get();
    const auto background = renderBackground(snapshot->background, snapshot->customBackgroundURL, width, height);
    input.background = background.get();
    const auto overlays = overlayPictures(*snapshot, result.compositionTime);
    input.overlays = overlays.frames;

    auto captions = std::make_shared<CaptionRenderCache>(
        snapshot->captions, Rect{0, 0, static_cast<double>(width), static_cast<double>(height)});
    // Declared before the compositor, which borrows it.
    const FaceCameraKit faces = needsFaceServices(overlays.frames) ? makeFaceCameraServices() : FaceCameraKit{};
    SceneCompositor compositor(snapshot, sceneLayerPainters(captions));
    compositor.setFaceCameraServices(faces.services());
    auto image = compositor.renderFrame(width, height, input);
    if (!image) return std::nullopt;
    result.image = std::move(*image);
    return result;
}

}  // namespace orvane
