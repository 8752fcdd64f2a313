// How well captions follow real speech: a movie whose sound track holds sentences spoken by flite's
// "slt" voice at known places is imported and captioned the way `orvane captions` does it, and the
// words are scored against the script: word error rate and how far each word's time lies from where
// the voice put it. Slow (recognition of 20 s of speech); run with `ctest -R CaptionAccuracy`.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <flite/flite.h>

#include "base/manual_executor.h"
#include "base/toast_center.h"
#include "editor/editor_session.h"
#include "export/output_frame.h"
#include "media/external_tools.h"
#include "media/video_frame.h"
#include "recording/recording_library.h"
#include "speech/caption_task.h"
#include "speech/pocketsphinx_recognizer.h"
#include "support/temp_dir.h"

extern "C" cst_voice* register_cmu_us_slt(const char* voxdir);

namespace orvane {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

constexpr int kRate = 16000;
constexpr double kTrackSeconds = 20;

// Everyday sentences of the kind a screen recording is narrated with.
const std::vector<std::string> kScript{
    "Today we will look at the new settings page.",     "First open the menu at the top of the window.",
    "Then choose a folder where your files are saved.", "The changes are kept when you close the program.",
    "Thank you for watching this short video.",
};

struct ScriptWord {
    std::string text;
    double start = 0;
    double end = 0;
};

// Lower case, letters, digits and apostrophes only: "Window." and "window" are the same word.
std::string normalised(const std::string& word) {
    std::string out;
    for (const unsigned char c : word) {
        if (std::isalnum(c) || c == '\'') out.push_back(static_cast<char>(std::tolower(c)));
    }
    return out;
}

struct UtteranceDeleter {
    void operator()(cst_utterance* utterance) const { delete_utterance(utterance); }
};

// One sentence spoken by the slt voice: its 16 kHz samples and each word's start and end, taken from
// the voice's own segment timing (a word runs from the end of the segment before its first phone to
// the end of its last phone).
struct SpokenSentence {
    std::vector<float> samples;
    std::vector<ScriptWord> words;
};

SpokenSentence speak(const std::string& sentence) {
    static cst_voice* voice = [] {
        flite_init();
        return register_cmu_us_slt(nullptr);
    }();
    std::unique_ptr<cst_utterance, UtteranceDeleter> utterance(flite_synth_text(sentence.c_str(), voice));
    const cst_wave* wave = utterance ? utt_wave(utterance.get()) : nullptr;
    if (!wave || wave->sample_rate != kRate || wave->num_channels != 1) return {};
    SpokenSentence spoken;
    spoken.samples.resize(static_cast<std::size_t>(wave->num_samples));
    for (std::size_t i = 0; i < spoken.samples.size(); ++i) spoken.samples[i] = wave->samples[i] / 32768.0f;
    for (cst_item* word = relation_head(utt_relation(utterance.get(), "Word")); word; word = item_next(word)) {
        spoken.words.push_back({normalised(item_feat_string(word, "name")),
                                ffeature_float(word, "R:SylStructure.daughter1.daughter1.R:Segment.p.end"),
                                ffeature_float(word, "R:SylStructure.daughtern.daughtern.R:Segment.end")});
    }
    return spoken;
}

// The script laid out on a 20 s track: sentences one after another with a pause before each, the
// rest silence. Answers the samples and every word with its time on the track.
std::vector<float> layOut(std::vector<ScriptWord>& words) {
    constexpr double kPause = 0.9;
    std::vector<float> track(static_cast<std::size_t>(kTrackSeconds * kRate), 0.0f);
    double offset = 0.5;
    for (const auto& sentence : kScript) {
        const auto spoken = speak(sentence);
        const auto first = static_cast<std::size_t>(std::lround(offset * kRate));
        if (spoken.samples.empty() || first + spoken.samples.size() > track.size()) return {};
        std::copy(spoken.samples.begin(), spoken.samples.end(), track.begin() + static_cast<std::ptrdiff_t>(first));
        for (const auto& word : spoken.words) words.push_back({word.text, offset + word.start, offset + word.end});
        offset += static_cast<double>(spoken.samples.size()) / kRate + kPause;
    }
    return track;
}

// A still picture: a dark desk with a lighter window on it.
RgbaImage stillPicture() {
    RgbaImage image{640, 360, 640 * 4, std::vector<std::uint8_t>(640 * 360 * 4)};
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const bool window = x > 80 && x < 560 && y > 40 && y < 300;
            auto* pixel = &image.pixels[static_cast<std::size_t>(y * image.stride + x * 4)];
            pixel[0] = window ? 70 : 30;
            pixel[1] = window ? 90 : 40;
            pixel[2] = window ? 120 : 60;
            pixel[3] = 255;
        }
    }
    return image;
}

struct Scores {
    double wordErrorRate = 0;
    // Each reference word the recogniser heard as itself, with the word heard.
    std::vector<std::pair<ScriptWord, RecognizedWord>> matches;
};

