#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "audio/aac_file.h"
#include "audio/audio_file_reader.h"
#include "audio/audio_mix_exporter.h"
#include "audio/ffmpeg_mix.h"
#include "audio/loudness.h"
#include "audio/mix_level.h"
#include "audio/mix_plan.h"
#include "audio/original_audio.h"
#include "audio_test_signals.h"
#include "media/external_tools.h"
#include "mix_fixtures.h"
#include "support/required_service.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

using ::orvane::testing::TempDir;

TEST(FFmpegMixTest, GraphPlacesEachSourceWithItsTrimGainAndDelay) {
    // The last is a 2 s stretch at double speed that keeps its 1 s slot.
    const MixPiece recording{.file = {}, .sourceStart = 1.25, .sourceDuration = 3, .gain = 0.8f};
    const MixPiece voice{.file = {}, .sourceStart = 0.5, .sourceDuration = 1.0, .outputStart = 2.5};
    const MixPiece ramped{.file = {}, .sourceStart = 10, .sourceDuration = 2, .speed = 2, .outputStart = 4.0004};
    const auto graph = ffmpegMixFilterGraph({recording, voice, ramped}, 5.12345);
    EXPECT_EQ(graph,
              "[1:a:0]atrim=start=1.250:duration=3.000,asetpts=PTS-STARTPTS,volume=0.8000,aresample=48000,"
              "aformat=sample_rates=48000:channel_layouts=stereo[a0];"
              "[2:a:0]atrim=start=0.500:duration=1.000,asetpts=PTS-STARTPTS,volume=1.0000,aresample=48000,"
              "aformat=sample_rates=48000:channel_layouts=stereo,adelay=2500|2500[a1];"
              "[3:a:0]atrim=start=10.000:duration=1.000,asetpts=PTS-STARTPTS,volume=1.0000,aresample=48000,"
              "aformat=sample_rates=48000:channel_layouts=stereo,adelay=4000|4000[a2];"
              "[a0][a1][a2]amix=inputs=3:duration=longest:normalize=0,atrim=duration=5.123[mixout]");
}

TEST(FFmpegMixTest, CommandMixesAudibleInputsAndRunsWhereFFmpegIsInstalled) {
    TempDir dir;
    auto snapshot = testing::toneRecordingSnapshot(dir.path(), 3.0);
    snapshot.edit.audio.originalAudioVolume = 0.5f;
    snapshot.edit.audio.muteRegions = {MuteRegion{Uuid::random(), 1.5, 3.0}};
    const auto rendered = testing::writeRenderedVideo(dir.path(), 3.0);
    writeAacFile(dir / "voice.m4a", testing::sineBuffer(1000, 0.3, 1.0, 48000, 2), 128000);
    AudioClip voice;
    voice.path = dir / "voice.m4a";
    voice.startTime = 2.5;
    voice.duration = 0.5;
    AudioClip silentVoice = voice;  // a file with no audio is left out rather than failing the run
    silentVoice.path = rendered;
    snapshot.edit.audio.voiceClips = {voice, silentVoice};
    const auto output = dir / "ffmpeg-mixed.mp4";

    const auto command = ffmpegMixCommand(snapshot, rendered, output);
    const std::vector<std::string> expected = {
        "-i",
        rendered.string(),
        "-i",
        (dir / "screen.mp4").string(),
        "-i",
        (dir / "voice.m4a").string(),
        "-filter_complex",
        "[1:a:0]atrim=start=0.000:duration=1.500,asetpts=PTS-STARTPTS,volume=0.5000,aresample=48000,"
        "aformat=sample_rates=48000:channel_layouts=stereo[a0];"
        "[2:a:0]atrim=start=0.000:duration=0.500,asetpts=PTS-STARTPTS,volume=1.0000,aresample=48000,"
        "aformat=sample_rates=48000:channel_layouts=stereo,adelay=2500|2500[a1];"
        "[a0][a1]amix=inputs=2:duration=longest:normalize=0,atrim=duration=3.000[mixout]",
        "-map",
        "0:v:0",
        "-map",
        "[mixout]",
        "-c:v",
        "copy",
        "-c:a",
        "aac",
        "-b:a",
        "192k",
        "-movflags",
        "+faststart",
        output.string()};
    EXPECT_EQ(command.arguments, expected);
    EXPECT_EQ(ffmpegMixArguments(snapshot, rendered, output), expected);

    auto nothingAudible = snapshot;
    nothingAudible.edit.timeline.clips.clear();
    nothingAudible.edit.audio.voiceClips = {silentVoice};
    EXPECT_TRUE(ffmpegMixArguments(nothingAudible, rendered, output).empty());

    const auto ffmpeg = FFmpegTool::locate("ffmpeg");
    ORVANE_REQUIRE_SERVICE(ffmpeg, "ffmpeg is not installed");
    FFmpegTool::run(*ffmpeg, command.arguments);
    const auto streams = testing::summariseStreams(output);
    EXPECT_EQ(streams.videoPackets, testing::summariseStreams(rendered).videoPackets);
    EXPECT_EQ(streams.audioRate, 48000);
    EXPECT_EQ(streams.audioChannels, 2);
    const auto mixed = readAudioRange(output, 0, 3.0, 48000, 2);
    ASSERT_TRUE(mixed);
    const auto rms = testing::windowRms(*mixed, 0.01);
    EXPECT_GT(rms[100], 0.05);  // the recording at half volume
    EXPECT_LT(rms[200], 1e-3);  // muted, before the voice
    EXPECT_GT(rms[270], 0.1);   // the voice
}

