#include "speech/filler_words.h"

#include <algorithm>
#include <cctype>

#include "editor/editor_state.h"

namespace orvane {

namespace {

// Punctuation outside ASCII that recognisers and hand edits put around words.
constexpr std::array<std::string_view, 12> kWidePunctuation{"\u2026", "\u2014", "\u2013", "\u201C", "\u201D", "\u2018",
                                                            "\u2019", "\u00BF", "\u00A1", "\u00AB", "\u00BB", "\u00A0"};

bool isTrimmedByte(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x80 && (std::isspace(byte) != 0 || std::ispunct(byte) != 0);
}

std::string_view trimmed(std::string_view text) {
    bool changed = true;
    while (changed && !text.empty()) {
        changed = false;
        if (isTrimmedByte(text.front())) {
            text.remove_prefix(1);
            changed = true;
        } else if (isTrimmedByte(text.back())) {
            text.remove_suffix(1);
            changed = true;
        }
        for (auto mark : kWidePunctuation) {
            if (text.starts_with(mark)) {
                text.remove_prefix(mark.size());
                changed = true;
            }
            if (text.ends_with(mark)) {
                text.remove_suffix(mark.size());
                changed = true;
            }
        }
    }
    return text;
}

template <typename Region>
bool containedIn(const std::vector<Region>& regions, const FillerRange& range) {
    return std::any_of(regions.begin(), regions.end(),
                       [&](const Region& r) { return r.start <= range.start && range.end <= r.end; });
}

}  // namespace

bool isFillerWord(std::string_view text) {
    const auto core = trimmed(text);
    std::string lower(core);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return std::find(kFillerWords.begin(), kFillerWords.end(), lower) != kFillerWords.end();
}

std::vector<FillerRange> fillerWordRanges(const std::vector<CaptionSegment>& captions) {
    std::vector<FillerRange> ranges;
    for (const auto& segment : captions) {
        if (segment.words.empty()) {
            if (isFillerWord(segment.text)) ranges.push_back({segment.start, segment.end});
            continue;
        }
        for (const auto& word : segment.words) {
            if (!isFillerWord(word.text)) continue;
            const FillerRange range{std::max(word.start - kFillerPadding, segment.start),
                                    std::min(word.end + kFillerPadding, segment.end)};
            if (range.start < range.end) ranges.push_back(range);
        }
    }
    std::sort(ranges.begin(), ranges.end(),
              [](const FillerRange& a, const FillerRange& b) { return a.start < b.start; });
    std::vector<FillerRange> merged;
    for (const auto& range : ranges) {
        if (!merged.empty() && range.start <= merged.back().end + kFillerMergeGap) {
            merged.back().end = std::max(merged.back().end, range.end);
        } else {
            merged.push_back(range);
        }
    }
    return merged;
}

std::size_t muteFillerWords(EditorState& editor) {
    const auto ranges = fillerWordRanges(editor.values().edit.captions.captions);
    if (ranges.empty()) return 0;
    std::size_t added = 0;
    editor.modify([&](EditorValues& v) {
        auto& cuts = v.edit.timeline.cutRegions;
        auto& mutes = v.edit.audio.muteRegions;
        for (const auto& range : ranges) {
            if (containedIn(cuts, range) || containedIn(mutes, range)) continue;
            cuts.push_back(CutRegion{Uuid::random(), range.start, range.end});
            mutes.push_back(MuteRegion{Uuid::random(), range.start, range.end});
            ++added;
        }
        std::stable_sort(cuts.begin(), cuts.end(),
                         [](const CutRegion& a, const CutRegion& b) { return a.start < b.start; });
        std::stable_sort(mutes.begin(), mutes.end(),
                         [](const MuteRegion& a, const MuteRegion& b) { return a.start < b.start; });
    });
    return added;
}

FillerWordNotice fillerWordNotice(std::size_t count) {
    if (count == 0) {
        return {ToastLevel::info, "No isolated fillers found",
                "Generate captions first, or the audio reads as clean speech already."};
    }
    return {ToastLevel::success, "Muted " + std::to_string(count) + " filler" + (count == 1 ? "" : "s"),
            "Drag the red mute regions on the Original track to fine-tune."};
}

}  // namespace orvane
