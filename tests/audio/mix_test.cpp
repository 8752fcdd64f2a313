#include <gtest/gtest.h>

#include <cmath>

extern "C" {
#include <libavcodec/codec_id.h>
}

#include "audio/aac_file.h"
#include "audio/audio_file_reader.h"
#include "audio/audio_mix_exporter.h"
#include "audio/mix_plan.h"
#include "audio/mix_render.h"
#include "audio/tempo_change.h"
#include "audio_test_signals.h"
#include "mix_fixtures.h"
#include "model/time_mapping.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

using ::orvane::testing::TempDir;
using ::orvane::testing::windowRms;

// 10 ms windows of the mix between two times.
std::vector<double> levelsBetween(const std::vector<double>& rms, double from, double to) {
    return std::vector<double>(rms.begin() + static_cast<std::ptrdiff_t>(std::lround(from * 100)),
                               rms.begin() + static_cast<std::ptrdiff_t>(std::lround(to * 100)));
}

double loudest(const std::vector<double>& levels) { return *std::max_element(levels.begin(), levels.end()); }
double quietest(const std::vector<double>& levels) { return *std::min_element(levels.begin(), levels.end()); }

TEST(AudioMixExporterTest, MutesSilenceTheRecordingAndVoiceClipsLandOnTheirTime) {
    TempDir dir;
    auto snapshot = testing::toneRecordingSnapshot(dir.path(), 3.0);
    const auto rendered = testing::writeRenderedVideo(dir.path(), 3.0);
    snapshot.edit.audio.muteRegions = {MuteRegion{Uuid::random(), 0.8, 1.3}, MuteRegion{Uuid::random(), 2.0, 3.0}};
    writeAacFile(dir / "voice.m4a", testing::sineBuffer(1000, 0.3, 2.0, 44100, 1), 128000);
    AudioClip voice;
    voice.path = dir / "voice.m4a";
    voice.startTime = 2.5;
    voice.sourceStart = 0.5;
    voice.duration = 0.4;
    snapshot.edit.audio.voiceClips = {voice};

    const auto output = dir / "composition-mixed.mp4";
    AudioMixExporter{}.mix(rendered, snapshot, output);

    const auto streams = testing::summariseStreams(output);
    EXPECT_EQ(streams.videoPackets, testing::summariseStreams(rendered).videoPackets);
    EXPECT_EQ(streams.audioCodec, AV_CODEC_ID_AAC);
    EXPECT_EQ(streams.audioRate, 48000);
    EXPECT_EQ(streams.audioChannels, 2);

    const auto mixed = readAudioRange(output, 0, 3.0, 48000, 2);
    ASSERT_TRUE(mixed);
    const auto rms = windowRms(*mixed, 0.01);
    ASSERT_EQ(rms.size(), 300u);
    // Allow the AAC frames around each edge (about 20 ms) to smear.
    EXPECT_GT(quietest(levelsBetween(rms, 0.05, 0.77)), 0.1);
    EXPECT_LT(loudest(levelsBetween(rms, 0.83, 1.27)), 1e-3);
    EXPECT_GT(quietest(levelsBetween(rms, 1.33, 1.97)), 0.1);
    EXPECT_LT(loudest(levelsBetween(rms, 2.03, 2.47)), 1e-3);
    EXPECT_GT(quietest(levelsBetween(rms, 2.53, 2.87)), 0.08);
    EXPECT_LT(loudest(levelsBetween(rms, 2.93, 3.0)), 1e-3);
    // The voice comes in at 2.5 s to within a window or two.
    std::size_t onset = 203;
    while (onset < rms.size() && rms[onset] < 0.05) ++onset;
    EXPECT_NEAR(static_cast<double>(onset) / 100, 2.5, 0.02);
}

TEST(AudioMixExporterTest, BadInputsFailWithoutLeavingAnOutput) {
    TempDir dir;
    auto snapshot = testing::toneRecordingSnapshot(dir.path(), 1.0);
    const auto rendered = testing::writeRenderedVideo(dir.path(), 1.0);
    const auto output = dir / "composition-mixed.mp4";

    EXPECT_THROW(AudioMixExporter{}.mix(dir / "missing.mp4", snapshot, output), AudioMixError);
    AudioClip voice;
    voice.path = dir / "gone.m4a";
    voice.duration = 0.5;
    auto withMissingVoice = snapshot;
    withMissingVoice.edit.audio.voiceClips = {voice};
    EXPECT_THROW(AudioMixExporter{}.mix(rendered, withMissingVoice, output), AudioMixError);
    std::stop_source stop;
    stop.request_stop();
    EXPECT_THROW(AudioMixExporter{}.mix(rendered, snapshot, output, stop.get_token()), AudioMixError);
    EXPECT_FALSE(std::filesystem::exists(output));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);  // the two inputs

    // A recording whose clips hold no audio mixes to silence rather than failing.
    auto silentSource = snapshot;
    silentSource.edit.timeline.clips[0].sourceFile = rendered.filename().string();
    AudioMixExporter{}.mix(rendered, silentSource, output);
    EXPECT_EQ(testing::summariseStreams(output).audioChannels, 2);
}

