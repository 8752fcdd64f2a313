#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "export/make_profile.h"

namespace orvane {
namespace {

std::pair<int, int> sizeOf(const OutputProfile& profile) { return {profile.width, profile.height}; }

TEST(MakeProfile, AspectReshapesOnlyThePresetFrameWithinTheLongEdgeOnEvenSides) {
    using A = ExportAspectRatio;
    using P = ExportPreset;
    struct Case {
        const char* why;
        A aspect;
        P preset;
        std::optional<Size> source;
        std::optional<double> maxLongEdge;
        bool usePresetSize;
        std::pair<int, int> size;
    };
    for (const Case& c : std::vector<Case>{
             {"square 4K", A::square, P::fourK, {}, {}, false, {2160, 2160}},
             {"square", A::square, P::web1080, {}, {}, false, {1080, 1080}},
             {"vertical", A::vertical, P::web1080, {}, {}, false, {1080, 1920}},
             {"vertical preset", A::vertical, P::vertical, {}, {}, false, {1080, 1920}},
             {"the vertical preset's long side is its height", A::widescreen, P::vertical, {}, {}, false, {1920, 1080}},
             {"9 x 1080 / 16 = 607.5 truncates to the even 606", A::widescreen, P::square, {}, {}, false, {1080, 606}},
             {"a recording's own size is kept", A::square, P::web1080, Size{1000, 700}, {}, false, {1000, 700}},
             {"unless the preset size is forced", A::square, P::web1080, Size{1000, 700}, {}, true, {1080, 1080}},
             {"sizes that are not positive fall back", A::automatic, P::gif, Size{0, 500}, {}, false, {1280, 720}},
             {"long edge limit", A::automatic, P::web1080, {}, 1280, false, {1280, 720}},
             {"a limit at the long side", A::automatic, P::web1080, {}, 1920, false, {1920, 1080}},
             {"a limit that is not positive", A::automatic, P::web1080, {}, -5, false, {1920, 1080}},
             {"a limit scales a vertical frame's short side", A::vertical, P::vertical, {}, 1000, false, {562, 1000}},
             {"odd sides", A::automatic, P::web1080, Size{1001, 721}, {}, false, {1000, 720}},
             {"tiny sides", A::automatic, P::web1080, Size{1, 3.9}, {}, false, {2, 2}},
         }) {
        ExportSettings settings;
        settings.aspect = c.aspect;
        settings.maxLongEdge = c.maxLongEdge;
        EXPECT_EQ(sizeOf(makeProfile(settings, c.preset, 10, c.source, {.usePresetSize = c.usePresetSize})), c.size)
            << c.why;
    }
}

TEST(MakeProfile, FrameRateAndBitRateWithinTheTargetSize) {
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
