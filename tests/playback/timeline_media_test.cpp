#include "playback/timeline_media.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "base/manual_executor.h"
#include "media/sample_video.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

TEST(ClipFrameKey, NearbyRequestsShareAKey) {
    EXPECT_EQ(clipFrameKey("a.mp4", 1.04, 100).bucket, 10);
    EXPECT_EQ(clipFrameKey("a.mp4", 0.96, 100), clipFrameKey("a.mp4", 1.04, 100));
    EXPECT_EQ(clipFrameKey("a.mp4", -3, 100).bucket, 0);
    EXPECT_EQ(clipFrameKey("a.mp4", 1, 49).widthBucket, 2);
    EXPECT_EQ(clipFrameKey("a.mp4", 1, 50).widthBucket, 3);
    EXPECT_NE(clipFrameKey("a.mp4", 1, 50), clipFrameKey("b.mp4", 1, 50));
    EXPECT_EQ(thumbnailMaximumSize(10, 10), (Size{40, 28}));
    EXPECT_EQ(thumbnailMaximumSize(64, 36), (Size{128, 72}));

    const auto times = clipFrameStripTimes(2, 6, 4);
    EXPECT_EQ(times, (std::vector<double>{2, 3, 4, 5}));
    // A zero-length strip still steps forward.
    EXPECT_DOUBLE_EQ(clipFrameStripTimes(3, 3, 2).at(1), 3.005);
}

TEST(ClipFrameCache, GeneratesEachKeyOnceAndRetriesAfterAFailure) {
    ManualExecutor main;
    ManualExecutor background;
    int generated = 0;
    bool fail = true;
    std::vector<std::pair<int, int>> sizes;
    ClipFrameCache cache(main, background, [&](const auto&, double, int w, int h) -> std::optional<RgbaImage> {
        ++generated;
        sizes.emplace_back(w, h);
        if (fail) return std::nullopt;
        return RgbaImage{w, h, w * 4, std::vector<std::uint8_t>(static_cast<std::size_t>(w * h * 4))};
    });
    int ready = 0;
    auto subscription = cache.frameReady.subscribe([&](const ClipFrameKey&) { ++ready; });

    EXPECT_EQ(cache.frame("a.mp4", 1.0, 60, 34), nullptr);
    EXPECT_EQ(cache.frame("a.mp4", 1.02, 55, 34), nullptr);  // same key, in flight
    background.runPending();
    main.runPending();
    EXPECT_EQ(generated, 1);
    EXPECT_EQ(sizes[0], (std::pair{120, 68}));
    EXPECT_EQ(ready, 0);
    EXPECT_EQ(cache.cachedCount(), 0u);

    fail = false;
    // Repaints right after a failure do not decode the file again; a little later they do.
    EXPECT_EQ(cache.frame("a.mp4", 1.0, 60, 34), nullptr);
    EXPECT_EQ(background.pendingCount(), 0u);
    main.advance(FailedKeys<ClipFrameKey, ClipFrameKeyHash>::kRetryAfter);
    EXPECT_EQ(cache.frame("a.mp4", 1.0, 60, 34), nullptr);
    background.runPending();
    EXPECT_EQ(cache.frame("a.mp4", 1.0, 60, 34), nullptr) << "not on the main loop yet";
    main.runPending();
    EXPECT_EQ(ready, 1);
    auto image = cache.frame("a.mp4", 0.98, 61, 34);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width, 120);
    EXPECT_EQ(generated, 2);
    EXPECT_EQ(background.pendingCount(), 0u);

    // A result arriving after the cache is gone is dropped, not written into freed memory.
    {
        ClipFrameCache shortLived(main, background, [](const auto&, double, int, int) {
            return std::optional<RgbaImage>(RgbaImage{1, 1, 4, {0, 0, 0, 0}});
        });
        shortLived.frame("b.mp4", 0, 20, 20);
        background.runPending();
    }
    main.runPending();
}

TEST(WaveformPeaks, RunsCarryAcrossBuffersAndALastPartialRunCounts) {
    // One second at 22050 Hz wanting 100 peaks: 220 samples each, 50 left over.
    const auto perPeak = waveformSamplesPerPeak(1.0, 100);
    ASSERT_EQ(perPeak, 220);
    std::vector<float> signal(22050);
    for (std::size_t i = 0; i < signal.size(); ++i) signal[i] = (i % 2 ? -1.0f : 1.0f) * static_cast<float>(i) / 22050;
    signal[300] = -1.5f;  // beyond full scale: capped
    WaveformPeakBuilder builder(perPeak);
    // Buffers that never line up with the runs.
    for (std::size_t offset = 0; offset < signal.size(); offset += 333) {
        builder.add(std::span<const float>(signal).subspan(offset, std::min<std::size_t>(333, signal.size() - offset)));
    }
    const auto peaks = builder.finish();
    ASSERT_EQ(peaks.size(), 101u);
    EXPECT_FLOAT_EQ(peaks[0], 219.0f / 22050);
    EXPECT_FLOAT_EQ(peaks[1], 1.0f);
    EXPECT_FLOAT_EQ(peaks[2], 659.0f / 22050);
    EXPECT_FLOAT_EQ(peaks[100], 22049.0f / 22050);  // the 50 left over

    WaveformPeakBuilder silent(perPeak);
    silent.add(std::vector<float>(22050, 0.0f));
    const auto quiet = silent.finish();
    ASSERT_EQ(quiet.size(), 101u);
    EXPECT_TRUE(std::all_of(quiet.begin(), quiet.end(), [](float p) { return p == 0; }));

    EXPECT_EQ(waveformSamplesPerPeak(0, 100), 0);
    EXPECT_EQ(waveformSamplesPerPeak(1.0, 0), 22050);
    EXPECT_EQ(waveformSamplesPerPeak(0.001, 1000), 1);  // never below one sample
}

