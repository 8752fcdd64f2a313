#include "speech/filler_words.h"

#include <gtest/gtest.h>

#include "editor/editor_state.h"

namespace orvane {
namespace {

CaptionSegment segment(double start, double end, std::vector<CaptionWord> words, std::string text = "") {
    CaptionSegment s;
    s.start = start;
    s.end = end;
    s.words = std::move(words);
    s.text = std::move(text);
    return s;
}

TEST(FillerWords, RecognisesFillersThroughCaseAndPunctuationButNotInsideWords) {
    for (const char* filler : {"um", "Um,", "UMM", "uhm", "uh...", "\"uhh\"", "er", "erm!", "ah", "ahh", "Hmm?", "hm",
                               " uh\n", "\u2014um\u2026"}) {
        EXPECT_TRUE(isFillerWord(filler)) << filler;
    }
    for (const char* word : {"Umbrella", "huh", "ahem", "er-um", "", ",", "errr"})
        EXPECT_FALSE(isFillerWord(word)) << word;
}

TEST(FillerWords, RangesArePaddedWithinTheSegmentAndMergedWhenClose) {
    const auto ranges = fillerWordRanges({
        // Two fillers 0.1 s apart: padded ranges 0.94-1.26 and 1.34-1.56 merge.
        segment(0.0, 3.0, {{0.5, 0.9, "so"}, {1.0, 1.2, "um"}, {1.3, 1.5, "uh"}, {1.6, 2.0, "right"}}),
        // Padding stops at the segment's edges.
        segment(5.0, 5.3, {{5.0, 5.1, "Hmm,"}, {5.15, 5.3, "yes"}}),
        // A segment without words is judged by its text and cut whole.
        segment(8.0, 8.4, {}, " Erm. "),
        segment(9.0, 9.5, {}, "Umbrella"),
    });
    ASSERT_EQ(ranges.size(), 3u);
    EXPECT_NEAR(ranges[0].start, 0.94, 1e-9);
    EXPECT_NEAR(ranges[0].end, 1.56, 1e-9);
    EXPECT_DOUBLE_EQ(ranges[1].start, 5.0);
    EXPECT_NEAR(ranges[1].end, 5.16, 1e-9);
    EXPECT_EQ(ranges[2], (FillerRange{8.0, 8.4}));

    // More than 0.12 s between padded ranges keeps them apart; a word with no length left after
    // clamping is dropped.
    const auto apart =
        fillerWordRanges({segment(0, 3, {{1.0, 1.2, "um"}, {1.45, 1.6, "uh"}}), segment(4, 4, {{4, 4, "uh"}})});
    ASSERT_EQ(apart.size(), 2u);
    EXPECT_NEAR(apart[0].end, 1.26, 1e-9);
    EXPECT_NEAR(apart[1].start, 1.39, 1e-9);
}

TEST(FillerWords, MutingAddsCutsAndMutesOnceAndSkipsWhatIsAlreadyMuted) {
    EditorState editor(Uuid::random(), "/tmp/screen.mp4");
    EXPECT_EQ(muteFillerWords(editor), 0u);  // no captions yet

    editor.modify([](EditorValues& v) {
        v.edit.captions.captions = {segment(0, 10, {{1.0, 1.2, "um"}, {2.0, 2.5, "hello"}, {6.0, 6.2, "uh"}})};
        // The second filler already lies inside a mute the user made; an earlier cut is kept.
        v.edit.audio.muteRegions = {MuteRegion{Uuid::random(), 5.5, 7.0}};
        v.edit.timeline.cutRegions = {CutRegion{Uuid::random(), 3.0, 3.5}};
    });
    const auto undoDepth = editor.undoStack().size();
    EXPECT_EQ(muteFillerWords(editor), 1u);
    const auto& v = editor.values();
    ASSERT_EQ(v.edit.audio.muteRegions.size(), 2u);
    ASSERT_EQ(v.edit.timeline.cutRegions.size(), 2u);
    // Sorted by start, the new ones first.
    EXPECT_NEAR(v.edit.audio.muteRegions[0].start, 0.94, 1e-9);
    EXPECT_NEAR(v.edit.audio.muteRegions[0].end, 1.26, 1e-9);
    EXPECT_NEAR(v.edit.timeline.cutRegions[0].start, 0.94, 1e-9);
    EXPECT_DOUBLE_EQ(v.edit.timeline.cutRegions[1].start, 3.0);
    EXPECT_EQ(editor.undoStack().size(), undoDepth);

    // Running it again finds everything already covered.
    EXPECT_EQ(muteFillerWords(editor), 0u);
    EXPECT_EQ(editor.values().edit.audio.muteRegions.size(), 2u);
}

TEST(FillerWords, NoticeWordsFollowTheCount) {
    EXPECT_EQ(fillerWordNotice(0).title, "No isolated fillers found");
    EXPECT_EQ(fillerWordNotice(0).detail, "Generate captions first, or the audio reads as clean speech already.");
    EXPECT_EQ(fillerWordNotice(1).title, "Muted 1 filler");
    EXPECT_EQ(fillerWordNotice(1).level, ToastLevel::success);
    EXPECT_EQ(fillerWordNotice(3).title, "Muted 3 fillers");
    EXPECT_EQ(fillerWordNotice(3).detail, "Drag the red mute regions on the Original track to fine-tune.");
}

}  // namespace
}  // namespace orvane
