#include "export/export_jobs.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <stdexcept>

#include "base/atomic_file.h"
#include "base/file_error.h"
#include "base/log.h"
#include "base/log_areas.h"
#include "export/export_error.h"
#include "export/gif_writer.h"
#include "export/source_frame_decoder.h"
#include "media/external_tools.h"
#include "media/media_probe.h"
#include "media/video_frame.h"
#include "model/export_workspace.h"
#include "model/project_sidecar.h"
#include "model/scene_render_snapshot.h"
#include "model/time_mapping.h"

namespace orvane {

namespace fs = std::filesystem;

namespace {

// A mix measured below this is audible only with the volume turned right up.
constexpr double kLowLevelLufs = -50.0;

// Share of the progress bar the video render takes; the rest is audio and delivery.
constexpr double kRenderShare = 0.9;
// For a GIF the rest is the conversion.
constexpr double kGifRenderShare = 0.85;

// Share pages show the still at card size.
constexpr int kShareThumbnailWidth = 640;
constexpr int kShareThumbnailHeight = 400;

fs::path temporaryDirectory(const ExportServices& services) {
    return services.temporaryDirectory.empty() ? fs::temp_directory_path() : services.temporaryDirectory;
}

// Copies `source` beside the destination under a hidden, locked name, then renames it over the
// destination, so the destination holds either its old content or the whole new file, and a
// partial left by a killed export is removed by the next one to the same destination.
void deliver(const fs::path& source, const fs::path& destination, const ExportJobContext& context) {
    LockedPartialFile partial(destination);
    // Overwritten in place: the lock is on the file at that name.
    try {
        fs::copy_file(source, partial.path(), fs::copy_options::overwrite_existing);
    } catch (const fs::filesystem_error& error) {
        throw std::runtime_error("Couldn't save the export to " + destination.string() + ": " +
                                 fileErrorText(error.code()));
    }
    context.throwIfCancelled();
    partial.commit();
}

// Every intermediate file of a job lives in its workspace, so a killed export leaves one folder
// for the next export to sweep.
ExportWorkspace makeWorkspace(const ExportServices& services, ExportPreset preset) {
    return ExportWorkspace(temporaryDirectory(services), rawValue(preset));
}

std::optional<ExportCacheEntry> lookUpCache(const ExportServices& services, const SceneRenderSnapshot& snapshot,
                                            const ExportSettings& settings, const OutputProfile& profile,
                                            ExportPreset preset) {
    if (!services.cache) return std::nullopt;
    try {
        return services.cache->lookup(snapshot, settings, profile, preset);
    } catch (const std::exception& error) {
        log::warning(log_area::kExport, "export cache unavailable (%s); rendering", error.what());
        return std::nullopt;
    }
}

// The edit travels with the video, so another copy of the program can rebuild it. The video is
// already delivered: a record that cannot be written is reported, not a failed export.
std::optional<fs::path> writeSidecarBeside(const fs::path& destination, const SceneRenderSnapshot& snapshot,
                                           ExportPreset preset) {
    try {
        writeExportSidecar(destination,
                           makeProjectSidecar(snapshot.edit, snapshot.videoPath, std::nullopt, rawValue(preset)));
        return exportSidecarPath(destination);
    } catch (const std::exception& error) {
        log::warning(log_area::kExport, "no project record beside %s: %s", destination.c_str(), error.what());
        return std::nullopt;
    }
}

void storeInCache(const ExportServices& services, const fs::path& file, const std::optional<fs::path>& sidecar,
                  const std::optional<ExportCacheEntry>& entry) {
    if (!services.cache || !entry) return;
    try {
        services.cache->store(file, sidecar, *entry);
    } catch (const std::exception& error) {
        log::warning(log_area::kExport, "could not store the export in the cache: %s", error.what());
    }
}

// Turns the tool's cancellation into the export's own.
template <typename Action>
auto cancellable(const ExportJobContext& context, Action&& action) {
    try {
        return action();
    } catch (const ToolCancelledError&) {
        throw ExportCancelled();
    } catch (const ExportCancelled&) {
        throw;
    } catch (...) {
        if (context.stopRequested()) throw ExportCancelled();
        throw;
    }
}

void renderSilentVideo(const ExportServices& services, const ExportJobContext& context,
                       const std::shared_ptr<const SceneRenderSnapshot>& snapshot, const OutputProfile& profile,
                       const fs::path& output, double share) {
    if (!services.renderer) throw ExportError::writerSetup();
    context.report(0, "Rendering video");
    cancellable(context, [&] {
        services.renderer->render(
            snapshot, profile, output,
            [&context, share](double fraction, std::optional<std::string> status) {
                context.report(std::clamp(fraction, 0.0, 1.0) * share, std::move(status));
            },
            context.stopToken());
    });
    context.throwIfCancelled();
}

bool isSilent(std::optional<double> loudness) { return loudness && std::isinf(*loudness) && *loudness < 0; }

// Tries each strategy in order and answers the first movie with sound; the silent video when none
// gives one.
fs::path addAudio(const ExportServices& services, const ExportJobContext& context, const fs::path& silentVideo,
                  const SceneRenderSnapshot& snapshot, const fs::path& workFolder) {
    std::string lastProblem = "no audio strategy";
    context.report(kRenderShare, "Adding audio");
    // A recording without sound (and nothing added to it) is not a failed mix: every strategy would
    // fail or come out silent, so none is tried and the video goes out as it is.
    if (services.hasSound && !services.hasSound(snapshot)) {
        log::info(log_area::kExport, "nothing in the edit makes a sound; the video has no audio track");
        return silentVideo;
    }
    for (const auto& strategy : services.audioStrategies) {
        context.throwIfCancelled();
        fs::path mixed;
        try {
            mixed = cancellable(context,
                                [&] { return strategy.run(silentVideo, snapshot, workFolder, context.stopToken()); });
        } catch (const ExportCancelled&) {
            throw;
        } catch (const std::exception& error) {
            lastProblem = error.what();
            log::info(log_area::kExport, "%s: %s", strategy.failedText.c_str(), error.what());
            context.log(strategy.failedText);
            continue;
        }
        std::optional<double> loudness;
        if (services.loudness) {
            try {
                loudness = services.loudness(mixed);
            } catch (const std::exception& error) {
                log::info(log_area::kExport, "loudness probe failed: %s", error.what());
            }
        }
        if (isSilent(loudness)) {
            lastProblem = "the mix was silent";
            context.log(strategy.silentText);
            continue;
        }
        std::string outcome = strategy.successText;
        if (strategy.reportsLevel) {
            if (!loudness)
                outcome += " (loudness probe was inconclusive)";
            else if (*loudness < kLowLevelLufs)
                outcome += " (low level)";
        }
        context.log(outcome);
        return mixed;
    }
    log::warning(log_area::kExport, "audio mux unavailable (%s); exporting silent video", lastProblem.c_str());
    context.log("MP4 exported without audio (audio mux unavailable)");
    return silentVideo;
}

// The frames of a rendered video in order, for the GIF writer's two passes: read forward, and
// opened again when a pass starts over.
class RenderedMovieFrames {
public:
    RenderedMovieFrames(fs::path movie, int fps) : movie_(std::move(movie)), fps_(fps) {}

