#include <gtest/gtest.h>

#include "render/export/make_profile.h"

namespace orvane {
namespace {

ExportSettings withAspect(ExportAspectRatio aspect) {
    ExportSettings settings;
    settings.aspect = aspect;
    return settings;
}

std::pair<int, int> sizeOf(const OutputProfile& profile) { return {profile.width, profile.height}; }

TEST(MakeProfile, AspectReshapesOnlyThePresetFrame) {
    EXPECT_EQ(sizeOf(makeProfile(withAspect(ExportAspectRatio::square), ExportPreset::fourK, 10, std::nullopt)),
              std::make_pair(2160, 2160));
    EXPECT_EQ(sizeOf(makeProfile(withAspect(ExportAspectRatio::square), ExportPreset::web1080, 10, std::nullopt)),
              std::make_pair(1080, 1080));
    EXPECT_EQ(sizeOf(makeProfile(withAspect(ExportAspectRatio::vertical), ExportPreset::web1080, 10, std::nullopt)),
              std::make_pair(1080, 1920));
    // The vertical preset's long side is its height; 9 x 1920 / 16 is whole.
    EXPECT_EQ(sizeOf(makeProfile(withAspect(ExportAspectRatio::widescreen), ExportPreset::vertical, 10, std::nullopt)),
              std::make_pair(1920, 1080));
    // 9 x 1080 / 16 = 607.5 truncates to the even 606.
    EXPECT_EQ(sizeOf(makeProfile(withAspect(ExportAspectRatio::widescreen), ExportPreset::square, 10, std::nullopt)),
              std::make_pair(1080, 606));
    // A recording's own size is kept whatever shape was asked for, unless the preset size is forced.
    const Size source{1000, 700};
    EXPECT_EQ(sizeOf(makeProfile(withAspect(ExportAspectRatio::square), ExportPreset::web1080, 10, source)),
              std::make_pair(1000, 700));
    EXPECT_EQ(sizeOf(makeProfile(withAspect(ExportAspectRatio::square), ExportPreset::web1080, 10, source,
                                 {.usePresetSize = true})),
              std::make_pair(1080, 1080));
    // Sizes that are not positive fall back to the preset's frame.
    EXPECT_EQ(sizeOf(makeProfile({}, ExportPreset::gif, 10, Size{0, 500})), std::make_pair(1280, 720));
}

TEST(MakeProfile, LongEdgeLimitAndEvenSides) {
    ExportSettings settings;
    settings.maxLongEdge = 1280;
    EXPECT_EQ(sizeOf(makeProfile(settings, ExportPreset::web1080, 10, std::nullopt)), std::make_pair(1280, 720));
    // A limit at or above the long side, or not positive, changes nothing.
    settings.maxLongEdge = 1920;
    EXPECT_EQ(sizeOf(makeProfile(settings, ExportPreset::web1080, 10, std::nullopt)), std::make_pair(1920, 1080));
    settings.maxLongEdge = -5;
    EXPECT_EQ(sizeOf(makeProfile(settings, ExportPreset::web1080, 10, std::nullopt)), std::make_pair(1920, 1080));
    // The limit scales the short side of a vertical frame too.
    settings.maxLongEdge = 1000;
    EXPECT_EQ(sizeOf(makeProfile(withAspect(ExportAspectRatio::vertical), ExportPreset::vertical, 10, std::nullopt)),
              std::make_pair(1080, 1920));
    settings.aspect = ExportAspectRatio::vertical;
    EXPECT_EQ(sizeOf(makeProfile(settings, ExportPreset::vertical, 10, std::nullopt)), std::make_pair(562, 1000));

    EXPECT_EQ(sizeOf(makeProfile({}, ExportPreset::web1080, 10, Size{1001, 721})), std::make_pair(1000, 720));
    EXPECT_EQ(sizeOf(makeProfile({}, ExportPreset::web1080, 10, Size{1, 3.9})), std::make_pair(2, 2));
}

TEST(MakeProfile, FrameRateAndBitRate) {
    ExportSettings compact;
    compact.quality = ExportQuality::compact;
    compact.fps = ExportFPSOption::fps24;
    compact.maxLongEdge = 1280;
    const auto profile = makeProfile(compact, ExportPreset::web1080, 30, std::nullopt);
    EXPECT_EQ(profile.fps, 24);
    EXPECT_EQ(profile.bitrate, 896000);
    EXPECT_EQ(profile.quality, ExportQuality::compact);
    EXPECT_EQ(displayText(profile), "1280x720 \u00b7 24 fps \u00b7 Compact");

    // Automatic rate is the preset's; full size at full rate gets the whole multiplier.
    const auto vertical = makeProfile({}, ExportPreset::vertical, 30, std::nullopt);
    EXPECT_EQ(vertical.fps, 30);
    EXPECT_EQ(vertical.bitrate, 8'000'000);
    ExportSettings maximum;
    maximum.quality = ExportQuality::maximum;
    maximum.fps = ExportFPSOption::fps60;
    EXPECT_EQ(makeProfile(maximum, ExportPreset::fourK, 30, std::nullopt).bitrate, 55'000'000);
    // A higher rate than the preset's cannot push the factor past 1.
    EXPECT_EQ(makeProfile(maximum, ExportPreset::square, 30, std::nullopt).bitrate, 14'000'000);
    // A tiny frame is held at the 0.08 factor, and then at the quality's floor.
    EXPECT_EQ(makeProfile(maximum, ExportPreset::fourK, 30, Size{640, 360}).bitrate, 4'400'000);
    EXPECT_EQ(makeProfile(maximum, ExportPreset::web1080, 30, Size{320, 180}).bitrate, 1'500'000);
}

TEST(MakeProfile, TargetSizeCapsTheBitRate) {
    ExportSettings settings;
    settings.targetBytes = 10'000'000;
    // 10 MB over 60 s: 10e6 x 8 x 0.78 / 60 = 1040000.
    EXPECT_EQ(makeProfile(settings, ExportPreset::web1080, 60, std::nullopt).bitrate, 1'040'000);
    // A cap above the chosen rate leaves it alone.
    EXPECT_EQ(makeProfile(settings, ExportPreset::web1080, 1, std::nullopt).bitrate, 9'000'000);
    settings.targetBytes = 100'000;
    EXPECT_EQ(makeProfile(settings, ExportPreset::web1080, 60, std::nullopt).bitrate, kMinimumTargetBitrate);
    // Without a length, or when the caller exempts the export, the target does nothing.
    EXPECT_EQ(makeProfile(settings, ExportPreset::web1080, 0, std::nullopt).bitrate, 9'000'000);
    EXPECT_EQ(makeProfile(settings, ExportPreset::web1080, 60, std::nullopt, {.ignoreTargetSize = true}).bitrate,
              9'000'000);
}

}  // namespace
}  // namespace orvane
