#include "recording/recording_thumbnail_cache.h"

#include "base/log.h"
#include "base/log_areas.h"

namespace orvane {

std::optional<RgbaImage> RecordingThumbnailCache::generate(const std::filesystem::path& video) {
    return extractVideoFrame(video, kFrameTime, kMaxWidth, kMaxHeight);
}

std::shared_ptr<const RgbaImage> RecordingThumbnailCache::thumbnail(const std::filesystem::path& video) {
    if (auto it = cache_.find(video); it != cache_.end()) return it->second;
    if (!loading_.insert(video).second) return nullptr;

    std::weak_ptr<RecordingThumbnailCache*> weakSelf = self_;
    background_.post([&mainExecutor = main_, weakSelf, video] {
        auto image = generate(video);
        mainExecutor.post([weakSelf, video, image = std::move(image)]() mutable {
            auto alive = weakSelf.lock();
            if (!alive) return;
            auto& cache = **alive;
            cache.loading_.erase(video);
            if (!image) {
                // No image is cached, so the next request tries again.
                log::warning(log_area::kLibrary, "no thumbnail for %s", video.c_str());
                return;
            }
            cache.cache_[video] = std::make_shared<const RgbaImage>(std::move(*image));
            cache.ready_.emit(video);
        });
    });
    return nullptr;
}

}  // namespace orvane