TEST(WaveformPeaks, ViewsShowTheirWindowAndClampTheirWidth) {
    EXPECT_EQ(waveformPeakRange(100, 10, 2.5, 5), (PeakRange{25, 75}));
    EXPECT_EQ(waveformPeakRange(100, 10, -4, 2), (PeakRange{0, 0}));
    EXPECT_EQ(waveformPeakRange(100, 10, 9, 5), (PeakRange{90, 100}));
    EXPECT_EQ(waveformPeakRange(3, 10, 1, 1), (PeakRange{0, 1}));  // floor and ceil

    const std::vector<float> silent(500, 0.0f);
    const auto bars = layoutWaveformBars(silent, 6000, 40);
    ASSERT_EQ(bars.size(), 1600u) << "drawn as if 4000 points wide";
    EXPECT_DOUBLE_EQ(bars[0].height, 1.5);
    EXPECT_DOUBLE_EQ(bars[0].y, 19.25);
    EXPECT_DOUBLE_EQ(bars[1].x, 2.5);
    EXPECT_DOUBLE_EQ(bars[1].width, 1.5);
    EXPECT_DOUBLE_EQ(bars[1].cornerRadius, 0.75);

    const std::vector<float> loud{0.5f, 1.0f};
    const auto two = layoutWaveformBars(loud, 10, 40);
    ASSERT_EQ(two.size(), 4u);
    EXPECT_DOUBLE_EQ(two[0].height, 20);
    EXPECT_DOUBLE_EQ(two[3].height, 40);
    EXPECT_DOUBLE_EQ(two[3].y, 0);
}

TEST(WaveformCache, DecodesEachFileOnceAndDropsFailures) {
    ManualExecutor main;
    ManualExecutor background;
    int decoded = 0;
    WaveformCache cache(main, background, [&](const std::filesystem::path& url, int count) {
        ++decoded;
        if (url == "broken.m4a") throw std::runtime_error("unreadable");
        return Waveform{std::vector<float>(static_cast<std::size_t>(count), 0.5f), 3.0};
    });
    std::vector<std::filesystem::path> ready;
    auto subscription = cache.peaksReady.subscribe([&](const std::filesystem::path& url) { ready.push_back(url); });
    EXPECT_EQ(cache.peaks("voice.m4a", 10), nullptr);
    EXPECT_EQ(cache.peaks("voice.m4a", 20), nullptr);
    EXPECT_EQ(cache.peaks("broken.m4a", 10), nullptr);
    background.runPending();
    main.runPending();
    EXPECT_EQ(decoded, 2);
    EXPECT_EQ(ready, (std::vector<std::filesystem::path>{"voice.m4a"}));
    const auto peaks = cache.peaks("voice.m4a", 50);
    ASSERT_NE(peaks, nullptr);
    EXPECT_EQ(peaks->peaks.size(), 10u) << "the first request's count is kept";
    EXPECT_EQ(peaks->mediaDuration, 3.0);
    EXPECT_EQ(cache.peaks("broken.m4a", 10), nullptr);
    background.runPending();
    EXPECT_EQ(decoded, 2) << "not at every repaint";
    main.advance(FailedKeys<std::string>::kRetryAfter);
    EXPECT_EQ(cache.peaks("broken.m4a", 10), nullptr);
    background.runPending();
    EXPECT_EQ(decoded, 3) << "but a little later";
}

TEST(TimelineMedia, RealFilesGiveThumbnailsAndTheTonesWaveform) {
    testing::TempDir folder;
    SampleVideoLayout layout;
    layout.seconds = 1;
    writeSampleVideo(folder / "clip.mp4", layout);

    const auto image = generateThumbnail(folder / "clip.mp4", 0.5, 120, 68);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, 120);
    EXPECT_LE(image->height, 68);
    EXPECT_THROW(generateThumbnail(folder / "missing.mp4", 0.5, 120, 68), std::runtime_error);

    const auto waveform = decodeWaveformPeaks(folder / "clip.mp4", 100);
    EXPECT_NEAR(waveform.mediaDuration, 1.0, 0.05);
    const auto& peaks = waveform.peaks;
    // The file's own length decides the count; the tone is steady once the encoder settles.
    EXPECT_GE(peaks.size(), 100u);
    EXPECT_LE(peaks.size(), 103u);
    for (std::size_t i = 5; i + 5 < peaks.size(); ++i) {
        EXPECT_GT(peaks[i], 0.1f) << i;
        EXPECT_LE(peaks[i], 1.0f) << i;
    }
}

}  // namespace
}  // namespace orvane
