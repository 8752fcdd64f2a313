#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/geometry.h"
#include "model/caption_segment.h"
#include "render/backdrop/caption_layout.h"

namespace orvane {

// The caption shown at `t` without a cache: the first in the list with start <= t <= end whose
// trimmed text is not empty.
std::optional<std::size_t> captionIndexShowing(const std::vector<CaptionSegment>& captions, double t);

// Caption layouts for one render job. Frames arrive in increasing time, so the active caption is
// found by moving an index forward rather than by scanning, and each distinct text is measured once.
// Asking for an earlier time than before never moves the index back. Used by one worker only.
class CaptionRenderCache {
public:
    CaptionRenderCache(std::vector<CaptionSegment> captions, const Rect& canvas);

    // The layout of the caption showing at `t`, or null. The pointer stays valid for the cache's life.
    const CaptionLayout* layout(double t);

    std::size_t activeIndex() const { return activeIndex_; }
    std::size_t measuredTextCount() const { return layouts_.size(); }

private:
    std::vector<CaptionSegment> captions_;  // sorted by start
    std::vector<std::string> trimmedTexts_;
    Rect canvas_;
    std::size_t activeIndex_ = 0;
    std::unordered_map<std::string, CaptionLayout> layouts_;
};

}  // namespace orvane
