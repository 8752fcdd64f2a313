#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "media/audio_stream_reader.h"
#include "media/encode/atomic_aac_file_writer.h"
#include "media/sample_video.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

using testing::TempDir;

std::vector<float> readAll(AudioStreamReader& reader) {
    std::vector<float> samples;
    while (reader.readMore(samples)) {
    }
    return samples;
}

TEST(AudioStream, AWrittenFileAppearsOnlyWhenFinishedAndReadsBackAtTheAskedRate) {
    TempDir dir;
    const auto file = dir / "tone.m4a";
    {
        AtomicAacFileWriter abandoned(file, 16000, 1, 48000);
        abandoned.pushSilence(8000);
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << "an unfinished file leaves nothing behind";

    // 0.5 s of silence, then 1 s of a 500 Hz tone.
    std::vector<float> tone(16000);
    for (std::size_t i = 0; i < tone.size(); ++i)
        tone[i] = 0.5f * static_cast<float>(std::sin(2 * M_PI * 500 * i / 16000.0));
    AtomicAacFileWriter writer(file, 16000, 1, 48000);
    writer.pushSilence(8000);
    writer.push(tone.data(), tone.size());
    EXPECT_EQ(writer.framesWritten(), 24000);
    EXPECT_FALSE(std::filesystem::exists(file));
    writer.finish();
    ASSERT_TRUE(std::filesystem::exists(file));

    // Read back as 48 kHz stereo: the encoder's delay is trimmed, so the tone starts where it was put.
    auto reader = AudioStreamReader::open(file, 48000, 2);
    ASSERT_TRUE(reader);
    EXPECT_NEAR(reader->durationSeconds().value_or(0), 1.5, 0.05);
    const auto samples = readAll(*reader);
    EXPECT_NEAR(static_cast<double>(samples.size()) / 2 / 48000, 1.5, 0.05);
    std::size_t firstLoud = 0;
    while (firstLoud < samples.size() && std::abs(samples[firstLoud]) < 0.1f) ++firstLoud;
    EXPECT_NEAR(static_cast<double>(firstLoud / 2) / 48000, 0.5, 0.01);
    std::vector<float> more;
    EXPECT_FALSE(reader->readMore(more)) << "an exhausted stream stays so";
    EXPECT_TRUE(more.empty());
}

TEST(AudioStream, NoAudioIsNothingAndAnUnreadableFileIsAnError) {
    TempDir dir;
    writeSampleVideo(dir / "silent.mp4", {.width = 160, .height = 90, .seconds = 0.5, .withAudio = false});
    EXPECT_FALSE(AudioStreamReader::open(dir / "silent.mp4", 16000, 1));
    EXPECT_THROW(AudioStreamReader::open(dir / "missing.mp4", 16000, 1), AudioStreamError);
    testing::writeTextFile(dir / "text.m4a", "not audio");
    EXPECT_THROW(AudioStreamReader::open(dir / "text.m4a", 16000, 1), AudioStreamError);
}

TEST(AudioStream, NativeReadingKeepsTheFilesOwnRateAndSeekingStartsJustBeforeTheTimeAsked) {
    TempDir dir;
    const auto file = dir / "late-tone.m4a";
    // 1 s of silence, then 1 s of a 440 Hz tone, at 44.1 kHz mono.
    std::vector<float> tone(44100);
    for (std::size_t i = 0; i < tone.size(); ++i)
        tone[i] = 0.5f * static_cast<float>(std::sin(2 * M_PI * 440 * i / 44100.0));
    AtomicAacFileWriter writer(file, 44100, 1, 64000);
    writer.pushSilence(44100);
    writer.push(tone.data(), tone.size());
    writer.finish();

    auto native = AudioStreamReader::openNative(file);
    ASSERT_TRUE(native);
    EXPECT_EQ(native->sampleRate(), 44100);
    EXPECT_EQ(native->channels(), 1);
    EXPECT_NEAR(static_cast<double>(readAll(*native).size()) / 44100, 2.0, 0.05);

    const auto loudAt = [](const std::vector<float>& samples, double seconds, int rate, int channels) {
        const auto from = static_cast<std::size_t>(std::max(seconds, 0.0) * rate) * static_cast<std::size_t>(channels);
        float peak = 0;
        for (std::size_t i = from; i < std::min(samples.size(), from + 400); ++i)
            peak = std::max(peak, std::abs(samples[i]));
        return peak > 0.2f;
    };
    auto reader = AudioStreamReader::open(file, 48000, 2);
    ASSERT_TRUE(reader);
    reader->seek(1.5);
    EXPECT_FALSE(reader->firstFrameTime()) << "known only once a frame is decoded";
    const auto fromMiddle = readAll(*reader);
    ASSERT_TRUE(reader->firstFrameTime());
    const double first = *reader->firstFrameTime();
    EXPECT_LE(first, 1.5);
    EXPECT_GT(first, 1.0) << "the seek moved reading, it did not start from the top";
    EXPECT_NEAR(first + static_cast<double>(fromMiddle.size()) / 2 / 48000, 2.0, 0.05);
    EXPECT_TRUE(loudAt(fromMiddle, 1.5 - first, 48000, 2));

    // Back to the silent part: what was held from the later place does not leak into it.
    reader->seek(0.5);
    const auto fromStart = readAll(*reader);
    ASSERT_TRUE(reader->firstFrameTime());
    const double again = *reader->firstFrameTime();
    EXPECT_LE(again, 0.5);
    EXPECT_FALSE(loudAt(fromStart, 0.5 - again, 48000, 2));
    EXPECT_TRUE(loudAt(fromStart, 1.5 - again, 48000, 2));
}

}  // namespace
}  // namespace orvane
