#include "playback/timeline_media.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>

#include "base/event_loop.h"
#include "base/log.h"
#include "base/log_areas.h"
#include "media/audio_stream_reader.h"
#include "model/time_mapping.h"

namespace orvane {

// --- Thumbnails ---------------------------------------------------------------------------------

std::size_t ClipFrameKeyHash::operator()(const ClipFrameKey& key) const noexcept {
    std::size_t h = std::hash<std::string>{}(key.url.native());
    h ^= std::hash<std::int64_t>{}(key.bucket) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
    h ^= std::hash<std::int64_t>{}(key.widthBucket) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
    return h;
}

ClipFrameKey clipFrameKey(const std::filesystem::path& url, double time, double cellWidth) {
    return ClipFrameKey{url, std::llround(std::max(time, 0.0) * 10), std::llround(cellWidth / 20)};
}

Size thumbnailMaximumSize(double cellWidth, double cellHeight) {
    return Size{std::max(2 * cellWidth, 40.0), std::max(2 * cellHeight, 28.0)};
}

std::optional<RgbaImage> generateThumbnail(const std::filesystem::path& url, double time, int maxWidth, int maxHeight) {
    constexpr double kTolerance = 0.25;
    // The request goes through the media timescale, as every time handed to the decoders does.
    const double at = static_cast<double>(toMediaTimescale(std::max(time, 0.0))) / kMediaTimescale;
    FrameDecoder decoder(url, DecodeOptions{maxWidth, maxHeight, 1});
    auto pending = decoder.readAt(at);
    if (!pending) return std::nullopt;
    // readAt answers the last frame at or before t; past the end that can be far off.
    if (std::abs(pending->time - at) > kTolerance && decoder.duration() > 0 && at < decoder.duration()) {
        return std::nullopt;
    }
    auto converted = decoder.convert(*pending);
    if (!converted) return std::nullopt;
    return converted->image;
}

ClipFrameCache::ClipFrameCache(Executor& main, Executor& background, ThumbnailGenerator generator)
    : main_(main), background_(background), generator_(std::move(generator)) {}

ClipFrameCache::~ClipFrameCache() = default;

std::shared_ptr<const RgbaImage> ClipFrameCache::frame(const std::filesystem::path& url, double time, double cellWidth,
                                                       double cellHeight) {
    auto key = clipFrameKey(url, time, cellWidth);
    if (auto found = cache_.find(key); found != cache_.end()) return found->second;
    if (inflight_.count(key) || !failed_.mayTry(key, main_.now())) return nullptr;
    inflight_[key] = true;
    const Size maximum = thumbnailMaximumSize(cellWidth, cellHeight);
    background_.post([this, main = &main_, alive = std::weak_ptr<bool>(alive_), key, time, generator = generator_,
                      width = static_cast<int>(std::ceil(maximum.width)),
                      height = static_cast<int>(std::ceil(maximum.height))] {
        std::shared_ptr<const RgbaImage> image;
        try {
            if (auto generated = generator(key.url, time, width, height)) {
                image = std::make_shared<const RgbaImage>(std::move(*generated));
            }
        } catch (const std::exception& error) {
            log::warning(log_area::kEditor, "no thumbnail for %s: %s", key.url.c_str(), error.what());
        }
        // Only the executor is touched here: the cache may be gone, which `alive` tells on the main loop.
        main->post([this, alive, key, image = std::move(image)] {
            if (!alive.lock()) return;
            inflight_.erase(key);
            if (!image) return failed_.record(key, main_.now());
            failed_.forget(key);
            cache_[key] = image;
            frameReady.emit(key);
        });
    });
    return nullptr;
}

std::vector<double> clipFrameStripTimes(double sourceStart, double sourceEnd, int cellCount) {
    std::vector<double> times;
    if (cellCount <= 0) return times;
    const double step = std::max(sourceEnd - sourceStart, 0.01) / cellCount;
    times.reserve(static_cast<std::size_t>(cellCount));
    for (int i = 0; i < cellCount; ++i) times.push_back(sourceStart + step * i);
    return times;
}

// --- Waveforms ----------------------------------------------------------------------------------

std::int64_t waveformSamplesPerPeak(double durationSeconds, int targetCount) {
    if (!std::isfinite(durationSeconds)) return 0;
    const auto total = static_cast<std::int64_t>(durationSeconds * kWaveformSampleRate);
    if (total <= 0) return 0;
    return std::max<std::int64_t>(total / std::max(targetCount, 1), 1);
}

WaveformPeakBuilder::WaveformPeakBuilder(std::int64_t samplesPerPeak)
    : samplesPerPeak_(std::max<std::int64_t>(samplesPerPeak, 1)) {}

void WaveformPeakBuilder::add(std::span<const float> samples) {
    std::size_t i = 0;
    while (i < samples.size()) {
        const auto take = std::min<std::size_t>(samples.size() - i, static_cast<std::size_t>(samplesPerPeak_ - inRun_));
        // The compiler vectorises this absolute maximum.
        float runMax = runMax_;
        for (std::size_t k = i; k < i + take; ++k) runMax = std::max(runMax, std::fabs(samples[k]));
        runMax_ = runMax;
        inRun_ += static_cast<std::int64_t>(take);
        i += take;
        if (inRun_ == samplesPerPeak_) {
            peaks_.push_back(std::min(runMax_, 1.0f));
            inRun_ = 0;
            runMax_ = 0;
        }
    }
}

std::vector<float> WaveformPeakBuilder::finish() {
    if (inRun_ > 0) peaks_.push_back(std::min(runMax_, 1.0f));
    inRun_ = 0;
    runMax_ = 0;
    return std::move(peaks_);
}

Waveform decodeWaveformPeaks(const std::filesystem::path& url, int targetCount) {
    auto reader = AudioStreamReader::open(url, kWaveformSampleRate, 1);
    if (!reader) return {};
    Waveform waveform;
    waveform.mediaDuration = reader->durationSeconds().value_or(0);
    const auto perPeak = waveformSamplesPerPeak(waveform.mediaDuration, targetCount);
    if (perPeak <= 0) return waveform;
    WaveformPeakBuilder builder(perPeak);
    std::vector<float> buffer;
    while (true) {
        buffer.clear();
        if (!reader->readMore(buffer)) break;
        builder.add(buffer);
    }
    waveform.peaks = builder.finish();
    return waveform;
}

WaveformCache::WaveformCache(Executor& main, Executor& background, WaveformDecoder decoder)
    : main_(main), background_(background), decoder_(std::move(decoder)) {}

WaveformCache::~WaveformCache() = default;

std::shared_ptr<const Waveform> WaveformCache::peaks(const std::filesystem::path& url, int targetCount) {
    const std::string key = url.native();
    if (auto found = memCache_.find(key); found != memCache_.end()) return found->second;
    if (!failed_.mayTry(key, main_.now()) || !loading_.insert(key).second) return nullptr;
    background_.post([this, main = &main_, alive = std::weak_ptr<bool>(alive_), url, targetCount, decoder = decoder_] {
        std::shared_ptr<const Waveform> peaks;
        try {
            peaks = std::make_shared<const Waveform>(decoder(url, targetCount));
        } catch (const std::exception& error) {
            log::warning(log_area::kEditor, "no waveform for %s: %s", url.c_str(), error.what());
        }
        main->post([this, alive, url, peaks = std::move(peaks)] {
            if (!alive.lock()) return;
            loading_.erase(url.native());
            if (!peaks) return failed_.record(url.native(), main_.now());
            failed_.forget(url.native());
            memCache_[url.native()] = peaks;
            peaksReady.emit(url);
        });
    });
    return nullptr;
}

PeakRange waveformPeakRange(std::size_t peakCount, double mediaDuration, double windowStart, double windowDuration) {
    if (!(mediaDuration > 0)) return {0, peakCount};
    const double n = static_cast<double>(peakCount);
    const double startFraction = std::clamp(windowStart / mediaDuration, 0.0, 1.0);
    const double endFraction = std::clamp((windowStart + windowDuration) / mediaDuration, startFraction, 1.0);
    return {static_cast<std::size_t>(std::floor(startFraction * n)),
            static_cast<std::size_t>(std::ceil(endFraction * n))};
}

std::vector<WaveformBar> layoutWaveformBars(std::span<const float> peaks, double width, double height) {
    constexpr double kMaxWidth = 4000, kBarWidth = 1.5, kPitch = 2.5, kMinHeight = 1.5, kRadius = 0.75;
    std::vector<WaveformBar> bars;
    const double drawn = std::clamp(width, 0.0, kMaxWidth);
    const auto count = static_cast<std::size_t>(std::floor(drawn / kPitch));
    if (peaks.empty() || count == 0) return bars;
    bars.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t index = std::min(peaks.size() - 1, i * peaks.size() / count);
        const double barHeight = std::max(static_cast<double>(peaks[index]) * height, kMinHeight);
        bars.push_back({static_cast<double>(i) * kPitch, (height - barHeight) / 2, kBarWidth, barHeight, kRadius});
    }
    return bars;
}

std::unique_ptr<Executor> makeUtilityQueue(const std::string& label) {
    auto queue = std::make_unique<SerialQueue>(label);
    queue->post([] {
        // A nice value on the queue's own thread (Linux keeps it per thread): utility priority.
        if (setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 10) != 0) {
            log::debug(log_area::kEditor, "the thumbnail queue keeps normal priority");
        }
    });
    return queue;
}

}  // namespace orvane