TEST(MixRenderTest, SpeedRampsShortenTheRecordingWithoutChangingItsPitch) {
    TempDir dir;
    auto snapshot = testing::toneRecordingSnapshot(dir.path(), 4.0);
    snapshot.edit.timeline.speedRamps = {SpeedRamp{Uuid::random(), 1.0, 3.0, 2.0}};
    const auto mix = renderMixAudio(snapshot);
    EXPECT_EQ(mix.frames(), 3u * 48000);
    // Inside the ramp (output 1...2 s) the 440 Hz tone is still 440 Hz, not 880 Hz.
    EXPECT_NEAR(testing::zeroCrossingFrequency(mix, 1.1, 1.9), 440, 5);
    EXPECT_NEAR(testing::zeroCrossingFrequency(mix, 2.1, 2.9), 440, 5);
    EXPECT_GT(quietest(levelsBetween(windowRms(mix, 0.01), 0.05, 2.95)), 0.1);

    // Slower than half speed needs chained tempo stages.
    const auto tone = testing::sineBuffer(440, 0.25, 0.5, 48000, 2);
    const auto slow = changeTempo(tone, 0.25, 96000);
    EXPECT_EQ(slow.frames(), 96000u);
    EXPECT_NEAR(testing::zeroCrossingFrequency(slow, 0.2, 1.8), 440, 5);
}

TEST(MixRenderTest, ClickSoundsFollowTheProjectAndAnnotationSettings) {
    SceneRenderSnapshot snapshot;
    snapshot.edit.timeline.trimEnd = 3.0;
    snapshot.edit.cursor.cursorClickSounds = true;
    snapshot.edit.cursor.cursorClickSoundVolume = 0.5f;
    ClickAnnotation heard, disabled, optedOut;
    heard.time = 0.5;
    disabled.time = 1.0;
    disabled.enabled = false;
    optedOut.time = 1.5;
    optedOut.clickSoundEnabled = false;
    snapshot.edit.cursor.annotations = {heard, disabled, optedOut};
    const auto rms = windowRms(renderMixAudio(snapshot), 0.01);
    EXPECT_GT(rms[50], 0.01);
    EXPECT_EQ(loudest(levelsBetween(rms, 0.53, 3.0)), 0.0);
    EXPECT_EQ(loudest(levelsBetween(rms, 0.0, 0.5)), 0.0);

    // With the project setting off, only an annotation that asks for a sound gets one; times move
    // with the ramps.
    snapshot.edit.cursor.cursorClickSounds = false;
    snapshot.edit.cursor.annotations[2].clickSoundEnabled = true;
    snapshot.edit.timeline.speedRamps = {SpeedRamp{Uuid::random(), 0.0, 1.0, 2.0}};
    EXPECT_EQ(clickSoundTimes(snapshot), std::vector<double>{1.0});
    snapshot.edit.cursor.cursorClickSoundVolume = 0;
    EXPECT_EQ(loudest(windowRms(renderMixAudio(snapshot), 0.01)), 0.0);
}

