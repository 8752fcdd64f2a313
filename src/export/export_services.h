#pragma once

// What the export controller calls to do its work. Each service is a small interface so the
// controller's queue, fall-backs and file handling can be tested with fakes; the real services
// (the scene exporter, the render caches, the audio mixes, ffmpeg) are wired by makeExportServices.

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "export/export_task.h"
#include "media/external_tools.h"
#include "model/export_profile.h"

namespace orvane {

struct SceneRenderSnapshot;

// Fraction 0..1 of the current render and, now and then, a status text ("about 5s remaining").
using ExportProgress = std::function<void(double fraction, std::optional<std::string> status)>;

// Renders the silent video of an edit. Throws ExportError, ExportCancelled once `stop` is
// requested, or any other error with a readable what().
class ExportVideoRenderer {
public:
    virtual ~ExportVideoRenderer() = default;
    virtual void render(std::shared_ptr<const SceneRenderSnapshot> snapshot, const OutputProfile& profile,
                        const std::filesystem::path& output, ExportProgress progress, std::stop_token stop) = 0;
};

// Finished exports kept by content key. Any exception counts as "no cache": it never fails an export.
struct ExportCacheEntry {
    std::string key;
    std::filesystem::path cachedFile;  // where the file for this key lives (or would live)
    bool hit = false;
};
class ExportCacheAccess {
public:
    virtual ~ExportCacheAccess() = default;
    virtual ExportCacheEntry lookup(const SceneRenderSnapshot& snapshot, const ExportSettings& settings,
                                    const OutputProfile& profile, ExportPreset preset) = 0;
    virtual void store(const std::filesystem::path& file, const std::optional<std::filesystem::path>& sidecar,
                       const ExportCacheEntry& entry) = 0;
};

// One way of giving the silent video its sound. `run` writes a new movie into `workFolder` and
// answers it; it throws when the strategy cannot be used. The texts are logged for each outcome.
struct AudioStrategy {
    std::string successText;
    std::string silentText;
    std::string failedText;
    // Only the main mix distinguishes a quiet result in its success text.
    bool reportsLevel = false;
    std::function<std::filesystem::path(const std::filesystem::path& silentVideo, const SceneRenderSnapshot& snapshot,
                                        const std::filesystem::path& workFolder, std::stop_token stop)>
        run;
};

// Integrated loudness (LUFS) of a movie's audio: -infinity when silent or without audio, nothing
// when it cannot be measured.
using LoudnessProbe = std::function<std::optional<double>(const std::filesystem::path& movie)>;

// Whether anything in the edit makes a sound; an edit without any gets no audio track at all.
using SoundCheck = std::function<bool(const SceneRenderSnapshot& snapshot)>;

// Opens things in the user's desktop: web pages and the folder holding a file.
class UrlOpener;

// Where shares go (the hosted share page or the user's storage backend).
class ShareClient;

struct ExportServices {
    std::shared_ptr<ExportVideoRenderer> renderer;
    std::shared_ptr<ExportCacheAccess> cache;         // none: always render
    std::vector<AudioStrategy> audioStrategies;       // tried in order, then the silent video
    LoudnessProbe loudness;                           // none: every mix counts as inconclusive
    SoundCheck hasSound;                              // none: every edit is mixed
    ToolLocator tools;                                // finds ffmpeg for the GIF conversion
    std::shared_ptr<ShareClient> shareClient;         // none: sharing is not configured
    std::shared_ptr<UrlOpener> urlOpener;             // none: posts only write the file
    std::filesystem::path temporaryDirectory;         // empty: the system's
    std::optional<std::int64_t> shareMaxUploadBytes;  // none: the share client's own limit
};

}  // namespace orvane
