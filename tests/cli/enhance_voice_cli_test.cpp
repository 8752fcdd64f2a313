#include <cmath>
#include <cstdint>
#include <fstream>
#include <numbers>

#include "cli_fixture.h"

namespace orvane {
namespace {

// A mono 16-bit WAV of a quiet 220 Hz tone.
void writeToneWav(const fs::path& file, double seconds) {
    const std::uint32_t rate = 48000;
    const auto frames = static_cast<std::uint32_t>(seconds * rate);
    std::ofstream out(file, std::ios::binary);
    auto put = [&](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) out.put(static_cast<char>((value >> (8 * i)) & 0xFF));
    };
    out << "RIFF";
    put(36 + frames * 2, 4);
    out << "WAVEfmt ";
    put(16, 4);
    put(1, 2);  // PCM
    put(1, 2);  // mono
    put(rate, 4);
    put(rate * 2, 4);
    put(2, 2);
    put(16, 2);
    out << "data";
    put(frames * 2, 4);
    for (std::uint32_t i = 0; i < frames; ++i) {
        const double value = 0.02 * std::sin(2 * std::numbers::pi * 220 * i / rate);
        put(static_cast<std::uint16_t>(static_cast<std::int16_t>(value * 32767)), 2);
    }
}

class EnhanceVoiceCliTest : public CliTest {
protected:
    fs::path folder() const { return home_ / "data" / "Orvane" / "Recordings" / id_; }
    std::string clipFile(const Json& edit) const { return edit["voiceClips"][0]["file"].get<std::string>(); }

    std::string id_;
};

TEST_F(EnhanceVoiceCliTest, EnhancingAgainStartsFromTheOriginalAndOffPutsItBack) {
    id_ = runJson({"import", sample("take.mp4").string(), "--json"})["id"].get<std::string>();
    EXPECT_EQ(run({"edit", id_, "enhance-voice"}).exitCode, 1);  // no audio clips yet
    writeToneWav(home_ / "voice.wav", 1.0);
    const auto original = clipFile(runJson({"edit", id_, "import", (home_ / "voice.wav").string(), "--json"}));

    const auto first = clipFile(runJson({"edit", id_, "enhance-voice", "--preset", "broadcast", "--json"}));
    EXPECT_EQ(first.rfind(original + ".zant_enhanced_", 0), 0u) << first;
    EXPECT_TRUE(fs::exists(folder() / first));

    // A second run is made from the original, not from the first copy, which goes away.
    const auto second = clipFile(runJson({"edit", id_, "enhance-voice", "1", "--strength", "0.5", "--json"}));
    EXPECT_EQ(second.rfind(original + ".zant_enhanced_", 0), 0u) << second;
    EXPECT_NE(second, first);
    EXPECT_FALSE(fs::exists(folder() / first));

    // Off restores the original in a later session, which only has the file name to go by.
    EXPECT_EQ(clipFile(runJson({"edit", id_, "enhance-voice", "--off", "--json"})), original);
    EXPECT_FALSE(fs::exists(folder() / second));
    EXPECT_TRUE(fs::exists(folder() / original));
    EXPECT_EQ(run({"edit", id_, "enhance-voice", "--off"}).exitCode, 1);  // nothing left to undo

    EXPECT_EQ(run({"edit", id_, "enhance-voice", "--preset", "loud"}).exitCode, 2);
    EXPECT_EQ(run({"edit", id_, "enhance-voice", "--strength", "1.5"}).exitCode, 2);
    EXPECT_EQ(clipFile(runJson({"show", id_, "--json"})["edit"]), original);
}

}  // namespace
}  // namespace orvane