TEST(MixPlanTest, RecordingIsCutAtMutesRampsAndTheTrimWindow) {
    SceneRenderSnapshot s;
    s.clipBaseDirectory = "/rec";
    s.edit.timeline.clips = {Clip{Uuid::random(), "screen.mp4", 0, 5, 0},
                             Clip{Uuid::random(), "second.mp4", 10, 12, 1}};  // the second lies at composition 6...8
    s.edit.timeline.trimStart = 1;
    s.edit.timeline.trimEnd = 7.5;
    s.edit.audio.originalAudioVolume = 0.5f;
    s.edit.audio.muteRegions = {MuteRegion{Uuid::random(), 2, 3}};
    s.edit.timeline.speedRamps = {SpeedRamp{Uuid::random(), 4, 6.5, 0.0}};  // speed floor 0.1
    const auto pieces = planMix(s);
    ASSERT_EQ(pieces.size(), 5u);
    auto expect = [](const MixPiece& p, const char* file, double sourceStart, double duration, double speed,
                     double outputStart, bool fadeIn, bool fadeOut) {
        EXPECT_EQ(p.file, std::filesystem::path("/rec") / file);
        EXPECT_DOUBLE_EQ(p.sourceStart, sourceStart);
        EXPECT_DOUBLE_EQ(p.sourceDuration, duration);
        EXPECT_DOUBLE_EQ(p.speed, speed);
        EXPECT_NEAR(p.outputStart, outputStart, 1e-9);
        EXPECT_EQ(p.fadeIn, fadeIn);
        EXPECT_EQ(p.fadeOut, fadeOut);
        EXPECT_EQ(p.gain, 0.5f);
    };
    expect(pieces[0], "screen.mp4", 1, 1, 1, 0, false, true);
    expect(pieces[1], "screen.mp4", 3, 1, 1, 2, true, false);
    expect(pieces[2], "screen.mp4", 4, 1, 0.1, 3, false, false);
    expect(pieces[3], "second.mp4", 10, 0.5, 0.1, 3 + 20, false, false);  // after the slowed 1 s gap
    expect(pieces[4], "second.mp4", 10.5, 1, 1, 3 + 25, false, false);

    // The inverse map agrees with the frame path everywhere, gaps and ramps included.
    for (double u = 0; u < 29; u += 0.37) {
        const double c = compositionTimeForOutputTime(u, s.edit.timeline.trimStart, s.edit.timeline.speedRamps);
        EXPECT_NEAR(outputTimeForCompositionTime(c, s.edit.timeline.trimStart, s.edit.timeline.speedRamps), u, 1e-9)
            << u;
    }
}

TEST(MixPlanTest, PlacedInputsAreCutAtTheTrimEndAndOnlyVideoOverlaysSound) {
    SceneRenderSnapshot s;
    s.edit.timeline.trimEnd = 10;
    AudioClip voice;
    voice.path = "/v.m4a";
    voice.startTime = 8;
    voice.duration = 5;
    VideoOverlayClip video, logo;
    video.path = "/cam.mp4";
    video.duration = 1;
    video.volume = 0.3f;
    logo.mediaKind = VideoOverlayClip::MediaKind::logo;
    logo.duration = 3;
    s.edit.audio.voiceClips = {voice};
    s.edit.overlays.videoOverlays = {video, logo};
    s.edit.audio.backgroundMusicPath = "/music.mp3";
    const auto pieces = planMix(s);
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_DOUBLE_EQ(pieces[0].sourceDuration, 2);
    EXPECT_EQ(pieces[1].file, "/cam.mp4");
    EXPECT_EQ(pieces[1].gain, 0.3f);
    EXPECT_EQ(pieces[2].kind, MixSourceKind::backgroundMusic);
    EXPECT_EQ(pieces[2].gain, 0.15f);
    EXPECT_DOUBLE_EQ(pieces[2].sourceDuration, 10);
}

TEST(MixRenderTest, WindowsJoinIntoTheWholeMix) {
    TempDir dir;
    auto snapshot = testing::toneRecordingSnapshot(dir.path(), 3.0);
    snapshot.edit.audio.muteRegions = {MuteRegion{Uuid::random(), 1.0, 1.2}};
    snapshot.edit.cursor.cursorClickSounds = true;
    ClickAnnotation click;
    click.time = 1.99;  // its sound runs across the window edge at 2 s
    snapshot.edit.cursor.annotations = {click};
    const MixRenderer renderer(snapshot);
    ASSERT_EQ(renderer.totalFrames(), 3u * 48000);
    const auto whole = renderer.render(0, renderer.totalFrames());
    AudioBuffer joined;
    // Edges inside the mute fades, inside the click and at an odd frame.
    const std::vector<std::size_t> edges{0, 47999, 48240, 96000, renderer.totalFrames()};
    for (std::size_t i = 0; i + 1 < edges.size(); ++i) {
        const auto window = renderer.render(edges[i], edges[i + 1] - edges[i]);
        joined.samples.insert(joined.samples.end(), window.samples.begin(), window.samples.end());
    }
    ASSERT_EQ(joined.samples.size(), whole.samples.size());
    float worst = 0;
    for (std::size_t i = 0; i < whole.samples.size(); ++i)
        worst = std::max(worst, std::fabs(joined.samples[i] - whole.samples[i]));
    EXPECT_LT(worst, 1e-4);
    // Past the end there is nothing.
    EXPECT_EQ(renderer.render(renderer.totalFrames(), 100).frames(), 0u);
}

}  // namespace
}  // namespace orvane
