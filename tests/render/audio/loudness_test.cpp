#include "render/audio/loudness.h"

#include <gtest/gtest.h>

#include <cmath>

#include "audio_test_signals.h"

namespace orvane {
namespace {

using testing::sineBuffer;

// BS.1770 calibrates a full-scale 997 Hz sine in one front channel to -3.01 LUFS; the K-weighting
// is flat enough there that the level follows the amplitude dB for dB.
TEST(LoudnessTest, ToneLevelsFollowTheCalibration) {
    EXPECT_NEAR(integratedLoudness(sineBuffer(997, 0.1, 3.0, 48000, 1)), -23.01, 0.05);
    // The same tone in both channels carries twice the power.
    EXPECT_NEAR(integratedLoudness(sineBuffer(997, 0.1, 3.0, 48000, 2)), -20.0, 0.05);
    // The measurement does not depend on the sample rate.
    EXPECT_NEAR(integratedLoudness(sineBuffer(997, 0.1, 3.0, 44100, 1)), -23.01, 0.05);
    // The high-frequency shelf of the K-weighting lifts 4 kHz by roughly 2.5 dB.
    const double high = integratedLoudness(sineBuffer(4000, 0.1, 3.0, 48000, 1));
    EXPECT_GT(high, -23.01 + 2.0);
    EXPECT_LT(high, -23.01 + 3.5);
}

TEST(LoudnessTest, GatedStretchesAndSilenceDoNotCount) {
    auto buffer = sineBuffer(997, 0.1, 4.0);
    const auto quiet = sineBuffer(997, 0.001, 8.0);  // -43 LUFS: above the absolute gate, below the relative one
    buffer.samples.insert(buffer.samples.end(), quiet.samples.begin(), quiet.samples.end());
    // Blocks straddling the step count partly; ungated the level would be near -27.7.
    EXPECT_NEAR(integratedLoudness(buffer), -23.01, 0.3);

    // Below -70 LUFS even on its own: nothing passes the absolute gate.
    EXPECT_EQ(integratedLoudness(sineBuffer(997, 0.00001, 3.0)), -INFINITY);
    AudioBuffer silence;
    silence.samples.assign(48000 * 2 * 2, 0.0f);
    EXPECT_EQ(integratedLoudness(silence), -INFINITY);
    EXPECT_EQ(integratedLoudness(AudioBuffer{}), -INFINITY);
    // Shorter than one 400 ms block.
    EXPECT_EQ(integratedLoudness(sineBuffer(997, 0.5, 0.3)), -INFINITY);

    AudioBuffer broken;
    broken.channels = 0;
    broken.samples = {0.5f};
    EXPECT_THROW(integratedLoudness(broken), std::runtime_error);
}

}  // namespace
}  // namespace orvane
