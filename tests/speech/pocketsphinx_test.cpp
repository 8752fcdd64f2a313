// Real recognition: phrases spoken by a synthetic voice, heard by PocketSphinx with the installed
// US-English model. Slow (a few seconds); run with `ctest -R PocketSphinx`.

#include "speech/pocketsphinx_recognizer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>

#include "media/audio_stream_reader.h"
#include "media/encode/atomic_aac_file_writer.h"
#include "media/external_tools.h"
#include "media/media_probe.h"
#include "speech/auto_captioner.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

using testing::TempDir;

constexpr const char* kFirstPhrase = "please open the door";
constexpr const char* kSecondPhrase = "turn on the light in the kitchen";

std::vector<std::string> wordsOf(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

TEST(PocketSphinx, FindsTheModelForALocaleAndNoneForALanguageNotInstalled) {
    TempDir root;
    for (const auto* name : {"en-us", "fr-fr"}) {
        const auto folder = root / name;
        testing::writeTextFile(folder / name / "mdef", "x");
        testing::writeTextFile(folder / (std::string(name) + ".lm.bin"), "x");
        testing::writeTextFile(folder / ("cmudict-" + std::string(name) + ".dict"), "x");
    }
    testing::writeTextFile(root / "de-de" / "de-de.lm.bin", "incomplete");

    EXPECT_EQ(findPocketSphinxModel(root.path(), "en_US.UTF-8")->languageModel, root / "en-us" / "en-us.lm.bin");
    EXPECT_EQ(findPocketSphinxModel(root.path(), "en-GB")->acousticModel, root / "en-us" / "en-us");
    EXPECT_EQ(findPocketSphinxModel(root.path(), "C")->dictionary, root / "en-us" / "cmudict-en-us.dict");
    EXPECT_EQ(findPocketSphinxModel(root.path(), "fr_CA.UTF-8")->acousticModel, root / "fr-fr" / "fr-fr");
    EXPECT_FALSE(findPocketSphinxModel(root.path(), "de_DE.UTF-8"));
    EXPECT_FALSE(findPocketSphinxModel(root.path(), "ja_JP"));

    PocketSphinxService service(root.path());
    EXPECT_EQ(service.requestAuthorization(), SpeechAuthorization::authorized);
    EXPECT_EQ(service.recognizer("de_DE.UTF-8"), nullptr);
    EXPECT_NE(service.recognizer("en_US.UTF-8"), nullptr);
}

// Two phrases with a pause between them, spoken by flite and joined into one M4A; recognition is
// told to end utterances after a second, so the second phrase is heard in an utterance of its own
// and its times must still count from the start of the file.
TEST(PocketSphinx, RecognisesSpokenPhrasesWithTimesAcrossUtterances) {
    const auto flite = FFmpegTool::locate("flite");
    if (!flite) GTEST_SKIP() << "flite is not installed";
    PocketSphinxService service(std::filesystem::path(kPocketSphinxModelRoot), {.utteranceSeconds = 1.0});
    if (!service.recognizer("en_US.UTF-8")) GTEST_SKIP() << "the US-English model is not installed";

    TempDir dir;
    const std::vector<std::string> phrases{kFirstPhrase, kSecondPhrase};
    constexpr double kPause = 1.5;
    const auto joined = dir / "phrases.m4a";
    double secondStart = 0;
    {
        AtomicAacFileWriter writer(joined, 16000, 1, 64000);
        for (std::size_t i = 0; i < phrases.size(); ++i) {
            const auto wav = dir / ("phrase" + std::to_string(i) + ".wav");
            FFmpegTool::run(*flite, {"-voice", "slt", "-t", phrases[i], "-o", wav.string()});
            auto reader = AudioStreamReader::open(wav, 16000, 1);
            ASSERT_TRUE(reader);
            std::vector<float> samples;
            while (reader->readMore(samples)) {
            }
            writer.push(samples.data(), samples.size());
            if (i == 0) {
                writer.pushSilence(static_cast<std::size_t>(kPause * 16000));
                secondStart = static_cast<double>(writer.framesWritten()) / 16000;
            }
        }
        writer.finish();
    }
    const double duration = playableDuration(joined).value_or(0);
    ASSERT_GT(duration, secondStart + 1.0);

    // Through the whole captioning path: the file's audio is prepared, recognised and grouped.
    const CaptionServices services{&service, FFmpegTool::locator()};
    std::vector<double> progress;
    const auto segments =
        AutoCaptioner::captions(joined, "en_US.UTF-8", services, {{}, [&](double f) { progress.push_back(f); }});
    std::vector<RecognizedWord> heard;
    for (const auto& segment : segments) heard.insert(heard.end(), segment.words.begin(), segment.words.end());

    // Each phrase is judged on the words heard on its side of the pause.
    std::string transcript;
    for (const auto& word : heard) transcript += word.text + " ";
    for (std::size_t i = 0; i < phrases.size(); ++i) {
        const auto spoken = wordsOf(phrases[i]);
        const std::set<std::string> spokenSet(spoken.begin(), spoken.end());
        std::size_t matching = 0;
        for (const auto& word : heard) {
            const bool inSecond = word.start >= secondStart - kPause / 2;
            if (inSecond == (i == 1) && spokenSet.count(word.text)) ++matching;
        }
        EXPECT_GE(matching * 2, spoken.size()) << "phrase " << i << ", heard: " << transcript;
    }

    double previousStart = -1;
    for (const auto& word : heard) {
        EXPECT_LT(word.start, word.end) << word.text;
        EXPECT_LE(word.end, duration + 0.2) << word.text;
        EXPECT_GT(word.start, previousStart) << word.text;
        // Nothing is heard inside the pause.
        EXPECT_FALSE(word.start > secondStart - kPause + 0.3 && word.end < secondStart - 0.1) << word.text;
        previousStart = word.start;
    }
    ASSERT_FALSE(progress.empty());
    EXPECT_DOUBLE_EQ(progress.back(), 1.0);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
}

}  // namespace
}  // namespace orvane
