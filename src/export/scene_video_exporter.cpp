#include "export/scene_video_exporter.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "base/atomic_file.h"
#include "base/log.h"
#include "base/log_areas.h"
#include "base/thread_name.h"
#include "export/render_attempt.h"
#include "export/render_plan.h"
#include "export/segment_joiner.h"
#include "model/export_workspace.h"
#include "model/scene_render_snapshot.h"
#include "model/time_mapping.h"

namespace orvane {

namespace fs = std::filesystem;

namespace {

// Frames fill the bar up to here; joining the segments takes the rest.
constexpr double kFramesShare = 0.97;
constexpr double kAssemblingFraction = 0.98;

// Keeps the reported fraction from going back: a failed attempt's frames are counted again and a
// fallback render starts over, but a bar that shrinks reads as a fault.
class MonotonicProgress {
public:
    explicit MonotonicProgress(ExportProgress progress) : progress_(std::move(progress)) {}

    void report(double fraction, std::optional<std::string> status) {
        std::lock_guard lock(mutex_);
        reached_ = std::max(reached_, std::clamp(fraction, 0.0, 1.0));
        if (progress_) progress_(reached_, std::move(status));
    }
    double reached() const {
        std::lock_guard lock(mutex_);
        return reached_;
    }
    // Reports of a part of the work, 0...1, placed on [from, to] of the whole.
    ExportProgress part(double from, double to) {
        if (!progress_) return nullptr;
        return [this, from, to](double fraction, std::optional<std::string> status) {
            report(from + fraction * (to - from), std::move(status));
        };
    }

private:
    const ExportProgress progress_;
    mutable std::mutex mutex_;
    double reached_ = 0;  // guarded by mutex_
};

// Renames over the output only once the file is complete, so a failed export never replaces a
// good file with half of one.
void moveIntoPlace(LockedPartialFile& partial, const fs::path& output) {
    try {
        partial.commit();
    } catch (const std::system_error& error) {
        throw std::runtime_error("Couldn't save the video to " + output.string() + ": " + error.code().message());
    }
}

// The store's answer for each segment, or nothing when the store cannot be used: then the export
// renders without it.
std::optional<std::vector<SegmentLookup>> lookUpSegments(SegmentStore* store, const SceneRenderSnapshot& snapshot,
                                                         const OutputProfile& profile,
                                                         const std::vector<RenderSegment>& segments) {
    if (!store) return std::nullopt;
    try {
        auto lookups = store->lookups(snapshot, profile, segments);
        if (lookups.size() != segments.size()) throw std::runtime_error("the store answered for other segments");
        return lookups;
    } catch (const std::exception& error) {
        log::warning(log_area::kExport, "Segment cache unavailable; rendering full video");
        log::debug(log_area::kExport, "segment cache error: %s", error.what());
    } catch (...) {
        log::warning(log_area::kExport, "Segment cache unavailable; rendering full video");
    }
    return std::nullopt;
}

// The cached segments (not `fresh`) the joiner would refuse: unreadable, or of another format than
// the segments rendered now (or, with none rendered, than most of the cached ones).
std::vector<std::size_t> unjoinableCachedSegments(const std::vector<fs::path>& files, const std::vector<bool>& fresh) {
    std::vector<std::optional<SegmentFormat>> formats(files.size());
    std::optional<SegmentFormat> reference;
    for (std::size_t i = 0; i < files.size(); ++i) {
        formats[i] = readSegmentFormat(files[i]);
        if (fresh[i] && !reference) reference = formats[i];
    }
    if (!reference) {
        std::size_t best = 0;
        for (const auto& candidate : formats) {
            if (!candidate) continue;
            const auto count = static_cast<std::size_t>(std::count(formats.begin(), formats.end(), candidate));
            if (count > best) {
                best = count;
                reference = candidate;
            }
        }
    }
    std::vector<std::size_t> stale;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (!fresh[i] && (!formats[i] || formats[i] != reference)) stale.push_back(i);
    }
    return stale;
}

}  // namespace

SceneVideoExporter::SceneVideoExporter(SegmentStore* store, SceneVideoExporterOptions options)
    : store_(store), options_(std::move(options)) {}

