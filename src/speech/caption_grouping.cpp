#include "speech/caption_grouping.h"

#include <string>

namespace orvane {

namespace {

// Characters as a reader counts them: code points, not the bytes of their UTF-8.
std::size_t characterCount(const std::string& text) {
    std::size_t count = 0;
    for (unsigned char byte : text) {
        if ((byte & 0xC0) != 0x80) ++count;
    }
    return count;
}

CaptionSegment close(std::vector<CaptionWord> words, std::string text) {
    CaptionSegment segment;
    segment.start = words.front().start;
    segment.end = words.back().end;
    segment.text = std::move(text);
    segment.words = std::move(words);
    return segment;
}

}  // namespace

std::vector<CaptionSegment> groupWordsIntoSegments(const std::vector<CaptionWord>& words) {
    std::vector<CaptionSegment> segments;
    std::vector<CaptionWord> group;
    std::string text;
    for (const auto& word : words) {
        if (!group.empty()) {
            const std::string candidate = text + " " + word.text;
            if (word.end - group.front().start <= kCaptionMaxSeconds &&
                characterCount(candidate) <= kCaptionMaxCharacters) {
                group.push_back(word);
                text = candidate;
                continue;
            }
            segments.push_back(close(std::move(group), std::move(text)));
            group.clear();
        }
        group.push_back(word);
        text = word.text;
    }
    if (!group.empty()) segments.push_back(close(std::move(group), std::move(text)));
    return segments;
}

}  // namespace orvane
