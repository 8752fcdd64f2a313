#include "studio/editor/preview_frames.h"

#include "export/output_frame.h"
#include "model/time_mapping.h"
#include "render/scene/compositor.h"

namespace orvane::studio {

namespace {
// Further ahead than this, seeking to the key frame costs less than decoding every frame between.
constexpr double kReadOnWithin = 1.0;
}  // namespace

PreviewFrames::PreviewFrames() = default;
PreviewFrames::~PreviewFrames() = default;

DecodedFrame PreviewFrames::frameAt(const std::filesystem::path& file, double seconds) {
    if (!decoder_ || file_ != file) {
        current_.reset();
        next_.reset();
        decoder_.reset();
        file_ = file;
        decoder_ = std::make_unique<FrameDecoder>(file, DecodeOptions{});
    }
    const bool readOn =
        current_ && current_->time <= seconds + kFrameTimeTolerance && seconds - current_->time < kReadOnWithin;
    if (!readOn) {
        decoder_->seek(seconds);
        current_.reset();
        next_.reset();
    }
    // The same choice as FrameDecoder::readAt, keeping the frame read past the answer.
    for (;;) {
        if (!next_) next_ = decoder_->read();
        if (!next_ || (current_ && next_->time > seconds + kFrameTimeTolerance)) break;
        current_ = std::move(next_);
        next_.reset();
    }
    return current_ ? decoder_->convert(*current_) : nullptr;
}

std::optional<RgbaImage> PreviewFrames::render(const std::shared_ptr<const SceneRenderSnapshot>& snapshot,
                                               const std::filesystem::path& recordingFolder, double outputTime,
                                               int width, int height) {
    if (!snapshot->edit.overlays.videoOverlays.empty()) {
        auto frame = renderOutputFrame(snapshot, recordingFolder, outputTime, width, height);
        return frame ? std::optional<RgbaImage>(std::move(frame->image)) : std::nullopt;
    }
    // The renderer looks captions up forwards only, so a step back starts a new one.
    if (!renderer_ || snapshot != snapshot_ || width != width_ || height != height_ || outputTime < lastOutputTime_) {
        renderer_ = std::make_unique<OutputFrameRenderer>(snapshot, width, height);
        snapshot_ = snapshot;
        width_ = width;
        height_ = height;
    }
    lastOutputTime_ = outputTime;
    const double compositionTime = renderer_->compositionTime(outputTime);
    DecodedFrame picture;
    double sourceTime = 0;
    if (const auto mapping = clipMapping(compositionTime, snapshot->edit.timeline.clips)) {
        sourceTime = mapping->sourceTime;
        try {
            picture = frameAt(recordingFolder / mapping->sourceFile, mapping->sourceTime);
        } catch (const std::exception&) {
            // An unreadable clip shows as a gap, as in the export; the next request opens it again.
            decoder_.reset();
        }
    }
    const cairo::Surface source = picture ? surfaceForImage(picture->image) : nullptr;
    return renderer_->render(outputTime, source.get(), sourceTime, {});
}

}  // namespace orvane::studio
