#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "base/toast_center.h"
#include "model/caption_segment.h"
#include "model/cut_and_mute_regions.h"

namespace orvane {

class EditorState;

// The hesitations "Remove filler words" takes out, lower case.
inline constexpr std::array<std::string_view, 11> kFillerWords{"um",  "umm", "uhm", "uh",  "uhh", "er",
                                                               "erm", "ah",  "ahh", "hmm", "hm"};
// Each filler's range is widened by this much on both sides (within its segment) so the cut
// catches the breath around it...
inline constexpr double kFillerPadding = 0.06;
// ...and ranges closer than this are merged, so two fillers in a row make one cut.
inline constexpr double kFillerMergeGap = 0.12;

// True when `text`, lower-cased and without surrounding whitespace and punctuation ("Um,"), is one
// of kFillerWords.
bool isFillerWord(std::string_view text);

// A composition range to cut and mute.
struct FillerRange {
    double start = 0;
    double end = 0;

    bool operator==(const FillerRange&) const = default;
};

// The merged ranges of every filler in the captions, sorted by start. A segment without words
// counts as one word spanning the segment.
std::vector<FillerRange> fillerWordRanges(const std::vector<CaptionSegment>& captions);

// Adds a cut region and a mute region over every filler range that no existing cut or mute already
// contains, keeps both lists sorted by start, and answers how many ranges were added. Records no
// undo step. Call on the editor's main executor.
std::size_t muteFillerWords(EditorState& editor);

// What the toolbar shows after muteFillerWords().
struct FillerWordNotice {
    ToastLevel level = ToastLevel::info;
    std::string title;
    std::string detail;
};
FillerWordNotice fillerWordNotice(std::size_t count);

}  // namespace orvane
