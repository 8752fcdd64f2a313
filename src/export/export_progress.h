#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace orvane {

// Export progress: a fraction 0...1 and, when it changed, a status line for the task tray.
// Called from render worker threads, one call at a time.
using ExportProgress = std::function<void(double fraction, std::optional<std::string> status)>;

// "45s", "2m 5s", "3m", "12m", "1h 1m", "1h" for a number of whole seconds.
std::string durationText(long long seconds);

// The time-remaining line for `fraction` done after `elapsedSeconds`: "estimating time remaining"
// while the rate is not yet known, "finishing up" near the end, else "about 2m 5s remaining".
std::string remainingStatusText(double fraction, double elapsedSeconds);

// Counts the frames an export renders and reports about once per second of video: when the count
// reaches a multiple of max(fps, 1) and when the last missing frame is done. Cached frames count
// as done from the start; the time estimate goes by the rendered frames alone. Shared by the
// segment workers.
class SegmentRenderProgressCounter {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    SegmentRenderProgressCounter(int cachedFrames, int totalFrames, int missingFrames, int fps, ExportProgress progress,
                                 Clock clock = &std::chrono::steady_clock::now);

    void frameRendered();
    // A failed attempt's frames are rendered again, so they stop counting.
    void discard(int frames);

    int renderedMissingFrames() const;
    double fraction() const;

private:
    double fractionLocked() const;

    const int cachedFrames_;
    const int totalFrames_;
    const int missingFrames_;
    const int fps_;
    const ExportProgress progress_;
    const Clock clock_;
    const std::chrono::steady_clock::time_point startedAt_;

    mutable std::mutex mutex_;
    int renderedMissingFrames_ = 0;  // guarded by mutex_
};

}  // namespace orvane