// Levenshtein alignment of the heard words against the script, counting substitutions, deletions
// and insertions alike. Among the alignments of least cost the one with most matches is taken, so
// that every word heard right carries its time into the comparison.
Scores score(const std::vector<ScriptWord>& reference, const std::vector<RecognizedWord>& heard) {
    struct Cell {
        std::size_t errors = 0;
        std::size_t matches = 0;
        bool operator<(const Cell& other) const {
            return errors != other.errors ? errors < other.errors : matches > other.matches;
        }
    };
    const std::size_t n = reference.size();
    const std::size_t m = heard.size();
    std::vector<std::vector<Cell>> best(n + 1, std::vector<Cell>(m + 1));
    for (std::size_t i = 0; i <= n; ++i) best[i][0] = {i, 0};
    for (std::size_t j = 0; j <= m; ++j) best[0][j] = {j, 0};
    auto same = [&](std::size_t i, std::size_t j) { return reference[i - 1].text == normalised(heard[j - 1].text); };
    auto diagonal = [&](std::size_t i, std::size_t j) {
        const Cell& before = best[i - 1][j - 1];
        return same(i, j) ? Cell{before.errors, before.matches + 1} : Cell{before.errors + 1, before.matches};
    };
    auto deletion = [&](std::size_t i, std::size_t j) {
        return Cell{best[i - 1][j].errors + 1, best[i - 1][j].matches};
    };
    auto insertion = [&](std::size_t i, std::size_t j) {
        return Cell{best[i][j - 1].errors + 1, best[i][j - 1].matches};
    };
    for (std::size_t i = 1; i <= n; ++i) {
        for (std::size_t j = 1; j <= m; ++j) best[i][j] = std::min({diagonal(i, j), deletion(i, j), insertion(i, j)});
    }
    Scores scores;
    scores.wordErrorRate = n == 0 ? 0 : static_cast<double>(best[n][m].errors) / static_cast<double>(n);
    for (std::size_t i = n, j = m; i > 0 && j > 0;) {
        const Cell here = best[i][j];
        const auto equal = [&](const Cell& c) { return c.errors == here.errors && c.matches == here.matches; };
        if (equal(diagonal(i, j))) {
            if (same(i, j)) scores.matches.emplace_back(reference[i - 1], heard[j - 1]);
            --i;
            --j;
        } else if (equal(deletion(i, j))) {
            --i;
        } else {
            --j;
        }
    }
    std::reverse(scores.matches.begin(), scores.matches.end());
    return scores;
}

TEST(CaptionAccuracy, ScoringCountsEveryKindOfErrorAndMatchesOnlyEqualWords) {
    const std::vector<ScriptWord> reference{{"open", 0, 1}, {"the", 1, 2}, {"menu", 2, 3}, {"now", 3, 4}};
    auto heard = [](std::vector<std::string> texts) {
        std::vector<RecognizedWord> words;
        for (std::size_t i = 0; i < texts.size(); ++i) words.push_back({double(i), double(i) + 1, texts[i]});
        return words;
    };
    const auto exact = score(reference, heard({"Open", "the", "menu,", "now"}));
    EXPECT_DOUBLE_EQ(exact.wordErrorRate, 0);
    EXPECT_EQ(exact.matches.size(), 4u);

    // One substitution ("a" for "the"), one deletion ("now"), one insertion ("uh").
    const auto rough = score(reference, heard({"open", "uh", "a", "menu"}));
    EXPECT_DOUBLE_EQ(rough.wordErrorRate, 0.75);
    ASSERT_EQ(rough.matches.size(), 2u);
    EXPECT_EQ(rough.matches[0].first.text, "open");
    EXPECT_EQ(rough.matches[1].first.text, "menu");
    EXPECT_DOUBLE_EQ(rough.matches[1].second.start, 3);

    EXPECT_DOUBLE_EQ(score(reference, {}).wordErrorRate, 1);
    EXPECT_GT(score(reference, heard({"a", "b", "c", "d", "e", "f"})).wordErrorRate, 1);
}

std::size_t differingPixels(const RgbaImage& a, const RgbaImage& b, int fromRow) {
    std::size_t count = 0;
    for (int y = fromRow; y < a.height; ++y) {
        for (int x = 0; x < a.width * 4; ++x) {
            const auto index = static_cast<std::size_t>(y * a.stride + x);
            if (std::abs(int(a.pixels[index]) - int(b.pixels[index])) > 40) ++count;
        }
    }
    return count;
}