    RgbaImage frame(int index) {
        if (!decoder_ || index < next_) {
            decoder_ = std::make_unique<SequentialSourceFrameDecoder>(movie_, 1.0 / fps_, DecodeOptions{});
        }
        next_ = index + 1;
        // Past the video's last frame (rounding of its length) the last one holds.
        DecodedFrame picture = decoder_->frameAt(static_cast<double>(index) / fps_);
        if (picture) last_ = std::move(picture);
        if (!last_) throw ExportError::pixelBuffer();
        return last_->image;
    }

private:
    fs::path movie_;
    int fps_;
    std::unique_ptr<SequentialSourceFrameDecoder> decoder_;
    DecodedFrame last_;
    int next_ = 0;
};

std::string megabytesText(std::uintmax_t bytes) {
    char text[64];
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1'000'000.0);
    return text;
}

}  // namespace

double exportDuration(const SceneRenderSnapshot& snapshot) {
    return outputDuration(snapshot.edit.timeline.trimStart, snapshot.edit.timeline.trimEnd,
                          snapshot.edit.timeline.speedRamps);
}

bool isEmptyTimeline(const SceneRenderSnapshot& snapshot) {
    const double duration = exportDuration(snapshot);
    return snapshot.edit.timeline.clips.empty() || !std::isfinite(duration) || duration <= 0;
}

void requireExportableTimeline(const SceneRenderSnapshot& snapshot) {
    if (isEmptyTimeline(snapshot)) throw ExportError::emptyTimeline();
    if (exportDuration(snapshot) > kMaximumEditLength) throw ExportError::tooLong();
}

