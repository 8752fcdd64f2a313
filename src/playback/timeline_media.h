#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <unordered_map>
#include <vector>

#include "base/executor.h"
#include "base/signal.h"
#include "media/decode/frame_decoder.h"

namespace orvane {

// A file that cannot be read is not decoded again on every repaint (60 a second while playing),
// but it is tried again a little later, when it may have been put right.
template <typename Key, typename Hash = std::hash<Key>>
class FailedKeys {
public:
    static constexpr Duration kRetryAfter = std::chrono::seconds(5);
    bool mayTry(const Key& key, SteadyTime now) const {
        const auto found = failedAt_.find(key);
        return found == failedAt_.end() || now - found->second >= kRetryAfter;
    }
    void record(const Key& key, SteadyTime now) { failedAt_[key] = now; }
    void forget(const Key& key) { failedAt_.erase(key); }

private:
    std::unordered_map<Key, SteadyTime, Hash> failedAt_;
};

// --- Thumbnails ---------------------------------------------------------------------------------

// Which cached picture answers a request: nearby times share a tenth of a second, nearby cell
// widths share a 20-point step, so scrolling and re-layout hit the cache.
struct ClipFrameKey {
    std::filesystem::path url;
    std::int64_t bucket = 0;       // round(max(t, 0) * 10)
    std::int64_t widthBucket = 0;  // round(w / 20)

    bool operator==(const ClipFrameKey&) const = default;
};

struct ClipFrameKeyHash {
    std::size_t operator()(const ClipFrameKey& key) const noexcept;
};

ClipFrameKey clipFrameKey(const std::filesystem::path& url, double time, double cellWidth);

// The largest picture generated for a cell of w x h points: twice the cell, at least 40 x 28.
Size thumbnailMaximumSize(double cellWidth, double cellHeight);

// Decodes one picture of `url` near `time` (within a quarter second either way), fitted inside
// maxWidth x maxHeight and turned upright. Nothing when the file gives no picture.
using ThumbnailGenerator =
    std::function<std::optional<RgbaImage>(const std::filesystem::path& url, double time, int maxWidth, int maxHeight)>;
std::optional<RgbaImage> generateThumbnail(const std::filesystem::path& url, double time, int maxWidth, int maxHeight);

// The timeline's thumbnails for the application's life. Lookups and the ready signal are on the
// main executor; generation runs on `background`, one task per key however often it is asked for.
class ClipFrameCache {
public:
    ClipFrameCache(Executor& main, Executor& background, ThumbnailGenerator generator = generateThumbnail);
    ~ClipFrameCache();
    ClipFrameCache(const ClipFrameCache&) = delete;
    ClipFrameCache& operator=(const ClipFrameCache&) = delete;

    // The cached picture at once, or null after starting its generation (if none is in flight);
    // frameReady says when it arrives. A failed generation leaves nothing cached, so a lookup
    // FailedKeys::kRetryAfter later tries again.
    std::shared_ptr<const RgbaImage> frame(const std::filesystem::path& url, double time, double cellWidth,
                                           double cellHeight);
    Signal<ClipFrameKey> frameReady;

    std::size_t cachedCount() const { return cache_.size(); }

private:
    Executor& main_;
    Executor& background_;
    ThumbnailGenerator generator_;
    std::unordered_map<ClipFrameKey, std::shared_ptr<const RgbaImage>, ClipFrameKeyHash> cache_;
    std::unordered_map<ClipFrameKey, bool, ClipFrameKeyHash> inflight_;
    FailedKeys<ClipFrameKey, ClipFrameKeyHash> failed_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// The times a strip of `cellCount` cells over source [sourceStart, sourceEnd] asks for: each cell's
// own start, one step of max(sourceEnd - sourceStart, 0.01) / cellCount apart.
std::vector<double> clipFrameStripTimes(double sourceStart, double sourceEnd, int cellCount);

// --- Waveforms ----------------------------------------------------------------------------------

// Waveforms are decoded at this rate, mono: far less work than full-rate audio, ample for a timeline.
inline constexpr int kWaveformSampleRate = 22050;

// Samples per peak for a file of `durationSeconds`: max(total / max(targetCount, 1), 1) with total =
// duration x 22050; 0 when total is not positive (no peaks at all).
std::int64_t waveformSamplesPerPeak(double durationSeconds, int targetCount);

// Turns decoded samples into peaks: the largest magnitude of each run of samplesPerPeak samples
// (capped at 1), runs carried across buffers, a last partial run giving one more peak.
class WaveformPeakBuilder {
public:
    explicit WaveformPeakBuilder(std::int64_t samplesPerPeak);
    void add(std::span<const float> samples);
    std::vector<float> finish();

private:
    std::int64_t samplesPerPeak_;
    std::int64_t inRun_ = 0;
    float runMax_ = 0;
    std::vector<float> peaks_;
};

// A file's peaks with the length they cover, which a view showing part of the file needs.
struct Waveform {
    std::vector<float> peaks;
    double mediaDuration = 0;  // seconds; 0 when the file does not say
};

// Decodes the first audio stream of `url` at 22050 Hz mono into about targetCount peaks. No peaks
// when the file has no audio or no length; throws AudioStreamError when it cannot be read.
using WaveformDecoder = std::function<Waveform(const std::filesystem::path& url, int targetCount)>;
Waveform decodeWaveformPeaks(const std::filesystem::path& url, int targetCount);

// The timeline's waveforms for the application's life, by file: the first request's targetCount
// decides the peaks kept. Same threading as ClipFrameCache.
class WaveformCache {
public:
    WaveformCache(Executor& main, Executor& background, WaveformDecoder decoder = decodeWaveformPeaks);
    ~WaveformCache();
    WaveformCache(const WaveformCache&) = delete;
    WaveformCache& operator=(const WaveformCache&) = delete;

    std::shared_ptr<const Waveform> peaks(const std::filesystem::path& url, int targetCount);
    Signal<std::filesystem::path> peaksReady;

private:
    Executor& main_;
    Executor& background_;
    WaveformDecoder decoder_;
    std::unordered_map<std::string, std::shared_ptr<const Waveform>> memCache_;
    std::set<std::string> loading_;
    FailedKeys<std::string> failed_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// The peaks a view with a source window shows, as [first, last) indexes: from
// floor(clamp(start / d, 0, 1) * n) to ceil(clamp((start + duration) / d, startFraction, 1) * n).
struct PeakRange {
    std::size_t first = 0;
    std::size_t last = 0;
    bool operator==(const PeakRange&) const = default;
};
PeakRange waveformPeakRange(std::size_t peakCount, double mediaDuration, double windowStart, double windowDuration);

// One bar of a drawn waveform, in points, y down.
struct WaveformBar {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
    double cornerRadius = 0;
};

// Bars 1.5 points wide on a 2.5-point pitch across at most 4000 points, each max(peak x height, 1.5)
// tall and centred vertically; bar i shows the peak at i / barCount of the way through `peaks`.
std::vector<WaveformBar> layoutWaveformBars(std::span<const float> peaks, double width, double height);

// A serial background queue at lowered priority, for thumbnails and waveforms: they must never
// take time from playback or the window.
std::unique_ptr<Executor> makeUtilityQueue(const std::string& label);

}  // namespace orvane
