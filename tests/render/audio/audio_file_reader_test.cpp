#include "render/audio/audio_file_reader.h"

#include <gtest/gtest.h>

#include "audio_test_signals.h"
#include "mix_fixtures.h"
#include "render/audio/aac_encoder.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

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
