#include "export/export_wiring.h"

#include <cmath>
#include <limits>
#include <map>
#include <mutex>

#include "audio/mix_level.h"
#include "audio/mix_plan.h"
#include "export/cache/export_render_cache.h"
#include "export/cache/segment_render_cache.h"
#include "export/export_audio_strategies.h"
#include "export/export_jobs.h"
#include "export/export_prerender.h"
#include "export/scene_video_exporter.h"
#include "model/scene_render_snapshot.h"
#include "platform/url_opener.h"

namespace orvane {

namespace fs = std::filesystem;

namespace {

fs::path cacheDirectory(const ExportWiringOptions& options, const char* name) {
    return options.cacheRoot.empty() ? renderCacheDirectory(name) : options.cacheRoot / name;
}

// The scene exporter, reusing and filling the segment cache when there is one.
class SceneExporterRenderer final : public ExportVideoRenderer {
public:
    explicit SceneExporterRenderer(std::shared_ptr<SegmentRenderCache> segments) : segments_(std::move(segments)) {}

    void render(std::shared_ptr<const SceneRenderSnapshot> snapshot, const OutputProfile& profile,
                const fs::path& output, ExportProgress progress, std::stop_token stop) override {
        SceneVideoExporter exporter(segments_.get());
        exporter.render(std::move(snapshot), profile, output, std::move(progress), std::move(stop));
    }

private:
    std::shared_ptr<SegmentRenderCache> segments_;
};

class RenderCacheAccess final : public ExportCacheAccess {
public:
    explicit RenderCacheAccess(fs::path directory) : cache_(std::move(directory)) {}

    ExportCacheEntry lookup(const SceneRenderSnapshot& snapshot, const ExportSettings& settings,
                            const OutputProfile& profile, ExportPreset preset) override {
        const auto found = cache_.lookup(snapshot, settings, profile, preset);
        std::lock_guard lock(mutex_);
        lookups_[found.key] = found;
        return {found.key, found.outputPath, found.hit};
    }
    void store(const fs::path& file, const std::optional<fs::path>& sidecar, const ExportCacheEntry& entry) override {
        ExportCacheLookup lookup;
        {
            std::lock_guard lock(mutex_);
            const auto found = lookups_.find(entry.key);
            if (found == lookups_.end()) throw std::invalid_argument("export cache key was never looked up");
            lookup = found->second;
            lookups_.erase(found);
        }
        cache_.store(file, sidecar, lookup);
    }

private:
    ExportRenderCache cache_;
    // Each lookup until its store, so the cache gets back exactly the entry it named.
    std::mutex mutex_;
    std::map<std::string, ExportCacheLookup> lookups_;
};

// A movie without audio counts as silent; a file that cannot be read is not measured.
std::optional<double> movieLoudness(const fs::path& movie) {
    const auto reading = readMixLevel(movie);
    switch (reading.level) {
        case MixLevel::silent: return -std::numeric_limits<double>::infinity();
        case MixLevel::inconclusive: return std::nullopt;
        case MixLevel::low:
        case MixLevel::normal: return reading.loudness;
    }
    return std::nullopt;
}

}  // namespace

ExportServices makeExportServices(const ExportWiringOptions& options) {
    ExportServices services;
    std::shared_ptr<SegmentRenderCache> segments;
    if (options.useRenderCaches) {
        segments = std::make_shared<SegmentRenderCache>(cacheDirectory(options, "SegmentRenderCache"));
        services.cache = std::make_shared<RenderCacheAccess>(cacheDirectory(options, "ExportCache"));
    }
    services.renderer = std::make_shared<SceneExporterRenderer>(segments);
    services.tools = FFmpegTool::locator();
    services.audioStrategies = exportAudioStrategies(services.tools);
    services.loudness = movieLoudness;
    services.hasSound = mixHasSound;
    services.urlOpener = makeXdgUrlOpener();
    return services;
}

PreRenderHook makeExportPreRenderHook(Executor& background, std::function<ExportSettings()> settings,
                                      ExportPreset preset, const ExportWiringOptions& options) {
    auto segments = std::make_shared<SegmentRenderCache>(cacheDirectory(options, "SegmentRenderCache"));
    return makeExportPreRenderHook(background, std::move(settings), preset,
                                   std::make_shared<SceneExporterRenderer>(std::move(segments)));
}

}  // namespace orvane
