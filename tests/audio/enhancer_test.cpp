#include "audio/audio_enhancer.h"

#include <gtest/gtest.h>

#include <cmath>

#include "audio/aac_file.h"
#include "audio/audio_file_reader.h"
#include "audio/biquad.h"
#include "audio/enhanced_voice_file.h"
#include "audio/loudness.h"
#include "audio/peak_limiter.h"
#include "audio_test_signals.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

using testing::peakLevel;
using testing::sineBuffer;

const float kClip = static_cast<float>(std::pow(10.0, -1.0 / 20.0));

AudioEnhancementSettings settings(AudioEnhancerPreset preset, float strength = 1.0f) {
    AudioEnhancementSettings s;
    s.preset = preset;
    s.strength = strength;
    return s;
}

// The equaliser's gain at a frequency, as the enhancer's five bands stack up.
double equaliserGainDb(AudioEnhancerPreset preset, double frequency) {
    const auto p = enhancerPresetParameters(preset);
    const double rate = 48000;
    return BiquadCoefficients::highPass(rate, 80).responseDb(rate, frequency) +
           BiquadCoefficients::peaking(rate, 250, 1.0, -3).responseDb(rate, frequency) +
           BiquadCoefficients::peaking(rate, 3000, 0.8, p.presenceDb).responseDb(rate, frequency) +
           BiquadCoefficients::highShelf(rate, 10000, p.airDb).responseDb(rate, frequency) +
           BiquadCoefficients::peaking(rate, 6000, 0.3, -2).responseDb(rate, frequency);
}

TEST(EqualiserTest, BandsCutAndBoostWhereTheyShould) {
    const double rate = 48000;
    EXPECT_LT(BiquadCoefficients::highPass(rate, 80).responseDb(rate, 20), -20);
    EXPECT_NEAR(BiquadCoefficients::highPass(rate, 80).responseDb(rate, 80), -3.01, 0.05);  // Butterworth corner
    EXPECT_NEAR(BiquadCoefficients::peaking(rate, 3000, 0.8, 4).responseDb(rate, 3000), 4, 0.01);
    EXPECT_NEAR(BiquadCoefficients::peaking(rate, 3000, 0.8, 4).responseDb(rate, 300), 0, 0.1);
    EXPECT_NEAR(BiquadCoefficients::highShelf(rate, 10000, 3).responseDb(rate, 20000), 3, 0.3);
    // A 10 kHz shelf on 16 kHz audio stays a stable shelf below Nyquist.
    const auto low = BiquadCoefficients::highShelf(16000, 10000, 3);
    EXPECT_TRUE(std::isfinite(low.responseDb(16000, 7000)));
    EXPECT_LT(std::fabs(low.a2), 1.0);
}

TEST(PeakLimiterTest, HoldsPeaksAtTheCeilingAndLeavesDistantAudioAlone) {
    auto buffer = sineBuffer(440, 0.5, 1.0, 48000, 2);
    // A 20 ms burst at twice full scale in the middle.
    for (std::size_t i = 24000 * 2; i < 24960 * 2; ++i) buffer.samples[i] *= 4.0f;
    const auto original = buffer;
    PeakLimiter{}.process(buffer);
    EXPECT_LE(peakLevel(buffer), 1.0 + 1e-6);
    EXPECT_GT(peakLevel(buffer), 0.99);
    // Untouched more than the 1 ms look-ahead before the burst...
    for (std::size_t i = 0; i < (24000 - 60) * 2; ++i) ASSERT_EQ(buffer.samples[i], original.samples[i]) << i;
    // ...and recovered (50 ms time constant) well after it.
    const std::size_t later = (24960 + 48000 * 3 / 10) * 2;
    EXPECT_NEAR(buffer.samples[later] / original.samples[later], 1.0, 0.01);
}

TEST(AudioEnhancerTest, LoudnessGainIsHeldToTwentyFourDecibelsAndPeaksToMinusOne) {
    const auto preset = AudioEnhancerPreset::natural;  // target -18 LUFS
    const double makeup = enhancerPresetParameters(preset).makeupDb;
    const double eq = equaliserGainDb(preset, 1000);
    // A tone that the equaliser and make-up leave 30 dB below the target: raised by 24 dB only.
    const double farBelow = -18 - 30 - eq - makeup;
    const auto quiet = sineBuffer(1000, std::pow(10.0, (farBelow + 3.01) / 20), 3.0);
    EXPECT_NEAR(integratedLoudness(enhanceAudio(quiet, settings(preset))), -18 - 6, 0.3);
    // One that is 10 dB short reaches the target.
    const auto closer = sineBuffer(1000, std::pow(10.0, (farBelow + 20 + 3.01) / 20), 3.0);
    EXPECT_NEAR(integratedLoudness(enhanceAudio(closer, settings(preset))), -18, 0.3);

    // A quiet bed with sharp clicks: normalising the bed pushes the clicks far over full scale.
    auto input = sineBuffer(200, 0.01, 2.0, 48000, 2);
    for (std::size_t i = 0; i < input.samples.size(); i += 48000) input.samples[i] = input.samples[i + 1] = 1.0f;
    for (auto each : kAllAudioEnhancerPresets) {
        const auto out = enhanceAudio(input, settings(each));
        EXPECT_LE(peakLevel(out), kClip) << rawValue(each);
        EXPECT_EQ(peakLevel(out), kClip) << rawValue(each);
    }
}