TEST(CaptionAccuracy, CaptionsOfAnImportedRecordingMatchTheScriptAndShowInTheExport) {
    const auto ffmpeg = FFmpegTool::locate("ffmpeg");
    if (!ffmpeg) GTEST_SKIP() << "ffmpeg is not installed";
    PocketSphinxService speech;
    if (!speech.recognizer("en_US.UTF-8")) GTEST_SKIP() << "the US-English model is not installed";

    TempDir dir;
    std::vector<ScriptWord> script;
    const auto track = layOut(script);
    ASSERT_FALSE(track.empty()) << "the script does not fit the track";
    {
        std::ofstream out(dir / "speech.f32", std::ios::binary);
        out.write(reinterpret_cast<const char*>(track.data()),
                  static_cast<std::streamsize>(track.size() * sizeof(float)));
    }
    ASSERT_TRUE(writePng(stillPicture(), dir / "still.png"));
    const auto movie = dir / "narrated.mp4";
    FFmpegTool::run(
        *ffmpeg,
        {"-nostdin", "-y",         "-loop",    "1",       "-framerate",  "30",  "-i",   (dir / "still.png").string(),
         "-f",       "f32le",      "-ar",      "16000",   "-ac",         "1",   "-i",   (dir / "speech.f32").string(),
         "-map",     "0:v",        "-map",     "1:a",     "-t",          "20",  "-c:v", "libx264",
         "-tune",    "stillimage", "-pix_fmt", "yuv420p", "-c:a",        "aac", "-b:a", "128k",
         "-ar",      "48000",      "-ac",      "2",       movie.string()});

    ManualExecutor executor;
    ToastCenter toasts(executor);
    RecordingLibrary library(LibraryLocation::explicitRoot(dir / "Recordings"), executor, toasts);
    const auto meta = library.importVideo(movie);

    std::vector<CaptionSegment> segments;
    {
        EditorSession session(library.folderOf(meta.id), meta, EditorSettings{}, EditorSession::Access::edit);
        auto recognise = makeCaptionRecognizer(session.state(), CaptionServices{&speech, FFmpegTool::locator()},
                                               std::make_shared<CaptionTask>(), "en_US.UTF-8");
        segments = recognise();
        session.state().modify([&](EditorValues& v) {
            v.edit.captions.captions = segments;
            v.edit.captions.showCaptions = !segments.empty();
        });
        ASSERT_TRUE(session.save());
    }
    ASSERT_FALSE(segments.empty());

    std::vector<RecognizedWord> heard;
    std::string transcript;
    for (const auto& segment : segments) {
        heard.insert(heard.end(), segment.words.begin(), segment.words.end());
        transcript += segment.text + " / ";
    }
    const auto scores = score(script, heard);
    double worst = 0;
    double total = 0;
    for (const auto& [expected, word] : scores.matches) {
        const double error = std::max(std::abs(word.start - expected.start), std::abs(word.end - expected.end));
        total += error;
        worst = std::max(worst, error);
        EXPECT_LE(error, 0.3) << '"' << expected.text << "\" spoken " << expected.start << "-" << expected.end
                              << " s, heard " << word.start << "-" << word.end << " s";
    }
    const double mean = scores.matches.empty() ? 0 : total / static_cast<double>(scores.matches.size());
    std::printf(
        "caption accuracy: WER %.1f%% (%zu script words, %zu heard, %zu matched); word time error mean "
        "%.3f s, worst %.3f s\nheard: %s\n",
        100 * scores.wordErrorRate, script.size(), heard.size(), scores.matches.size(), mean, worst,
        transcript.c_str());
    EXPECT_LE(scores.wordErrorRate, 0.4) << transcript;

    // The saved captions come back with the recording and are drawn into its exported frames while
    // their words are spoken, and not before.
    EditorSession viewed(library.folderOf(meta.id), meta, EditorSettings{});
    ASSERT_EQ(viewed.state().values().edit.captions.captions.size(), segments.size());
    auto shown = std::make_shared<const SceneRenderSnapshot>(viewed.renderSnapshot());
    auto hiddenEdit = viewed.renderSnapshot();
    hiddenEdit.edit.captions.showCaptions = false;
    auto hidden = std::make_shared<const SceneRenderSnapshot>(std::move(hiddenEdit));
    const auto folder = library.folderOf(meta.id).directory;
    const double spokenAt = (segments.front().start + segments.front().end) / 2;
    const double silentAt = 0.2;  // before the first sentence
    ASSERT_LT(silentAt, segments.front().start);
    const auto withCaption = renderOutputFrame(shown, folder, spokenAt, 640, 360);
    const auto withoutCaption = renderOutputFrame(hidden, folder, spokenAt, 640, 360);
    const auto beforeSpeech = renderOutputFrame(shown, folder, silentAt, 640, 360);
    const auto beforeSpeechHidden = renderOutputFrame(hidden, folder, silentAt, 640, 360);
    ASSERT_TRUE(withCaption && withoutCaption && beforeSpeech && beforeSpeechHidden);
    ASSERT_TRUE(withCaption->hasRecordingFrame);
    // The caption plate sits in the lower half; a line of text on it changes thousands of pixels.
    EXPECT_GT(differingPixels(withCaption->image, withoutCaption->image, 180), 2000u);
    EXPECT_EQ(differingPixels(withCaption->image, withoutCaption->image, 0),
              differingPixels(withCaption->image, withoutCaption->image, 180))
        << "a caption drawn above the lower half";
    EXPECT_EQ(differingPixels(beforeSpeech->image, beforeSpeechHidden->image, 0), 0u);
}

}  // namespace
}  // namespace orvane
