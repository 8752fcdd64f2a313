#include "export/export_progress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace orvane {

namespace {

// Below this much work or time the rate says nothing yet.
constexpr double kEstimateMinimumFraction = 0.02;
constexpr double kEstimateMinimumSeconds = 1.0;
constexpr double kFinishingFraction = 0.995;

std::string format(const char* pattern, long long a) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, pattern, a);
    return buffer;
}

std::string format(const char* pattern, long long a, long long b) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, pattern, a, b);
    return buffer;
}

}  // namespace

std::string durationText(long long seconds) {
    const long long n = std::max(seconds, 0LL);
    if (n < 60) return format("%llds", n);
    if (n < 600) {
        const long long minutes = n / 60;
        const long long rest = n % 60;
        return rest == 0 ? format("%lldm", minutes) : format("%lldm %llds", minutes, rest);
    }
    if (n < 3600) return format("%lldm", n / 60);
    const long long hours = n / 3600;
    const long long minutes = n % 3600 / 60;
    return minutes == 0 ? format("%lldh", hours) : format("%lldh %lldm", hours, minutes);
}

std::string remainingStatusText(double fraction, double elapsedSeconds) {
    // Near the end the estimate jitters and any number would mislead, even when the job only just
    // started (everything but a few frames came from the cache).
    if (fraction >= kFinishingFraction) return "finishing up";
    if (!(elapsedSeconds >= kEstimateMinimumSeconds) || !(fraction >= kEstimateMinimumFraction)) {
        return "estimating time remaining";
    }
    const double remaining = (1 - fraction) * elapsedSeconds / fraction;
    if (!std::isfinite(remaining) || remaining <= 1) return "finishing up";
    return "about " + durationText(std::llround(remaining)) + " remaining";
}

SegmentRenderProgressCounter::SegmentRenderProgressCounter(int cachedFrames, int totalFrames, int missingFrames,
                                                           int fps, ExportProgress progress, Clock clock)
    : cachedFrames_(cachedFrames),
      totalFrames_(totalFrames),
      missingFrames_(missingFrames),
      fps_(fps),
      progress_(std::move(progress)),
      clock_(std::move(clock)),
      startedAt_(clock_()) {}

void SegmentRenderProgressCounter::frameRendered() {
    std::lock_guard lock(mutex_);
    ++renderedMissingFrames_;
    const bool due = renderedMissingFrames_ % std::max(fps_, 1) == 0 || renderedMissingFrames_ == missingFrames_;
    if (!due || !progress_) return;
    const double elapsed = std::chrono::duration<double>(clock_() - startedAt_).count();
    // The rate comes from the frames rendered now: cached ones took no time, and counting them made
    // a re-export read "finishing up" with most of its work still ahead.
    const double renderedShare =
        missingFrames_ > 0 ? std::min(static_cast<double>(renderedMissingFrames_) / missingFrames_, 1.0) : 1.0;
    // Under the lock so reports from parallel workers arrive in order.
    progress_(fractionLocked(), remainingStatusText(renderedShare, elapsed));
}

void SegmentRenderProgressCounter::discard(int frames) {
    std::lock_guard lock(mutex_);
    renderedMissingFrames_ = std::max(renderedMissingFrames_ - std::max(frames, 0), 0);
}

int SegmentRenderProgressCounter::renderedMissingFrames() const {
    std::lock_guard lock(mutex_);
    return renderedMissingFrames_;
}

double SegmentRenderProgressCounter::fraction() const {
    std::lock_guard lock(mutex_);
    return fractionLocked();
}

double SegmentRenderProgressCounter::fractionLocked() const {
    const int done = std::min(cachedFrames_ + renderedMissingFrames_, totalFrames_);
    return static_cast<double>(std::max(done, 0)) / std::max(totalFrames_, 1);
}

}  // namespace orvane
