#include "export/frame_sources.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/text.h"
#include "model/time_mapping.h"
#include "render/backdrop/background_renderer.h"

namespace orvane {

namespace fs = std::filesystem;

namespace {

// A forward reader answers requests that go back by less than this with its current frame; further
// back needs a seek.
bool goesBackwards(const SequentialSourceFrameDecoder& decoder, double t, double frameDuration) {
    const auto current = decoder.currentTime();
    return current && t + frameDuration < *current;
}

DecodedFrame readForwardOrSeek(SequentialSourceFrameDecoder& decoder,
                               std::unique_ptr<RandomAccessFrameSource>& generator, const fs::path& file, double t,
                               double frameDuration, const DecodeOptions& options) {
    if (!goesBackwards(decoder, t, frameDuration)) {
        if (auto frame = decoder.frameAt(t)) return frame;
    }
    if (!generator) generator = std::make_unique<RandomAccessFrameSource>(file, frameDuration, options);
    return generator->frameAt(t);
}

DecodedFrame imageFromSurface(cairo_surface_t* surface) {
    if (!surface || cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) return nullptr;
    cairo_surface_flush(surface);
    auto frame = std::make_shared<DecodedFrameImage>();
    RgbaImage& image = frame->image;
    image.width = cairo_image_surface_get_width(surface);
    image.height = cairo_image_surface_get_height(surface);
    image.stride = cairo_image_surface_get_stride(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    if (!data || image.width <= 0 || image.height <= 0) return nullptr;
    image.pixels.assign(data, data + static_cast<std::ptrdiff_t>(image.stride) * image.height);
    return frame;
}

}  // namespace

// --- Clips ----------------------------------------------------------------------------------------

struct ClipFrameProvider::Entry {
    Entry(fs::path path, double frameDuration, const DecodeOptions& options)
        : file(std::move(path)), decoder(file, frameDuration, options) {}

    fs::path file;
    SequentialSourceFrameDecoder decoder;
    std::unique_ptr<RandomAccessFrameSource> generator;
};

ClipFrameProvider::ClipFrameProvider(const SceneRenderSnapshot& snapshot, double frameDuration, DecodeOptions options)
    : clips_(snapshot.edit.timeline.clips),
      baseDirectory_(snapshot.clipBaseDirectory),
      fallbackFile_(snapshot.videoPath),
      frameDuration_(frameDuration),
      options_(options) {
    entries_.resize(clips_.size());
}

ClipFrameProvider::~ClipFrameProvider() = default;

std::optional<ClipFrame> ClipFrameProvider::frameAt(double compositionTime) {
    const auto mapping = clipMapping(compositionTime, clips_);
    if (!mapping || mapping->clipIndex >= entries_.size()) return std::nullopt;
    auto& entry = entries_[mapping->clipIndex];
    if (!entry) {
        // A clip without a file name shows the main recording.
        fs::path file = mapping->sourceFile.empty() ? fallbackFile_ : baseDirectory_ / mapping->sourceFile;
        entry = std::make_unique<Entry>(std::move(file), frameDuration_, options_);
    }
    ClipFrame frame;
    frame.sourceTime = mapping->sourceTime;
    frame.image =
        readForwardOrSeek(entry->decoder, entry->generator, entry->file, mapping->sourceTime, frameDuration_, options_);
    return frame;
}

// --- Overlays -------------------------------------------------------------------------------------

std::size_t animationFrameIndex(const std::vector<double>& cumulativeEndTimes, double t) {
    if (cumulativeEndTimes.empty()) return 0;
    const double total = cumulativeEndTimes.back();
    double local = std::max(t, 0.0);
    if (total > 0 && local >= total) local = std::fmod(local, total);
    const auto found = std::upper_bound(cumulativeEndTimes.begin(), cumulativeEndTimes.end(), local);
    if (found == cumulativeEndTimes.end()) return cumulativeEndTimes.size() - 1;
    return static_cast<std::size_t>(found - cumulativeEndTimes.begin());
}

OverlayFrameSource::OverlayFrameSource(VideoOverlayClip clip, double frameDuration, DecodeOptions options)
    : clip_(std::move(clip)), frameDuration_(frameDuration), options_(options) {}

OverlayFrameSource::~OverlayFrameSource() = default;

void OverlayFrameSource::load() {
    loaded_ = true;
    if (clip_.mediaKind == VideoOverlayClip::MediaKind::video) {
        decoder_ = std::make_unique<SequentialSourceFrameDecoder>(clip_.path, frameDuration_, options_);
        return;
    }
    if (toLowerAscii(clip_.path.extension().string()) == ".gif") {
        animatedFrames_ = decodeAnimation(clip_.path, options_);
        if (animatedFrames_) return;
    }
    const cairo::Surface still = loadStillImage(clip_.path);
    staticImage_ = imageFromSurface(still.get());
}

DecodedFrame OverlayFrameSource::frameAt(double mediaTime) {
    if (!loaded_) load();
    if (decoder_) return readForwardOrSeek(*decoder_, generator_, clip_.path, mediaTime, frameDuration_, options_);
    if (animatedFrames_) {
        return animatedFrames_->frames[animationFrameIndex(animatedFrames_->cumulativeEndTimes, mediaTime)];
    }
    return staticImage_;
}

}  // namespace orvane
