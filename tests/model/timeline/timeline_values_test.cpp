#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <unordered_set>

#include "model/audio_clip.h"
#include "model/click_annotation.h"
#include "model/clip.h"
#include "model/clip_gap.h"
#include "model/cursor_interaction.h"
#include "model/cursor_style.h"
#include "model/cut_and_mute_regions.h"
#include "model/speed_ramp.h"
#include "model/video_overlay_clip.h"
#include "model/zoom_region.h"

namespace orvane {
namespace {

// Every single-field change must change equality, and (barring an astronomically unlikely
// collision) the hash, or a forgotten field would let an edit slip past caches and undo.
template <typename T>
void expectEveryFieldCounts(const T& base, const std::vector<std::function<void(T&)>>& changes) {
    std::unordered_set<std::size_t> hashes{std::hash<T>{}(base)};
    for (std::size_t i = 0; i < changes.size(); ++i) {
        T changed = base;
        changes[i](changed);
        EXPECT_NE(changed, base) << "change " << i;
        EXPECT_TRUE(hashes.insert(std::hash<T>{}(changed)).second) << "change " << i;
    }
}

TEST(TimelineValues, HashingCoversEveryFieldAndFoldsSignedZero) {
    const Clip clip{.sourceFile = "screen.mp4", .sourceEnd = 4};
    expectEveryFieldCounts<Clip>(clip, {[](Clip& c) { c.id = Uuid::random(); },
                                        [](Clip& c) { c.sourceFile = "other.mp4"; },
                                        [](Clip& c) { c.sourceStart = 1; }, [](Clip& c) { c.sourceEnd = 5; },
                                        [](Clip& c) { c.headOffset = 0.5; }});
    Clip negativeZero = clip;
    negativeZero.headOffset = -0.0;
    negativeZero.sourceStart = -0.0;
    EXPECT_EQ(negativeZero, clip);
    EXPECT_EQ(std::hash<Clip>{}(negativeZero), std::hash<Clip>{}(clip));

    VideoOverlayClip overlay;
    overlay.path = "/tmp/logo.png";
    expectEveryFieldCounts<VideoOverlayClip>(
        overlay, {[](auto& o) { o.id = Uuid::random(); }, [](auto& o) { o.startTime = 1; },
                  [](auto& o) { o.sourceStart = 1; }, [](auto& o) { o.duration = 1; },
                  [](auto& o) { o.path = "/tmp/other.png"; }, [](auto& o) { o.normalizedFrame.width = 0.5; },
                  [](auto& o) { o.cornerRadius = 8; }, [](auto& o) { o.volume = 0.5f; },
                  [](auto& o) { o.label = "Logo"; }, [](auto& o) { o.mediaKind = VideoOverlayClip::MediaKind::logo; },
                  [](auto& o) { o.mirrored = true; }, [](auto& o) { o.rotationRadians = 0.3; },
                  [](auto& o) {
                      o.sourceCropRect = Rect{0, 0, 1, 1};
                  },
                  [](auto& o) { o.borderStyle = BorderStyle::colored(1, 0, 0, 1); }, [](auto& o) { o.lane = 2; },
                  [](auto& o) { o.backgroundBlur = 0.5; }, [](auto& o) { o.autoFrameFaceCam = true; }});
    VideoOverlayClip signedZeros = overlay;
    signedZeros.volume = 1;
    signedZeros.cornerRadius = -0.0;
    signedZeros.rotationRadians = -0.0;
    signedZeros.normalizedFrame.x = -0.0;
    EXPECT_EQ(std::hash<VideoOverlayClip>{}(signedZeros), std::hash<VideoOverlayClip>{}(overlay));

    AudioClip audio;
    expectEveryFieldCounts<AudioClip>(
        audio, {[](auto& a) { a.path = "/tmp/a.m4a"; }, [](auto& a) { a.volume = 0.25f; },
                [](auto& a) { a.script = "Hello"; }, [](auto& a) { a.originalPath = "/tmp/raw.m4a"; }});
    AudioClip silentZero = audio;
    silentZero.volume = 0.0f;
    AudioClip silentNegativeZero = audio;
    silentNegativeZero.volume = -0.0f;
    EXPECT_EQ(std::hash<AudioClip>{}(silentZero), std::hash<AudioClip>{}(silentNegativeZero));

    ClickAnnotation annotation;
    expectEveryFieldCounts<ClickAnnotation>(
        annotation, {[](auto& a) { a.animationStyle = CursorClickAnimationStyle::ripple; },
                     [](auto& a) { a.clickSoundEnabled = false; }, [](auto& a) { a.color = AnnotationColor::red; }});
    CursorStyleOverride override;
    expectEveryFieldCounts<CursorStyleOverride>(override, {[](auto& o) { o.ringStyleName = "red"; }});

    MuteRegion mute;
    MuteRegion muteNegativeZero = mute;
    muteNegativeZero.start = -0.0;
    EXPECT_EQ(std::hash<MuteRegion>{}(mute), std::hash<MuteRegion>{}(muteNegativeZero));
    CutRegion cut;
    cut.id = mute.id;
    cut.end = 1;
    EXPECT_NE(std::hash<CutRegion>{}(cut), std::hash<CutRegion>{}(CutRegion{cut.id, 0, 0}));
}

TEST(TimelineValues, BorderStyleColourBelongsOnlyToTheColoredCase) {
    EXPECT_FALSE(BorderStyle::thinWhite().color());
    EXPECT_FALSE(BorderStyle::plain(BorderStyle::Case::colored));
    EXPECT_EQ(BorderStyle::plain(BorderStyle::Case::glowRing), BorderStyle::glowRing());
    const auto red = BorderStyle::colored(1, 0, 0, 1);
    ASSERT_TRUE(red.color());
    EXPECT_EQ(*red.color(), (BorderStyle::Color{1, 0, 0, 1}));
    EXPECT_NE(red, BorderStyle::colored(1, 0, 0, 0.5));
    EXPECT_NE(std::hash<BorderStyle>{}(red), std::hash<BorderStyle>{}(BorderStyle::colored(0, 1, 0, 1)));
    EXPECT_NE(std::hash<BorderStyle>{}(BorderStyle::thinWhite()), std::hash<BorderStyle>{}(BorderStyle::thickWhite()));
}

TEST(TimelineValues, OverlayCreationClampsBackgroundBlur) {
    VideoOverlayClip fields;
    fields.label = "Face";
    fields.backgroundBlur = 1.7;
    const auto high = makeVideoOverlayClip(fields);
    EXPECT_EQ(high.backgroundBlur, 1);
    fields.backgroundBlur = 1;
    EXPECT_EQ(high, fields);  // everything else, id included, is kept
    for (const auto& [given, kept] : {std::pair{-0.2, 0.0}, {0.35, 0.35}, {std::nan(""), 0.0}}) {
        fields.backgroundBlur = given;
        EXPECT_EQ(makeVideoOverlayClip(fields).backgroundBlur, kept) << given;
    }
}

TEST(TimelineValues, GapsBeforeClipsAreKeptToTenMinutes) {
    std::vector<Clip> clips(5);
    clips[0].headOffset = 2.5;
    clips[1].headOffset = 24.0 * 60 * 60;
    clips[2].headOffset = -3;
    clips[3].headOffset = std::numeric_limits<double>::quiet_NaN();
    clips[4].headOffset = kMaximumClipGap;
    EXPECT_EQ(keepClipGapsWithin(clips), 3u);
    EXPECT_EQ(clips[0].headOffset, 2.5);
    EXPECT_EQ(clips[1].headOffset, 600);
    EXPECT_EQ(clips[2].headOffset, 0);
    EXPECT_EQ(clips[3].headOffset, 0);
    EXPECT_EQ(clips[4].headOffset, 600) << "ten minutes exactly is a gap the user may keep";
    EXPECT_EQ(keepClipGapsWithin(clips), 0u);
}

TEST(CursorRingStyles, NamesLookUpCaseInsensitivelyAndRoundTrip) {
    const auto purple = cursorRingStyleNamed("PURPLE");
    ASSERT_TRUE(purple);
    EXPECT_EQ(*purple, (CursorRingStyle{0.62, 0.42, 0.92, 1, 30}));
    EXPECT_EQ(cursorRingStyleNamed("Red"), cursorRingStyleNamed("red"));
    EXPECT_EQ(*cursorRingStyleNamed("blue"), (CursorRingStyle{0.28, 0.62, 0.96, 1, 30}));
    EXPECT_FALSE(cursorRingStyleNamed("teal"));
    EXPECT_FALSE(cursorRingStyleNamed(""));
    EXPECT_FALSE(cursorRingStyleNamed(std::nullopt));

    for (auto name : kCursorRingStyleNames) {
        const auto style = cursorRingStyleNamed(name);
        ASSERT_TRUE(style) << name;
        EXPECT_EQ(cursorRingStyleName(*style), name);
    }
    // Anything that is not exactly a preset reads back as amber.
    auto biggerRed = *cursorRingStyleNamed("red");
    biggerRed.size = 40;
    EXPECT_EQ(cursorRingStyleName(biggerRed), "amber");
    auto fadedWhite = *cursorRingStyleNamed("white");
    fadedWhite.opacity = 0.5;
    EXPECT_EQ(cursorRingStyleName(fadedWhite), "amber");
}

TEST(CursorStyleOverrides, CreationNormalisesTheIconSymbol) {
    const auto scope = makeCursorStyleOverride(1, 2, CursorVisualStyle::icon, "  scope \n", "Blue");
    EXPECT_EQ(scope, (CursorStyleOverride{scope.id, 1, 2, CursorVisualStyle::icon, "scope", "Blue"}));
    EXPECT_EQ(makeCursorStyleOverride(0, 1, CursorVisualStyle::icon, "\thand.tap.fill").iconSymbol, "hand.tap.fill");
    for (const char* other : {"Scope", "star", "", "sparkle.fill", "hand.tap"}) {
        EXPECT_EQ(makeCursorStyleOverride(0, 1, CursorVisualStyle::icon, other).iconSymbol, "sparkle") << other;
    }
    EXPECT_NE(scope.id, makeCursorStyleOverride(1, 2, CursorVisualStyle::icon, "scope", "Blue").id);
}

// The stored strings are the file format: each enumeration must answer exactly these, in order.
template <typename E, std::size_t N, typename Parse>
std::vector<std::string> rawValuesRoundTripping(const std::array<E, N>& all, Parse parse) {
    std::vector<std::string> names;
    for (auto value : all) {
        names.emplace_back(rawValue(value));
        EXPECT_EQ(parse(rawValue(value)), value) << names.back();
    }
    return names;
}

TEST(RawValues, EveryEnumerationRoundTripsInItsStoredOrder) {
    using Names = std::vector<std::string>;
    EXPECT_EQ(rawValuesRoundTripping(kAllCursorVisualStyles, cursorVisualStyleFromRaw),
              (Names{"pointer", "ring", "largePointer", "touch", "icon"}));
    EXPECT_EQ(rawValuesRoundTripping(kAllCursorClickAnimationStyles, cursorClickAnimationStyleFromRaw),
              (Names{"ripple", "pulse", "brush", "bounce", "none"}));
    EXPECT_EQ(rawValuesRoundTripping(kAllAnnotationColors, annotationColorFromRaw),
              (Names{"accent", "red", "green", "yellow", "white"}));
    EXPECT_EQ(rawValuesRoundTripping(kAllCursorInteractionKinds, cursorInteractionKindFromRaw),
              (Names{"tap", "navigationTap", "longPress", "swipe", "typing"}));
    EXPECT_EQ(rawValuesRoundTripping(kAllMediaKinds, mediaKindFromRaw), (Names{"video", "image", "logo"}));
    for (auto kind : kAllBorderStyleCases) EXPECT_EQ(borderStyleCaseFromName(caseName(kind)), kind);

    // Raw values are exact: no case folding, no trimming.
    EXPECT_FALSE(cursorVisualStyleFromRaw("Pointer"));
    EXPECT_FALSE(annotationColorFromRaw(" red"));
    EXPECT_FALSE(cursorInteractionKindFromRaw("navigation_tap"));
}

}  // namespace
}  // namespace orvane
