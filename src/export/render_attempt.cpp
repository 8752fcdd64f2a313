#include "export/render_attempt.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <future>
#include <optional>
#include <vector>

#include "base/log.h"
#include "base/log_areas.h"
#include "base/thread_name.h"
#include "export/export_error.h"
#include "export/frame_sources.h"
#include "export/render_plan.h"
#include "media/cairo_handles.h"
#include "media/encode/vaapi_device.h"
#include "model/time_mapping.h"
#include "render/scene/compositor.h"
#include "render/scene/frame_layout.h"

namespace orvane {

namespace fs = std::filesystem;

namespace {

constexpr int kLargestDecode = 16384;

// Shrinking by less than this is left to the compositor: libswscale's unscaled YUV to RGB path is
// several times cheaper than its scaling one, and the compositor's area filter shrinks the shown
// part of an RGB frame for less than the difference (and filters once instead of twice).
constexpr double kSmallestConverterShrink = 0.75;

bool framesFaces(const SceneRenderSnapshot& snapshot) {
    const auto& overlays = snapshot.edit.overlays.videoOverlays;
    return std::any_of(overlays.begin(), overlays.end(), [](const VideoOverlayClip& overlay) {
        return overlay.mediaKind == VideoOverlayClip::MediaKind::video && overlay.autoFrameFaceCam;
    });
}

// One frame's inputs, gathered for a whole batch before any is composed.
struct PreparedFrame {
    std::int64_t index = 0;
    double compositionTime = 0;
    double sourceTime = 0;
    DecodedFrame source;
    std::vector<std::pair<std::size_t, DecodedFrame>> overlays;  // overlay index, picture
};

// Where an attempt's time goes, logged at the end so slow exports can be told apart.
class PhaseClock {
public:
    void start() { mark_ = std::chrono::steady_clock::now(); }
    // Adds the time since the last mark to `total` and moves the mark.
    void stop(double& total) {
        const auto now = std::chrono::steady_clock::now();
        total += std::chrono::duration<double, std::milli>(now - mark_).count();
        mark_ = now;
    }

private:
    std::chrono::steady_clock::time_point mark_;
};

// Output time of frame i, from the job's first frame.
double outputTime(std::int64_t frame, int fps) { return static_cast<double>(frame) / fps; }

// Empties rather than unlinks: the file may be a locked partial whose lock must stay on its name.
void emptyQuietly(const fs::path& file) {
    std::error_code ignored;
    if (fs::exists(file, ignored)) fs::resize_file(file, 0, ignored);
}

}  // namespace

DecodeBox recordingDecodeBox(const SceneRenderSnapshot& snapshot, int canvasWidth, int canvasHeight,
                             double strongestZoom) {
    const double vw = snapshot.edit.frame.videoSize.width;
    const double vh = snapshot.edit.frame.videoSize.height;
    if (!(vw > 0) || !(vh > 0)) return {kLargestDecode, kLargestDecode};
    const Rect canvas{0, 0, static_cast<double>(canvasWidth), static_cast<double>(canvasHeight)};
    const Rect content = frameLayout(snapshot, canvas, CameraState{}).content;
    const double zoom = std::isfinite(strongestZoom) ? std::max(strongestZoom, 1.0) : 1.0;
    double needWidth = content.width * zoom;
    double needHeight = content.height * zoom;
    if (isSet(snapshot.edit.frame.cropRect)) {
        needWidth /= snapshot.edit.frame.cropRect->width;
        needHeight /= snapshot.edit.frame.cropRect->height;
    }
    double scale = std::min(1.0, std::max(needWidth / vw, needHeight / vh));
    if (scale >= kSmallestConverterShrink) scale = 1;
    return {std::clamp(static_cast<int>(std::ceil(vw * scale)), 1, kLargestDecode),
            std::clamp(static_cast<int>(std::ceil(vh * scale)), 1, kLargestDecode)};
}

void renderVideoFramesAttempt(RenderJob& job, RenderWorker& worker, const RenderSegment& range, const fs::path& file,
                              H264Encoder encoder, bool fastStart) {
    const SceneRenderSnapshot& snapshot = *job.snapshot;
    const OutputProfile& profile = job.profile;
    const int width = profile.width;
    const int height = profile.height;
    const double frameDuration = 1.0 / profile.fps;

    // The encoder first: a profile it refuses fails before any decoding.
    H264Settings settings = job.encoderSettings;
    settings.fastStart = fastStart;
    H264FileWriter writer(file, profile, encoder, settings);

    // A worker's first renderer draws its background while the first frames decode: each takes a
    // good part of a second on a large frame and neither needs the other, so a re-export of one
    // segment does not pay for them one after the other.
    std::future<std::unique_ptr<OutputFrameRenderer>> pendingRenderer;
    if (!worker.renderer) {
        pendingRenderer = std::async(std::launch::async, [snapshot = job.snapshot, width, height] {
            setCurrentThreadName("orvane.renderer");
            return std::make_unique<OutputFrameRenderer>(snapshot, width, height);
        });
    }

    // The camera of every frame of the range, looked up once; its strongest zoom sizes the decode.
    RenderFrameStateCache zoomStates(snapshot.edit.timeline.trimStart, profile.fps, snapshot.edit.timeline.speedRamps);
    if (range.endFrame > range.startFrame) zoomStates.fill(snapshot, range.startFrame, range.endFrame - 1);
    const DecodeBox box = recordingDecodeBox(snapshot, width, height, zoomStates.strongestScale());
    ClipFrameProvider clips(snapshot, frameDuration, DecodeOptions{box.width, box.height, job.decoderThreads});
    std::vector<std::unique_ptr<OverlayFrameSource>> overlays;
    overlays.reserve(snapshot.edit.overlays.videoOverlays.size());
    for (const auto& clip : snapshot.edit.overlays.videoOverlays) {
        // Overlays never cover more than the canvas, so larger pictures are shrunk while decoding.
        overlays.push_back(std::make_unique<OverlayFrameSource>(clip, frameDuration,
                                                                DecodeOptions{width, height, job.decoderThreads}));
    }

    cairo::Surface target(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    if (cairo_surface_status(target.get()) != CAIRO_STATUS_SUCCESS) throw ExportError::pixelBuffer();

    // A worker's renderer carries the face framing of its last segment; this range starts it over
    // from frames of its own, so what it draws depends on nothing rendered before it.
    if (framesFaces(snapshot)) {
        if (pendingRenderer.valid()) worker.renderer = pendingRenderer.get();
        worker.renderer->restartFaceFraming();
        const double firstTime =
            compositionTimeForOutputTime(outputTime(range.startFrame, profile.fps), snapshot.edit.timeline.trimStart,
                                         snapshot.edit.timeline.speedRamps);
        for (int k = kFaceFramingLeadInFrames; k >= 1; --k) {
            // On the composition clock, so the lead-in is the same wherever the trim and ramps put the range.
            const double t = firstTime - k * frameDuration;
            std::vector<DecodedFrame> pictures;
            std::vector<cairo::Surface> surfaces;
            std::vector<OverlayFrame> frames;
            for (auto& overlay : overlays) {
                if (overlay->clip().mediaKind != VideoOverlayClip::MediaKind::video ||
                    !overlay->clip().autoFrameFaceCam)
                    continue;
                const auto mediaTime = mediaTimeAt(overlay->clip(), t);
                if (!mediaTime) continue;
                auto picture = overlay->frameAt(*mediaTime);
                if (!picture) continue;
                surfaces.push_back(surfaceForImage(picture->image));
                frames.push_back(OverlayFrame{overlay->clip(), surfaces.back().get()});
                pictures.push_back(std::move(picture));
            }
            if (!frames.empty()) worker.renderer->followFaces(frames);
        }
    }

    const int batchSize = exportBatchSize(width, height);
    int counted = 0;
    PhaseClock clock;
    double decodeMs = 0;
    double composeMs = 0;
    double encodeMs = 0;
    try {
        std::vector<PreparedFrame> batch;
        for (std::int64_t first = range.startFrame; first < range.endFrame; first += batchSize) {
            if (job.stop.stop_requested()) throw ExportCancelled();
            const std::int64_t last = std::min<std::int64_t>(first + batchSize, range.endFrame);
            batch.clear();
            clock.start();
            // Recording frames for the whole batch, then overlay frames, then composition: each
            // decoder runs through its file in one go.
            for (std::int64_t i = first; i < last; ++i) {
                PreparedFrame frame;
                frame.index = i;
                frame.compositionTime = compositionTimeForOutputTime(
                    outputTime(i, profile.fps), snapshot.edit.timeline.trimStart, snapshot.edit.timeline.speedRamps);
                if (auto clip = clips.frameAt(frame.compositionTime)) {
                    frame.sourceTime = clip->sourceTime;
                    frame.source = std::move(clip->image);
                }
                batch.push_back(std::move(frame));
            }
            for (std::size_t o = 0; o < overlays.size(); ++o) {
                for (PreparedFrame& frame : batch) {
                    const auto mediaTime = mediaTimeAt(overlays[o]->clip(), frame.compositionTime);
                    if (!mediaTime) continue;
                    if (auto picture = overlays[o]->frameAt(*mediaTime))
                        frame.overlays.emplace_back(o, std::move(picture));
                }
            }
            clock.stop(decodeMs);
            if (pendingRenderer.valid()) worker.renderer = pendingRenderer.get();
            OutputFrameRenderer& renderer = *worker.renderer;
            for (PreparedFrame& frame : batch) {
                cairo::Surface source;
                if (frame.source) source = surfaceForImage(frame.source->image);
                std::sort(frame.overlays.begin(), frame.overlays.end(),
                          [](const auto& a, const auto& b) { return a.first < b.first; });
                std::vector<cairo::Surface> overlaySurfaces;
                std::vector<OverlayFrame> overlayFrames;
                overlaySurfaces.reserve(frame.overlays.size());
                for (const auto& [o, picture] : frame.overlays) {
                    overlaySurfaces.push_back(surfaceForImage(picture->image));
                    overlayFrames.push_back(OverlayFrame{overlays[o]->clip(), overlaySurfaces.back().get()});
                }
                const ComposeStatus status =
                    renderer.render(target.get(), outputTime(frame.index, profile.fps), source.get(), frame.sourceTime,
                                    overlayFrames, zoomStates.state(snapshot, frame.index));
                if (status != ComposeStatus::ok) {
                    log::error(log_area::kExport, "frame %lld could not be composed (%d)",
                               static_cast<long long>(frame.index), static_cast<int>(status));
                    throw ExportError::pixelBuffer();
                }
                clock.stop(composeMs);
                writer.append(cairo_image_surface_get_data(target.get()), cairo_image_surface_get_stride(target.get()),
                              frame.index - range.startFrame);
                clock.stop(encodeMs);
                if (job.counter) {
                    job.counter->frameRendered();
                    ++counted;
                }
            }
        }
        clock.start();
        writer.finish();
        clock.stop(encodeMs);
        const double frames = std::max(range.frameCount(), 1);
        log::debug(log_area::kExport, "frames %d-%d (%s): decode %.1f ms, compose %.1f ms, encode %.1f ms per frame",
                   range.startFrame, range.endFrame, encoder == H264Encoder::hardware ? "hardware" : "software",
                   decodeMs / frames, composeMs / frames, encodeMs / frames);
    } catch (...) {
        if (job.counter) job.counter->discard(counted);
        // A retry renders the same frames again; the renderer's caption lookup only moves forward.
        worker.renderer.reset();
        throw;
    }
}

void renderVideoFrames(RenderJob& job, RenderWorker& worker, const RenderSegment& range, const fs::path& file,
                       bool fastStart) {
    const bool tryHardware = job.hardware == HardwareEncoding::always ||
                             (job.hardware == HardwareEncoding::whenAvailable && vaapiRenderDevice());
    if (tryHardware && !job.hardwareFailed.load()) {
        try {
            renderVideoFramesAttempt(job, worker, range, file, H264Encoder::hardware, fastStart);
            return;
        } catch (const ExportCancelled&) {
            emptyQuietly(file);
            throw;
        } catch (const std::exception& error) {
            emptyQuietly(file);
            if (job.stop.stop_requested()) throw;
            job.hardwareFailed = true;
            log::error(log_area::kExport, "hardware encode failed (%s); retrying on software encoder", error.what());
        }
    }
    try {
        renderVideoFramesAttempt(job, worker, range, file, H264Encoder::software, fastStart);
    } catch (...) {
        emptyQuietly(file);
        throw;
    }
}

}  // namespace orvane
