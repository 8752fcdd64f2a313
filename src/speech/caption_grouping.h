#pragma once

#include <vector>

#include "model/caption_segment.h"

namespace orvane {

// A caption segment lasts at most this long from its first word's start to its last word's end...
inline constexpr double kCaptionMaxSeconds = 4.5;
// ...and its words joined by single spaces are at most this many characters (Unicode code points).
inline constexpr std::size_t kCaptionMaxCharacters = 80;

// Groups recognised words, in spoken order, into caption segments: a word joins the open segment
// while both limits hold, otherwise it opens the next one. A single word over the character limit
// still makes a segment of its own. Gaps between words never split a segment, and no word is
// dropped or changed. Each segment gets a new id.
std::vector<CaptionSegment> groupWordsIntoSegments(const std::vector<CaptionWord>& words);

}  // namespace orvane