void SceneVideoExporter::render(std::shared_ptr<const SceneRenderSnapshot> snapshot, const OutputProfile& profile,
                                const fs::path& output, ExportProgress reportProgress, std::stop_token stop) {
    if (!snapshot) throw std::invalid_argument("render needs a snapshot");
    if (profile.width < 2 || profile.height < 2 || profile.width % 2 != 0 || profile.height % 2 != 0 ||
        profile.fps < 1 || profile.bitrate < 1) {
        log::error(log_area::kExport, "unsupported output profile %dx%d at %d fps, %d bit/s", profile.width,
                   profile.height, profile.fps, profile.bitrate);
        throw ExportError::writerSetup();
    }
    if (stop.stop_requested()) throw ExportCancelled();
    // Frames are counted in int: the length is checked before it is cut into segments.
    if (outputDuration(snapshot->edit.timeline.trimStart, snapshot->edit.timeline.trimEnd,
                       snapshot->edit.timeline.speedRamps) > kMaximumEditLength) {
        throw ExportError::tooLong();
    }

    const long long totalFrames =
        frameCount(outputDuration(snapshot->edit.timeline.trimStart, snapshot->edit.timeline.trimEnd,
                                  snapshot->edit.timeline.speedRamps),
                   profile.fps);
    const std::vector<RenderSegment> segments = cutIntoSegments(totalFrames, profile.fps);
    const auto lookups = lookUpSegments(store_, *snapshot, profile, segments);

    const unsigned processors = options_.processors > 0 ? options_.processors : std::thread::hardware_concurrency();
    std::stop_source jobStop;
    const std::stop_callback forwardCancel(stop, [&jobStop] { jobStop.request_stop(); });

    RenderJob job;
    job.snapshot = snapshot;
    job.profile = profile;
    job.stop = jobStop.get_token();
    job.userStop = stop;
    job.encoderSettings.x264Preset = options_.x264Preset;
    job.hardware = options_.hardware;

    MonotonicProgress progress(std::move(reportProgress));
    LockedPartialFile partial(output);
    const fs::path partialOutput = partial.path();

    // One attempt straight to the output: without a store, or when segments cannot be joined.
    const auto renderWhole = [&] {
        SegmentRenderProgressCounter counter(0, static_cast<int>(totalFrames), static_cast<int>(totalFrames),
                                             profile.fps, progress.part(progress.reached(), 1.0));
        job.counter = &counter;
        job.decoderThreads = static_cast<int>(std::max(processors, 1u));
        job.encoderSettings.threads = 0;
        RenderWorker worker;
        const RenderSegment whole{0, 0, static_cast<int>(totalFrames)};
        try {
            renderVideoFrames(job, worker, whole, partialOutput, true);
        } catch (const ExportCancelled&) {
            throw;
        } catch (...) {
            if (stop.stop_requested()) throw ExportCancelled();
            throw;
        }
        job.counter = nullptr;
        moveIntoPlace(partial, output);
    };
    if (!lookups) {
        renderWhole();
        return;
    }

    std::vector<std::size_t> missing;
    std::vector<fs::path> segmentFiles(segments.size());
    int cachedCount = 0;
    int cachedFrames = 0;
    for (std::size_t i = 0; i < segments.size(); ++i) {
        const SegmentLookup& lookup = (*lookups)[i];
        std::error_code error;
        if (lookup.cached && fs::is_regular_file(lookup.outputPath, error)) {
            segmentFiles[i] = lookup.outputPath;
            ++cachedCount;
            cachedFrames += segments[i].frameCount();
        } else {
            missing.push_back(i);
        }
    }
    const auto total = static_cast<int>(totalFrames);
    if (cachedCount > 0) {
        progress.report(
            static_cast<double>(std::min(cachedFrames, total)) / std::max(total, 1) * kFramesShare,
            "Reusing " + std::to_string(cachedCount) + "/" + std::to_string(segments.size()) + " rendered segments");
    }
    // Segments being rendered live in a workspace of their own, which a killed export leaves for
    // the next one to sweep.
    std::optional<ExportWorkspace> workspace;
    if (!missing.empty()) workspace.emplace(fs::temp_directory_path(), "segments");
    for (std::size_t i : missing) {
        segmentFiles[i] = workspace->file("segment-" + std::to_string(segments[i].index) + ".mp4");
    }

    const auto framesOf = [&](const std::vector<std::size_t>& indices) {
        int frames = 0;
        for (std::size_t i : indices) frames += segments[i].frameCount();
        return frames;
    };
    // Renders the given segments into their files with a pool of workers, storing each in the
    // cache (over any entry of its key). The bar counts `done` of `all` frames as finished.
    const auto renderSegments = [&](const std::vector<std::size_t>& indices, int done, int all, ExportProgress part) {
        SegmentRenderProgressCounter counter(done, all, framesOf(indices), profile.fps, std::move(part));
        job.counter = &counter;
        const int workerCount =
            segmentWorkerCount(processors, profile.width, profile.height, static_cast<int>(indices.size()));
        job.decoderThreads = static_cast<int>(std::max(processors / std::max(workerCount, 1), 1u));
        job.encoderSettings.threads = workerCount > 1 ? job.decoderThreads : 0;

        std::atomic<std::size_t> next{0};
        std::mutex failureMutex;
        std::exception_ptr failure;
        {
            std::vector<std::jthread> workers;
            for (int w = 0; w < workerCount; ++w) {
                workers.emplace_back([&, w] {
                    setCurrentThreadName("orvane.segment" + std::to_string(w));
                    RenderWorker worker;
                    try {
                        // Each worker takes the next segment in index order until none is left.
                        for (std::size_t taken = next++; taken < indices.size(); taken = next++) {
                            if (job.stop.stop_requested()) throw ExportCancelled();
                            const std::size_t i = indices[taken];
                            renderVideoFrames(job, worker, segments[i], segmentFiles[i], false);
                            // Another worker may have failed or the user cancelled while this segment
                            // finished its last batch: a cancelled export keeps nothing.
                            if (job.stop.stop_requested()) throw ExportCancelled();
                            try {
                                store_->store(segmentFiles[i], (*lookups)[i]);
                            } catch (const std::exception& error) {
                                log::warning(log_area::kExport, "segment %d not kept in the cache: %s",
                                             segments[i].index, error.what());
                            }
                        }
                    } catch (...) {
                        std::lock_guard lock(failureMutex);
                        if (!failure) failure = std::current_exception();
                        jobStop.request_stop();
                    }
                });
            }
        }
        job.counter = nullptr;
        if (stop.stop_requested()) throw ExportCancelled();
        if (failure) std::rethrow_exception(failure);
    };

    renderSegments(missing, cachedFrames, total, progress.part(0, kFramesShare));

    // A cached segment from another encoder set-up (a GPU that has since failed, an older build) or a
    // damaged cache file would make the join fail: it is rendered again and its entry replaced, so
    // the next export reuses it instead of rendering the whole video once more.
    std::vector<bool> fresh(segments.size(), false);
    for (std::size_t i : missing) fresh[i] = true;
    const std::vector<std::size_t> stale = unjoinableCachedSegments(segmentFiles, fresh);
    if (!stale.empty()) {
        log::warning(log_area::kExport, "%zu cached segments cannot be joined; rendering them again", stale.size());
        if (!workspace) workspace.emplace(fs::temp_directory_path(), "segments");
        for (std::size_t i : stale) {
            segmentFiles[i] = workspace->file("segment-" + std::to_string(segments[i].index) + ".mp4");
        }
        renderSegments(stale, 0, framesOf(stale), progress.part(progress.reached(), kFramesShare));
    }

    progress.report(kAssemblingFraction, "Assembling rendered segments");
    try {
        combineSegmentVideos(segmentFiles, partialOutput, true);
    } catch (const std::runtime_error& error) {
        // What the checks above did not catch must not fail the export either: the whole video is
        // rendered again in one attempt. Segments rendered just now are ours to trust.
        if (cachedCount == 0 && !dynamic_cast<const SegmentMismatchError*>(&error)) throw;
        log::warning(log_area::kExport, "%s; rendering full video", error.what());
        renderWhole();
        return;
    }
    moveIntoPlace(partial, output);
    log::info(log_area::kExport, "MP4 video assembled from %zu segments", segments.size());
}

}  // namespace orvane