TEST(OriginalAudioTest, RecordingAudioIsCopiedBesideTheRenderedVideo) {
    TempDir dir;
    const auto snapshot = testing::toneRecordingSnapshot(dir.path(), 3.0);
    const auto rendered = testing::writeRenderedVideo(dir.path(), 2.0);
    const auto output = dir / "original-audio.mp4";
    passOriginalAudio(rendered, snapshot.videoPath, output, 0.5);
    const auto streams = testing::summariseStreams(output);
    EXPECT_EQ(streams.videoPackets, testing::summariseStreams(rendered).videoPackets);
    EXPECT_EQ(streams.audioRate, 48000);
    // Copied from 0.5 s for the video's 2 s: about 94 AAC packets of 1024 frames, not the 141 of
    // the whole recording.
    EXPECT_NEAR(static_cast<double>(streams.audioPackets), 2.0 * 48000 / 1024, 3);
    const auto audio = readAudioRange(output, 0, 1.9, 48000, 2);
    ASSERT_TRUE(audio);
    EXPECT_NEAR(testing::zeroCrossingFrequency(*audio, 0.1, 1.8), 440, 5);

    EXPECT_THROW(passOriginalAudio(rendered, rendered, dir / "none.mp4"), AudioMixError);
    EXPECT_THROW(passOriginalAudio(dir / "missing.mp4", snapshot.videoPath, dir / "none.mp4"), AudioMixError);
    EXPECT_FALSE(std::filesystem::exists(dir / "none.mp4"));
}

TEST(MixLevelTest, LevelsAreSilentLowNormalOrInconclusive) {
    TempDir dir;
    writeAacFile(dir / "normal.m4a", testing::sineBuffer(997, 0.1, 2.0, 48000, 2), 128000);
    writeAacFile(dir / "low.m4a", testing::sineBuffer(997, 0.001, 2.0, 48000, 2), 128000);  // -60 LUFS
    AudioBuffer silence;
    silence.samples.assign(48000 * 2 * 2, 0.0f);
    writeAacFile(dir / "silent.m4a", silence, 128000);
    ::orvane::testing::writeTextFile(dir / "broken.mp4", "not a movie");

    const auto normal = readMixLevel(dir / "normal.m4a");
    EXPECT_EQ(normal.level, MixLevel::normal);
    EXPECT_NEAR(normal.loudness, -20, 0.3);
    EXPECT_EQ(measureMixLevel(dir / "low.m4a"), MixLevel::low);
    EXPECT_EQ(measureMixLevel(dir / "silent.m4a"), MixLevel::silent);
    EXPECT_EQ(measureMixLevel(testing::writeRenderedVideo(dir.path(), 1.0)), MixLevel::silent);  // no audio at all
    EXPECT_EQ(measureMixLevel(dir / "broken.mp4"), MixLevel::inconclusive);
    EXPECT_EQ(measureMixLevel(dir / "missing.mp4"), MixLevel::inconclusive);
}