TEST(AudioEnhancerTest, StrengthBlendsBetweenInputAndProcessed) {
    const auto input = sineBuffer(300, 0.2, 1.0);
    const auto full = enhanceAudio(input, settings(AudioEnhancerPreset::broadcast, 1.0f));
    // Unblended: the processed signal with its half second of equaliser tail.
    EXPECT_EQ(full.frames(), input.frames() + 24000);
    EXPECT_EQ(enhanceAudio(input, settings(AudioEnhancerPreset::broadcast, 0.9995f)).samples, full.samples);

    const auto dry = enhanceAudio(input, settings(AudioEnhancerPreset::broadcast, 0.0f));
    EXPECT_EQ(dry.samples, input.samples);
    EXPECT_EQ(enhanceAudio(input, settings(AudioEnhancerPreset::broadcast, -3.0f)).samples, input.samples);

    const auto half = enhanceAudio(input, settings(AudioEnhancerPreset::broadcast, 0.5f));
    ASSERT_EQ(half.frames(), input.frames());
    for (std::size_t i = 1000; i < input.samples.size(); i += 997) {
        EXPECT_NEAR(half.samples[i], 0.5f * input.samples[i] + 0.5f * full.samples[i], 1e-6) << i;
    }
}

TEST(AudioEnhancerTest, SilenceSkipsLoudnessAndStillWritesAFile) {
    ::orvane::testing::TempDir dir;
    AudioBuffer silence;
    silence.sampleRate = 44100;
    silence.channels = 1;
    silence.samples.assign(44100, 0.0f);
    const auto processed = enhanceAudio(silence, settings(AudioEnhancerPreset::punchy));
    EXPECT_EQ(peakLevel(processed), 0.0);

    const auto input = dir / "voice.m4a";
    writeAacFile(input, silence, 96000);
    AudioEnhancer enhancer(dir.path());
    const auto output = enhancer.enhance(input, settings(AudioEnhancerPreset::punchy));
    EXPECT_EQ(output.parent_path(), dir.path());
    const auto name = output.filename().string();
    EXPECT_EQ(name.rfind("zant_enhanced_", 0), 0u);
    EXPECT_EQ(name.size(), std::string("zant_enhanced_").size() + 36 + 4);
    EXPECT_EQ(output.extension(), ".m4a");
    const auto written = readAudioFile(output);
    EXPECT_EQ(written.sampleRate, 44100);
    EXPECT_EQ(written.channels, 1);
    EXPECT_LT(peakLevel(written), 1e-4);
    // The half second of tail is kept.
    EXPECT_NEAR(static_cast<double>(written.frames()) / 44100, 1.5, 0.05);
}

// The text an enhancer failure shows, or a note that nothing failed.
template <typename Work>
std::string enhancerFailure(Work work) {
    try {
        work();
    } catch (const EnhancerError& error) {
        return error.what();
    }
    return "nothing failed";
}

TEST(AudioEnhancerTest, BadInputFailsWithItsMessageAndWritesNothing) {
    ::orvane::testing::TempDir dir;
    const auto natural = settings(AudioEnhancerPreset::natural);
    EXPECT_EQ(enhancerFailure([&] { enhanceAudio(AudioBuffer{}, natural); }), "Input audio is empty");
    auto poisoned = sineBuffer(440, 0.1, 0.5);
    poisoned.samples[100] = NAN;
    EXPECT_EQ(enhancerFailure([&] { enhanceAudio(poisoned, natural); }), "Audio engine render error");
    EXPECT_THROW(AudioEnhancer(dir.path()).enhance(dir / "missing.m4a", natural), AudioReadError);
    // A folder that cannot take the output.
    writeAacFile(dir / "voice.m4a", sineBuffer(440, 0.1, 0.5), 96000);
    EXPECT_EQ(enhancerFailure([&] { AudioEnhancer(dir / "no-such-folder").enhance(dir / "voice.m4a", natural); }),
              "Failed to write enhanced audio");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);  // the input alone
}

TEST(EnhancedVoiceFileTest, KeptCopiesNameTheirOriginal) {
    const std::filesystem::path enhancerOutput = "/tmp/zant_enhanced_0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0.m4a";
    const auto kept = keptEnhancedFilePath("/rec/ID", "/rec/ID/voice take.wav", enhancerOutput);
    EXPECT_EQ(kept, "/rec/ID/voice take.wav.zant_enhanced_0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0.m4a");
    EXPECT_EQ(originalOfEnhancedFile(kept), std::filesystem::path("/rec/ID/voice take.wav"));

    // Enhancing a copy again still leads back one step at a time.
    const auto twice = keptEnhancedFilePath("/rec/ID", kept, enhancerOutput);
    EXPECT_EQ(originalOfEnhancedFile(twice), kept);

    // Files that only look similar are nobody's copy.
    for (const char* name : {"/rec/voice.m4a", "/rec/zant_enhanced_0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0.m4a",
                             "/rec/a.zant_enhanced_0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F.m4a",
                             "/rec/a.zant_enhanced_0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1FZ.m4a",
                             "/rec/a.zant_enhanced_0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0.wav",
                             "/rec/a.zant_enhanced_0F1E2D3C+4B5A-6978-8796-A5B4C3D2E1F0.m4a"}) {
        EXPECT_EQ(originalOfEnhancedFile(name), std::nullopt) << name;
    }
}

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
