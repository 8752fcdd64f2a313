#include "model/edit.h"

#include <algorithm>

namespace orvane {

namespace {

template <typename Item>
void clampRanges(std::vector<Item>& items, double Item::*start, double Item::*end, double length) {
    for (auto& item : items) {
        item.*start = std::clamp(item.*start, 0.0, length);
        item.*end = std::clamp(item.*end, 0.0, length);
    }
}

template <typename Placed>
void clampPlacement(std::vector<Placed>& items, double length) {
    for (auto& item : items) {
        item.startTime = std::clamp(item.startTime, 0.0, length);
        item.duration = std::clamp(item.duration, 0.0, length - item.startTime);
        item.sourceStart = std::clamp(item.sourceStart, 0.0, kMaximumEditLength);
    }
}

}  // namespace

void keepEditWithin(Edit& edit, double length) {
    length = std::clamp(length, 0.0, kMaximumEditLength);
    auto& timeline = edit.timeline;
    timeline.trimStart = std::clamp(timeline.trimStart, 0.0, length);
    timeline.trimEnd = std::clamp(timeline.trimEnd, 0.0, length);
    clampRanges(timeline.zoomRegions, &ZoomRegion::start, &ZoomRegion::end, length);
    clampRanges(timeline.speedRamps, &SpeedRamp::start, &SpeedRamp::end, length);
    clampRanges(edit.audio.muteRegions, &MuteRegion::start, &MuteRegion::end, length);
    clampRanges(edit.captions.captions, &CaptionSegment::start, &CaptionSegment::end, length);
    clampRanges(edit.cursor.cursorInteractions, &CursorInteraction::startTime, &CursorInteraction::endTime, length);
    clampRanges(edit.cursor.cursorStyleOverrides, &CursorStyleOverride::startTime, &CursorStyleOverride::endTime,
                length);
    for (auto& annotation : edit.cursor.annotations) annotation.time = std::clamp(annotation.time, 0.0, length);
    clampPlacement(edit.audio.voiceClips, length);
    clampPlacement(edit.overlays.videoOverlays, length);
}

void applyCursorVisualStyle(CursorEdit& cursor, CursorVisualStyle style) {
    cursor.cursorVisualStyle = style;
    cursor.showCursorRing = style == CursorVisualStyle::ring;
}

CursorClickAnimationStyle normalizedClickAnimationStyle(CursorClickAnimationStyle style) {
    return style == CursorClickAnimationStyle::brush ? CursorClickAnimationStyle::pulse : style;
}

}  // namespace orvane
