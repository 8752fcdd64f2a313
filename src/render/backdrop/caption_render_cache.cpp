#include "render/backdrop/caption_render_cache.h"

#include <algorithm>

#include "base/text.h"

namespace orvane {

std::optional<std::size_t> captionIndexShowing(const std::vector<CaptionSegment>& captions, double t) {
    for (std::size_t i = 0; i < captions.size(); ++i) {
        const CaptionSegment& caption = captions[i];
        if (caption.start <= t && t <= caption.end && !trimWhitespaceAndNewlines(caption.text).empty()) return i;
    }
    return std::nullopt;
}

CaptionRenderCache::CaptionRenderCache(std::vector<CaptionSegment> captions, const Rect& canvas)
    : captions_(std::move(captions)), canvas_(canvas) {
    std::stable_sort(captions_.begin(), captions_.end(),
                     [](const CaptionSegment& a, const CaptionSegment& b) { return a.start < b.start; });
    trimmedTexts_.reserve(captions_.size());
    for (const CaptionSegment& caption : captions_) trimmedTexts_.push_back(trimWhitespaceAndNewlines(caption.text));
}

const CaptionLayout* CaptionRenderCache::layout(double t) {
    while (activeIndex_ < captions_.size() && captions_[activeIndex_].end < t) ++activeIndex_;
    if (activeIndex_ >= captions_.size()) return nullptr;
    const CaptionSegment& caption = captions_[activeIndex_];
    const std::string& text = trimmedTexts_[activeIndex_];
    if (!(caption.start <= t && t <= caption.end) || text.empty()) return nullptr;
    auto found = layouts_.find(text);
    if (found == layouts_.end()) found = layouts_.emplace(text, captionLayout(text, canvas_)).first;
    return &found->second;
}

}  // namespace orvane
