#include "speech/caption_grouping.h"

#include <gtest/gtest.h>

#include <string>

namespace orvane {
namespace {

CaptionWord word(double start, double end, std::string text) { return {start, end, std::move(text)}; }

std::vector<std::string> texts(const std::vector<CaptionSegment>& segments) {
    std::vector<std::string> out;
    for (const auto& segment : segments) out.push_back(segment.text);
    return out;
}

TEST(CaptionGrouping, TheDurationLimitIncludesAWordEndingExactlyAtItAndNotOnePast) {
    const auto segments = groupWordsIntoSegments(
        {word(0.0, 0.4, "one"), word(3.9, 4.5, "two"), word(4.5, 4.6, "three"), word(4.7, 5.0, "four")});
    ASSERT_EQ(segments.size(), 2u);
    EXPECT_EQ(texts(segments), (std::vector<std::string>{"one two", "three four"}));
    EXPECT_DOUBLE_EQ(segments[0].start, 0.0);
    EXPECT_DOUBLE_EQ(segments[0].end, 4.5);
    // The new segment's clock starts at its own first word.
    EXPECT_DOUBLE_EQ(segments[1].start, 4.5);
    EXPECT_DOUBLE_EQ(segments[1].end, 5.0);
    EXPECT_EQ(segments[1].words.size(), 2u);
    EXPECT_NE(segments[0].id, segments[1].id);
}

TEST(CaptionGrouping, TheCharacterLimitClosesASegmentBeforeTheWordThatWouldPassIt) {
    // Nine-letter words: eight of them joined make 8 * 9 + 7 = 79 characters, a ninth would make 89.
    std::vector<CaptionWord> words;
    for (int i = 0; i < 9; ++i) words.push_back(word(i * 0.1, i * 0.1 + 0.05, "abcdefgh" + std::to_string(i)));
    auto segments = groupWordsIntoSegments(words);
    ASSERT_EQ(segments.size(), 2u);
    EXPECT_EQ(segments[0].text.size(), 79u);
    EXPECT_EQ(segments[1].text, "abcdefgh8");

    // Exactly 80 still fits; 81 does not.
    words = {word(0, 0.1, std::string(39, 'a')), word(0.2, 0.3, std::string(40, 'b')), word(0.4, 0.5, "c")};
    segments = groupWordsIntoSegments(words);
    ASSERT_EQ(segments.size(), 2u);
    EXPECT_EQ(segments[0].text.size(), 80u);

    // Characters, not bytes: twenty "é" count twenty.
    std::string accented;
    for (int i = 0; i < 39; ++i) accented += "\u00E9";
    segments = groupWordsIntoSegments({word(0, 0.1, accented), word(0.2, 0.3, accented)});
    EXPECT_EQ(segments.size(), 1u);
}

TEST(CaptionGrouping, KeepsEveryWordAsItCameAndLongWordsStandAlone) {
    EXPECT_TRUE(groupWordsIntoSegments({}).empty());
    const std::string huge(95, 'x');
    const auto segments =
        groupWordsIntoSegments({word(0, 0.2, "Hello,"), word(0.3, 0.5, huge), word(0.6, 0.7, "world."),
                                // a long pause does not split by itself
                                word(4.0, 4.4, "again")});
    EXPECT_EQ(texts(segments), (std::vector<std::string>{"Hello,", huge, "world. again"}));
    std::size_t words = 0;
    for (const auto& segment : segments) words += segment.words.size();
    EXPECT_EQ(words, 4u);
    EXPECT_EQ(segments[2].words[1], word(4.0, 4.4, "again"));
}

}  // namespace
}  // namespace orvane