std::optional<Size> exportSourceSize(const SceneRenderSnapshot& snapshot, const ExportSettings& settings,
                                     ExportPreset preset) {
    const bool landscapePreset =
        preset == ExportPreset::web1080 || preset == ExportPreset::fourK || preset == ExportPreset::gif;
    if (!landscapePreset || settings.aspect != ExportAspectRatio::automatic) return std::nullopt;
    const auto reference = presetSpec(preset);
    Size source = snapshot.edit.frame.videoSize;
    // The editor may not have measured the recording yet; its file says what it holds.
    if ((source.width <= 0 || source.height <= 0) && !snapshot.videoPath.empty()) {
        if (const auto info = probeMedia(snapshot.videoPath); info && info->videoSize) source = *info->videoSize;
    }
    if (source.width <= 0 || source.height <= 0) return std::nullopt;
    if (source.width >= reference.width || source.height >= reference.height) return std::nullopt;
    return source;
}

OutputProfile exportProfile(const SceneRenderSnapshot& snapshot, const ExportSettings& settings, ExportPreset preset,
                            ProfileOptions options) {
    return makeProfile(settings, preset, exportDuration(snapshot), exportSourceSize(snapshot, settings, preset),
                       options);
}

void exportMovieFile(const ExportServices& services, const ExportJobContext& context,
                     const std::shared_ptr<const SceneRenderSnapshot>& snapshot, const ExportSettings& settings,
                     const VideoExportOptions& options, const fs::path& destination, ProfileOptions profileOptions) {
    requireExportableTimeline(*snapshot);
    const auto profile = exportProfile(*snapshot, settings, options.preset, profileOptions);
    log::info(log_area::kExport, "exporting %s to %s", displayText(profile).c_str(), destination.c_str());

    const auto entry = lookUpCache(services, *snapshot, settings, profile, options.preset);
    if (entry && entry->hit) {
        context.log("Using cached export");
        deliver(entry->cachedFile, destination, context);
        writeSidecarBeside(destination, *snapshot, options.preset);
        context.report(1.0, std::nullopt);
        return;
    }

    const auto workspace = makeWorkspace(services, options.preset);
    const auto silentVideo = workspace.file("video.mp4");
    renderSilentVideo(services, context, snapshot, profile, silentVideo, kRenderShare);
    const fs::path finished = addAudio(services, context, silentVideo, *snapshot, workspace.folder());
    context.throwIfCancelled();
    context.report(0.99, "Saving");
    deliver(finished, destination, context);
    const auto sidecar = writeSidecarBeside(destination, *snapshot, options.preset);
    storeInCache(services, destination, sidecar, entry);
    context.report(1.0, std::nullopt);
}

std::string gifFilterGraph(const OutputProfile& profile) {
    return "fps=" + std::to_string(profile.fps) + ",scale=" + std::to_string(profile.width) +
           ":-1:flags=lanczos,split[s0][s1];[s0]palettegen[p];[s1][p]paletteuse";
}

void exportGifFile(const ExportServices& services, const ExportJobContext& context,
                   const std::shared_ptr<const SceneRenderSnapshot>& snapshot, const ExportSettings& settings,
                   const fs::path& destination) {
    requireExportableTimeline(*snapshot);
    const auto profile = exportProfile(*snapshot, settings, ExportPreset::gif);

    const auto entry = lookUpCache(services, *snapshot, settings, profile, ExportPreset::gif);
    if (entry && entry->hit) {
        context.log("Using cached export");
        deliver(entry->cachedFile, destination, context);
        context.report(1.0, std::nullopt);
        return;
    }

    const auto workspace = makeWorkspace(services, ExportPreset::gif);
    const auto gif = workspace.file("movie.gif");
    // Both ways start from the video the exporter renders, so GIF frames come from the same segment
    // workers (and segment cache) as an MP4's.
    const auto silentVideo = workspace.file("video.mp4");
    renderSilentVideo(services, context, snapshot, profile, silentVideo, kGifRenderShare);

    const auto ffmpeg = services.tools ? services.tools("ffmpeg") : std::nullopt;
    bool converted = false;
    if (ffmpeg) {
        context.report(kGifRenderShare, "Converting to GIF");
        try {
            cancellable(context, [&] {
                FFmpegTool::run(*ffmpeg,
                                {"-y", "-v", "error", "-i", silentVideo.string(), "-vf", gifFilterGraph(profile),
                                 "-loop", "0", gif.string()},
                                context.stopToken());
            });
            converted = true;
        } catch (const ExportCancelled&) {
            throw;
        } catch (const std::exception& error) {
            // What ffmpeg printed means nothing to the user, and the built-in writer can do the job.
            log::warning(log_area::kExport, "ffmpeg GIF conversion failed (%s); using the built-in GIF writer",
                         error.what());
            std::error_code ignored;
            fs::remove(gif, ignored);
        }
    }
    if (!converted) {
        context.report(kGifRenderShare, "Writing GIF");
        const auto frames = frameCount(exportDuration(*snapshot), profile.fps);
        GifWriterOptions gifOptions{profile.width, profile.height, profile.fps, static_cast<int>(frames)};
        RenderedMovieFrames movie(silentVideo, profile.fps);
        writeLoopingGif(
            gif, gifOptions, [&](int index) { return movie.frame(index); },
            [&](double fraction) {
                context.report(kGifRenderShare + fraction * (0.98 - kGifRenderShare), std::nullopt);
            },
            context.stopToken());
    }
    context.throwIfCancelled();
    deliver(gif, destination, context);
    storeInCache(services, destination, std::nullopt, entry);
    context.report(1.0, std::nullopt);
}

