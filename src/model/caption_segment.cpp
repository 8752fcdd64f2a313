#include "model/caption_segment.h"

#include <nlohmann/json.hpp>

#include "base/json_depth.h"
#include "model/json_fields.h"

namespace orvane {

std::string encodeCaptionSegments(const std::vector<CaptionSegment>& segments) {
    auto array = nlohmann::json::array();
    for (const auto& segment : segments) {
        auto words = nlohmann::json::array();
        for (const auto& word : segment.words) {
            words.push_back({{"start", word.start}, {"end", word.end}, {"text", word.text}});
        }
        array.push_back({{"id", segment.id.string()},
                         {"start", segment.start},
                         {"end", segment.end},
                         {"text", segment.text},
                         {"words", std::move(words)}});
    }
    return array.dump();
}

std::optional<std::vector<CaptionSegment>> decodeCaptionSegments(std::string_view json, std::string* error) {
    const auto document = parseJsonWithinDepth<nlohmann::json>(json);
    if (document.is_discarded() || !document.is_array()) {
        if (error) *error = "captions: expected an array";
        return std::nullopt;
    }
    std::vector<CaptionSegment> segments;
    for (const auto& element : document) {
        detail::JsonFields fields(element, "CaptionSegment");
        CaptionSegment segment;
        segment.id = fields.uuid("id");
        segment.start = fields.number("start");
        segment.end = fields.number("end");
        segment.text = fields.string("text");
        const auto* words = fields.required("words");
        if (words && !words->is_array()) fields.failKey("words", "is not an array");
        if (fields.ok() && words) {
            for (const auto& wordJson : *words) {
                detail::JsonFields wordFields(wordJson, "CaptionSegment.Word");
                CaptionWord word{wordFields.number("start"), wordFields.number("end"), wordFields.string("text")};
                if (!wordFields.ok()) {
                    wordFields.report(error);
                    return std::nullopt;
                }
                segment.words.push_back(std::move(word));
            }
        }
        if (!fields.ok()) {
            fields.report(error);
            return std::nullopt;
        }
        segments.push_back(std::move(segment));
    }
    return segments;
}

}  // namespace orvane
