#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/uuid.h"

namespace orvane {

// One recognised word, with its times as the recogniser returned them.
struct CaptionWord {
    double start = 0;
    double end = 0;
    std::string text;

    bool operator==(const CaptionWord&) const = default;
};

// A run of words shown together. Times are composition times when made from the edit's audio,
// source times when made from the screen video.
struct CaptionSegment {
    using Word = CaptionWord;

    Uuid id = Uuid::random();
    double start = 0;
    double end = 0;
    std::string text;  // the words joined by single spaces
    std::vector<Word> words;

    bool operator==(const CaptionSegment&) const = default;
};

// captions.json: an array of {"id", "start", "end", "text", "words": [{"start", "end", "text"}]},
// encoded with default settings (compact). Decoding requires every key of every element and
// answers nothing otherwise; `error` then receives a message naming the offending key.
std::string encodeCaptionSegments(const std::vector<CaptionSegment>& segments);
std::optional<std::vector<CaptionSegment>> decodeCaptionSegments(std::string_view json,
                                                                 std::string* error = nullptr);

}  // namespace orvane