ShareResult shareMovie(const ExportServices& services, const ExportJobContext& context,
                       const std::shared_ptr<const SceneRenderSnapshot>& snapshot, const ExportSettings& settings,
                       const VideoExportOptions& options, const ShareRequest& shareRequest,
                       const std::optional<ShareResult>& existing) {
    if (!services.shareClient) throw ExportError::shareNotConfigured();
    auto& client = *services.shareClient;
    const bool updating = existing.has_value();
    // Checked before rendering: without the sidecar the share page could not be edited afterwards.
    if (updating && client.revisionsNeedSidecar() && !shareRequest.sidecar) {
        throw ExportError::shareFailed("Editable share revisions require a Orvane sidecar.");
    }
    const auto limit = services.shareMaxUploadBytes.value_or(client.defaultMaxUploadBytes());

    const auto workspace = makeWorkspace(services, options.preset);
    const auto file = workspace.file("share.mp4");
    exportMovieFile(services, context, snapshot, settings, options, file);

    ExportSettings compact = settings;
    compact.quality = ExportQuality::compact;
    bool compacted = settings.quality == ExportQuality::compact;
    auto exportCompact = [&] {
        exportMovieFile(services, context, snapshot, compact, options, file);
        compacted = true;
    };

    const auto size = fs::file_size(file);
    if (limit > 0 && size > static_cast<std::uintmax_t>(limit) && !compacted) {
        context.log((updating ? "Updated file is " : "Rendered file is ") + megabytesText(size) +
                    "; retrying smaller for share");
        exportCompact();
    }

    ShareRequest request = shareRequest;
    // The share page's still: a frame of the exported video, kept in the workspace so it goes with it.
    if (!request.thumbnail) {
        const double at = std::min(0.5, exportDuration(*snapshot) / 2);
        const auto still = extractVideoFrame(file, at, kShareThumbnailWidth, kShareThumbnailHeight);
        const auto thumbnail = workspace.file("thumbnail.png");
        if (still && writePng(*still, thumbnail)) request.thumbnail = thumbnail;
    }
    auto describe = [&](const ExportSettings& used) {
        const auto profile = exportProfile(*snapshot, used, options.preset);
        request.width = profile.width;
        request.height = profile.height;
        request.fps = profile.fps;
        request.durationSeconds = exportDuration(*snapshot);
    };
    auto send = [&] {
        // An update's texts already start with "Updating share · ".
        describe(compacted ? compact : settings);
        const std::string stage = "Uploading";
        context.report(0.99, stage);
        // Whole percents only: a large upload would otherwise flood the main loop with reports.
        auto lastPercent = std::make_shared<int>(-1);
        request.uploadProgress = [&context, stage, lastPercent](double fraction) {
            const int percent = static_cast<int>(std::clamp(fraction, 0.0, 1.0) * 100);
            if (percent == *lastPercent) return;
            *lastPercent = percent;
            context.report(0.99, stage + " \u00b7 " + std::to_string(percent) + "%");
        };
        auto result = cancellable(context, [&] {
            return updating ? client.update(file, request, *existing, context.stopToken())
                            : client.upload(file, request, context.stopToken());
        });
        if (result.url.empty()) {
            throw ExportError::shareFailed(updating ? "Share update did not complete."
                                                    : "Share upload did not complete.");
        }
        return result;
    };
    try {
        return send();
    } catch (const ShareTooLargeError&) {
        if (compacted) throw;
        context.log(updating ? "Share update was too large; retrying compact export"
                             : "Share upload was too large; retrying compact export");
    }
    exportCompact();
    return send();
}

std::optional<std::string> socialUploadPage(SocialPlatform platform) {
    switch (platform) {
        case SocialPlatform::x: return "https://x.com/compose/post";
        case SocialPlatform::linkedin: return "https://www.linkedin.com/feed/?shareActive=true";
        case SocialPlatform::youtube: return "https://www.youtube.com/upload";
        case SocialPlatform::notion: return "https://www.notion.so/new";
        case SocialPlatform::messages: return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace orvane
