#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>

#include "base/executor.h"
#include "base/signal.h"
#include "media/video_frame.h"

namespace orvane {

// Thumbnails for the library list: the frame at 0.5 s, at most 320 x 200, cached by video path.
// Generation runs on `background`; results are published on `main`, where the cache lives.
class RecordingThumbnailCache {
public:
    static constexpr int kMaxWidth = 320;
    static constexpr int kMaxHeight = 200;
    static constexpr double kFrameTime = 0.5;

    RecordingThumbnailCache(Executor& main, Executor& background) : main_(main), background_(background) {}

    // The cached image, or nothing while it is generated (a generation is started unless one is
    // already running for this path). `ready` fires on the main executor when an image arrives.
    std::shared_ptr<const RgbaImage> thumbnail(const std::filesystem::path& video);

    [[nodiscard]] Subscription observe(std::function<void(const std::filesystem::path&)> ready) {
        return ready_.subscribe(std::move(ready));
    }

    // Blocking variant for the command line.
    static std::optional<RgbaImage> generate(const std::filesystem::path& video);

private:
    Executor& main_;
    Executor& background_;
    std::map<std::filesystem::path, std::shared_ptr<const RgbaImage>> cache_;
    std::set<std::filesystem::path> loading_;
    Signal<std::filesystem::path> ready_;
    // Background tasks hold a weak reference so a cache destroyed meanwhile is never touched.
    std::shared_ptr<RecordingThumbnailCache*> self_ = std::make_shared<RecordingThumbnailCache*>(this);
};

}  // namespace orvane