TEST(MixLevelTest, LongMixesAreMeasuredAsTheyDecodeInSmallPieces) {
    TempDir dir;
    // Ten seconds whose second half is 20 dB louder: a meter fed pieces must weigh both halves.
    AudioBuffer mix = testing::sineBuffer(997, 0.01, 5.0, 48000, 2);
    const auto loud = testing::sineBuffer(997, 0.1, 5.0, 48000, 2);
    mix.samples.insert(mix.samples.end(), loud.samples.begin(), loud.samples.end());
    writeAacFile(dir / "mix.m4a", mix, 128000);

    std::size_t frames = 0;
    std::size_t largest = 0;
    LoudnessMeter meter(48000, 2);
    ASSERT_TRUE(streamAudioFile(dir / "mix.m4a", 48000, 2, [&](const float* samples, std::size_t count) {
        frames += count;
        largest = std::max(largest, count);
        meter.add(samples, count);
    }));
    EXPECT_NEAR(static_cast<double>(frames), 10.0 * 48000, 4096);  // all of it, less the codec's edges
    EXPECT_LE(largest, 48000u / 10) << "pieces the size of packets, not of the file";
    const double whole = integratedLoudness(*readAudioRange(dir / "mix.m4a", 0, std::nullopt, 48000, 2));
    EXPECT_NEAR(meter.integrated(), whole, 0.01);
    EXPECT_NEAR(readMixLevel(dir / "mix.m4a").loudness, whole, 0.01);

    // Pieces of any size add up to the one-buffer measurement.
    LoudnessMeter pieces(48000, 2);
    for (std::size_t at = 0; at < mix.frames(); at += 1000) {
        pieces.add(mix.samples.data() + at * 2, std::min<std::size_t>(1000, mix.frames() - at));
    }
    EXPECT_NEAR(pieces.integrated(), integratedLoudness(mix), 1e-9);
    EXPECT_EQ(LoudnessMeter(48000, 2).integrated(), -std::numeric_limits<double>::infinity());
    EXPECT_THROW(LoudnessMeter(0, 2), std::runtime_error);
    EXPECT_FALSE(streamAudioFile(testing::writeRenderedVideo(dir.path(), 1.0), 48000, 2, [](const float*, std::size_t) {
        ADD_FAILURE() << "a video without audio has nothing to hand on";
    }));
    EXPECT_THROW(streamAudioFile(dir / "missing.m4a", 48000, 2, [](const float*, std::size_t) {}), AudioReadError);
}

TEST(MixPlanTest, AnEditWithoutAnySoundHasNothingToMix) {
    TempDir dir;
    auto snapshot = testing::toneRecordingSnapshot(dir.path(), 1.0);
    EXPECT_TRUE(mixHasSound(snapshot));
    writeSampleVideo(dir / "quiet.mp4", {.width = 320, .height = 180, .seconds = 1.0, .withAudio = false});
    snapshot.edit.timeline.clips.front().sourceFile = "quiet.mp4";
    EXPECT_FALSE(mixHasSound(snapshot));
    // Something added that sounds, or an input that cannot be probed, is left to the mix.
    snapshot.edit.cursor.cursorClickSounds = true;
    ClickAnnotation click;
    click.time = 0.5;
    snapshot.edit.cursor.annotations = {click};
    EXPECT_TRUE(mixHasSound(snapshot));
    snapshot.edit.cursor.annotations.clear();
    snapshot.edit.timeline.clips.front().sourceFile = "missing.mp4";
    EXPECT_TRUE(mixHasSound(snapshot));
}

TEST(AudioFileReaderTest, RangesAreCutOnTheFileClockAndPaddedPastItsEnd) {
    ::orvane::testing::TempDir dir;
    // One second each of 300, 600 and 900 Hz, mono at 44.1 kHz.
    AudioBuffer steps = testing::sineBuffer(300, 0.3, 1.0, 44100, 1);
    for (double frequency : {600.0, 900.0}) {
        const auto next = testing::sineBuffer(frequency, 0.3, 1.0, 44100, 1);
        steps.samples.insert(steps.samples.end(), next.samples.begin(), next.samples.end());
    }
    const auto file = dir / "steps.m4a";
    writeAacFile(file, steps, 128000);

    const auto middle = readAudioRange(file, 1.5, 1.0, 48000, 2);
    ASSERT_TRUE(middle);
    EXPECT_EQ(middle->frames(), 48000u);
    EXPECT_EQ(middle->channels, 2);
    EXPECT_NEAR(testing::zeroCrossingFrequency(*middle, 0.05, 0.45), 600, 8);
    EXPECT_NEAR(testing::zeroCrossingFrequency(*middle, 0.55, 0.95), 900, 8);

    const auto pastEnd = readAudioRange(file, 2.5, 1.0, 48000, 2);
    ASSERT_TRUE(pastEnd);
    EXPECT_EQ(pastEnd->frames(), 48000u);
    EXPECT_NEAR(testing::zeroCrossingFrequency(*pastEnd, 0.05, 0.45), 900, 8);
    const auto tail = testing::windowRms(*pastEnd, 0.1);
    EXPECT_EQ(tail.back(), 0.0);

    const auto whole = readAudioFile(file);
    EXPECT_EQ(whole.sampleRate, 44100);
    EXPECT_EQ(whole.channels, 1);
    EXPECT_NEAR(static_cast<double>(whole.frames()) / 44100, 3.0, 0.03);

    // A movie without sound has nothing to read; a file that is not media is an error.
    EXPECT_FALSE(readAudioRange(testing::writeRenderedVideo(dir.path(), 0.5), 0, 0.5, 48000, 2));
    ::orvane::testing::writeTextFile(dir / "text.m4a", "hello");
    EXPECT_THROW(readAudioRange(dir / "text.m4a", 0, 1, 48000, 2), AudioReadError);
    EXPECT_THROW(readAudioFile(dir / "absent.m4a"), AudioReadError);
}

}  // namespace
}  // namespace orvane
