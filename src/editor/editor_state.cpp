#include "editor/editor_state.h"

#include <algorithm>
#include <tuple>
#include <unordered_map>

#include "model/clip_gap.h"
#include "model/edit_fields.h"
#include "model/time_mapping.h"

namespace orvane {

namespace {

// Edges closer than this to a cut cannot be split off or trimmed to.
constexpr double kMinimumPieceLength = 0.05;
// Automatic spacing and length limits of a zoom added at the playhead.
constexpr double kZoomGap = 0.15;
constexpr double kMinimumZoomLength = 0.4;
constexpr double kMinimumRampLength = 0.3;
// How long an imported picture stays on screen when the caller has no length for it.
constexpr double kDefaultPictureDuration = 5.0;

template <typename Item>
void sortByStart(std::vector<Item>& items) {
    std::stable_sort(items.begin(), items.end(),
                     [](const Item& lhs, const Item& rhs) { return lhs.start < rhs.start; });
}

template <typename Item>
Item* findByID(std::vector<Item>& items, const Uuid& id) {
    const auto found = std::find_if(items.begin(), items.end(), [&](const Item& item) { return item.id == id; });
    return found == items.end() ? nullptr : &*found;
}

template <typename Item>
const Item* findByID(const std::vector<Item>& items, const Uuid& id) {
    const auto found = std::find_if(items.begin(), items.end(), [&](const Item& item) { return item.id == id; });
    return found == items.end() ? nullptr : &*found;
}

void clearSelections(EditorValues& values) {
    values.selectedZoomID.reset();
    values.selectedMuteID.reset();
    values.selectedClipID.reset();
    values.selectedScreenClipID.reset();
    values.selectedVideoOverlayID.reset();
    values.isRecordingFrameSelected = false;
}

double compositionLength(const std::vector<Clip>& clips) {
    double total = 0;
    for (const auto& clip : clips) total += clip.headOffset + clipLength(clip);
    return total;
}

// Collapses a removed range a...b: times before it stay, times inside land on `a`, times after
// move back by its length.
struct RippleMap {
    double a;
    double b;
    double operator()(double x) const {
        if (x <= a) return x;
        if (x < b) return a;
        return x - (b - a);
    }
};

template <typename Ranged>
void rippleRanges(std::vector<Ranged>& items, const RippleMap& f) {
    std::erase_if(items, [&](const Ranged& item) { return item.start >= f.a && item.end <= f.b; });
    for (auto& item : items) {
        item.start = f(item.start);
        item.end = f(item.end);
    }
}

template <typename Placed>
void ripplePlaced(std::vector<Placed>& items, const RippleMap& f) {
    std::erase_if(items, [&](const Placed& item) {
        return item.startTime >= f.a && item.startTime + item.duration <= f.b;
    });
    for (auto& item : items) {
        const double oldEnd = item.startTime + item.duration;
        item.startTime = f(item.startTime);
        item.duration = std::max(f(oldEnd) - item.startTime, 0.0);
    }
}

void rippleRemove(EditorValues& values, double a, double b) {
    if (b - a <= 0) return;
    const RippleMap f{a, b};
    rippleRanges(values.edit.timeline.zoomRegions, f);
    rippleRanges(values.edit.audio.muteRegions, f);
    rippleRanges(values.edit.captions.captions, f);
    ripplePlaced(values.edit.audio.voiceClips, f);
    ripplePlaced(values.edit.overlays.videoOverlays, f);
    values.edit.timeline.trimStart = f(values.edit.timeline.trimStart);
    values.edit.timeline.trimEnd = f(values.edit.timeline.trimEnd);
    values.currentTime = f(values.currentTime);
    values.edit.timeline.duration = compositionLength(values.edit.timeline.clips);
    if (values.edit.timeline.trimEnd > values.edit.timeline.duration)
        values.edit.timeline.trimEnd = values.edit.timeline.duration;
}

// The timed-item split: the item keeps its id and ends at t; a copy continues from t.
template <typename Placed>
bool splitPlaced(std::vector<Placed>& items, const Uuid& id, double t) {
    const auto found = std::find_if(items.begin(), items.end(), [&](const Placed& item) { return item.id == id; });
    if (found == items.end()) return false;
    Placed& item = *found;
    if (!(item.startTime + kMinimumPieceLength < t && t < item.startTime + item.duration - kMinimumPieceLength)) {
        return false;
    }
    Placed tail = item;
    tail.id = Uuid::random();
    tail.startTime = t;
    tail.sourceStart = item.sourceStart + (t - item.startTime);
    tail.duration = item.startTime + item.duration - t;
    item.duration = t - item.startTime;
    items.insert(found + 1, std::move(tail));
    return true;
}

template <typename Placed>
bool canSplitPlaced(const std::vector<Placed>& items, const Uuid& id, double t) {
    const auto* item = findByID(items, id);
    return item && item->startTime + kMinimumPieceLength < t &&
           t < item->startTime + item->duration - kMinimumPieceLength;
}

}  // namespace

bool persistedValuesDiffer(const EditorValues& a, const EditorValues& b) {
    if (a.videoPath != b.videoPath || a.lastAppliedRemoteUpdatedAt != b.lastAppliedRemoteUpdatedAt) return true;
    bool differ = false;
    forEachEditField(
        [&](const auto& field, const auto& x, const auto& y) {
            if (field.traits.saved != Saved::never && field.of(x) != field.of(y)) differ = true;
        },
        a.edit, b.edit);
    return differ;
}

EditorState::EditorState(Uuid recordingID, std::filesystem::path videoPath) : recordingID_(recordingID) {
    values_.videoPath = std::move(videoPath);
}

void EditorState::modify(const std::function<void(EditorValues&)>& change, ChangeSource source) {
    const EditorValues before = values_;
    change(values_);
    if (values_ == before) return;
    changed.emit(EditorChange{persistedValuesDiffer(before, values_), source});
}

double EditorState::clipsDuration() const { return compositionLength(values_.edit.timeline.clips); }

// --- Undo ---------------------------------------------------------------------------------------

EditorState::Snapshot EditorState::snapshot() const {
    Snapshot s;
    forEachEditField(
        [](const auto& field, const auto& from, auto& to) {
            if (field.traits.undoable) field.of(to) = field.of(from);
        },
        values_.edit, s.edit);
    s.annotationsEnabled.reserve(values_.edit.cursor.annotations.size());
    for (const auto& annotation : values_.edit.cursor.annotations) {
        s.annotationsEnabled.emplace_back(annotation.id, annotation.enabled);
    }
    return s;
}

void EditorState::pushUndo() {
    auto current = snapshot();
    if (!undoStack_.empty() && undoStack_.back() == current) return;
    if (undoStack_.size() >= maxUndoDepth) undoStack_.erase(undoStack_.begin());
    undoStack_.push_back(std::move(current));
    redoStack_.clear();
}

void EditorState::undo() {
    if (undoStack_.empty()) return;
    const Snapshot target = std::move(undoStack_.back());
    undoStack_.pop_back();
    redoStack_.push_back(snapshot());
    restore(target);
}

void EditorState::redo() {
    if (redoStack_.empty()) return;
    const Snapshot target = std::move(redoStack_.back());
    redoStack_.pop_back();
    undoStack_.push_back(snapshot());
    restore(target);
}

void EditorState::restore(const Snapshot& s) {
    modify([&](EditorValues& v) {
        forEachEditField(
            [](const auto& field, const auto& from, auto& to) {
                if (field.traits.undoable) field.of(to) = field.of(from);
            },
            s.edit, v.edit);
        // Annotations added since the snapshot keep their own flag.
        std::unordered_map<Uuid, bool> enabled(s.annotationsEnabled.begin(), s.annotationsEnabled.end());
        for (auto& annotation : v.edit.cursor.annotations) {
            if (const auto found = enabled.find(annotation.id); found != enabled.end()) {
                annotation.enabled = found->second;
            }
        }
        auto& cursor = v.edit.cursor;
        applyCursorVisualStyle(cursor, cursor.cursorVisualStyle);
        cursor.cursorClickAnimationStyle = normalizedClickAnimationStyle(cursor.cursorClickAnimationStyle);
        cursor.cursorIconSymbol = normalizedCursorIconSymbol(cursor.cursorIconSymbol);
    });
}

template <typename Apply>
void EditorState::undoableSet(Apply apply) {
    EditorValues next = values_;
    apply(next);
    if (next == values_) return;
    pushUndo();
    modify([&](EditorValues& v) { v = std::move(next); });
}

// --- Selection and playhead -----------------------------------------------------------------------

void EditorState::select(EditorSelectionKind kind, std::optional<Uuid> id) {
    modify([&](EditorValues& v) {
        clearSelections(v);
        switch (kind) {
            case EditorSelectionKind::zoom: v.selectedZoomID = id; break;
            case EditorSelectionKind::mute: v.selectedMuteID = id; break;
            case EditorSelectionKind::audioClip: v.selectedClipID = id; break;
            case EditorSelectionKind::screenClip: v.selectedScreenClipID = id; break;
            case EditorSelectionKind::overlay: v.selectedVideoOverlayID = id; break;
            case EditorSelectionKind::recordingFrame: v.isRecordingFrameSelected = true; break;
        }
    });
}

void EditorState::selectSpeedRamp(std::optional<Uuid> id) {
    modify([&](EditorValues& v) { v.selectedSpeedRampID = id; });
}

void EditorState::seek(double time) {
    requestedSeekTime = time;
    modify([&](EditorValues& v) {
        v.currentTime = time;
        v.seekRequestID = Uuid::random();
    });
}

// --- Zooms --------------------------------------------------------------------------------------

bool EditorState::addZoomAtPlayhead() {
    const auto& v = values_;
    const double length = std::clamp(v.edit.timeline.duration * 0.1, 1.5, 3.0);
    double start = std::max(v.edit.timeline.trimStart, v.currentTime - length / 2);
    auto existing = v.edit.timeline.zoomRegions;
    sortByStart(existing);
    for (const auto& zoom : existing) {
        if (start < zoom.end + kZoomGap && zoom.start - kZoomGap < start + length) start = zoom.end + kZoomGap;
    }
    const double end = std::min(start + length, v.edit.timeline.trimEnd);
    if (end - start < kMinimumZoomLength) return false;

    pushUndo();
    ZoomRegion zoom;
    zoom.start = start;
    zoom.end = end;
    modify([&](EditorValues& values) {
        values.edit.timeline.automaticZoomsSuppressed = true;
        values.edit.timeline.zoomRegions.push_back(zoom);
        sortByStart(values.edit.timeline.zoomRegions);
        clearSelections(values);
        values.selectedZoomID = zoom.id;
    });
    return true;
}

void EditorState::updateZoom(const Uuid& id, const std::function<void(ZoomRegion&)>& change) {
    if (!findByID(values_.edit.timeline.zoomRegions, id)) return;
    modify([&](EditorValues& v) {
        v.edit.timeline.automaticZoomsSuppressed = true;
        change(*findByID(v.edit.timeline.zoomRegions, id));
    });
}

bool EditorState::removeSelectedZoom() {
    if (!values_.selectedZoomID || !findByID(values_.edit.timeline.zoomRegions, *values_.selectedZoomID)) return false;
    pushUndo();
    modify([&](EditorValues& v) {
        v.edit.timeline.automaticZoomsSuppressed = true;
        const Uuid id = *v.selectedZoomID;
        std::erase_if(v.edit.timeline.zoomRegions, [&](const ZoomRegion& zoom) { return zoom.id == id; });
        v.selectedZoomID.reset();
    });
    return true;
}

// --- Screen clips -------------------------------------------------------------------------------

bool EditorState::splitClip(const Uuid& id, double t) {
    const auto range = clipRange(id, values_.edit.timeline.clips);
    if (!range) return false;
    if (t <= range->compositionStart + kMinimumPieceLength || t >= range->compositionEnd - kMinimumPieceLength) {
        return false;
    }
    const Clip& clip = *findByID(values_.edit.timeline.clips, id);
    const double cut = (t - range->compositionStart) + clip.sourceStart;
    if (!(clip.sourceStart + kMinimumPieceLength < cut && cut < clip.sourceEnd - kMinimumPieceLength)) return false;

    pushUndo();
    modify([&](EditorValues& v) {
        const auto found = std::find_if(v.edit.timeline.clips.begin(), v.edit.timeline.clips.end(),
                                        [&](const Clip& c) { return c.id == id; });
        Clip tail;
        tail.sourceFile = found->sourceFile;
        tail.sourceStart = cut;
        tail.sourceEnd = found->sourceEnd;
        tail.headOffset = 0;
        found->sourceEnd = cut;
        found->headOffset = std::max(found->headOffset, 0.0);
        const Uuid tailID = tail.id;
        v.edit.timeline.clips.insert(found + 1, std::move(tail));
        clearSelections(v);
        v.selectedScreenClipID = tailID;
    });
    return true;
}

bool EditorState::setClipSourceStart(const Uuid& id, double sourceStart) {
    const Clip* clip = findByID(values_.edit.timeline.clips, id);
    if (!clip || sourceStart > clip->sourceEnd - kMinimumPieceLength) return false;
    modify([&](EditorValues& v) { findByID(v.edit.timeline.clips, id)->sourceStart = std::max(sourceStart, 0.0); });
    return true;
}

bool EditorState::setClipSourceEnd(const Uuid& id, double sourceEnd) {
    const Clip* clip = findByID(values_.edit.timeline.clips, id);
    if (!clip || sourceEnd < clip->sourceStart + kMinimumPieceLength) return false;
    modify([&](EditorValues& v) {
        findByID(v.edit.timeline.clips, id)->sourceEnd = sourceEnd;
        clearSelections(v);
        v.selectedScreenClipID = id;
    });
    return true;
}

bool EditorState::setClipHeadOffset(const Uuid& id, double headOffset) {
    if (!findByID(values_.edit.timeline.clips, id)) return false;
    modify([&](EditorValues& v) {
        findByID(v.edit.timeline.clips, id)->headOffset = std::clamp(headOffset, 0.0, kMaximumClipGap);
    });
    return true;
}

bool EditorState::moveClip(long from, long to) {
    const long count = static_cast<long>(values_.edit.timeline.clips.size());
    if (from < 0 || from == to || from >= count) return false;
    to = std::clamp(to, 0L, count);
    if (to == from) return false;
    pushUndo();
    modify([&](EditorValues& v) {
        Clip moved = v.edit.timeline.clips[static_cast<std::size_t>(from)];
        v.edit.timeline.clips.erase(v.edit.timeline.clips.begin() + from);
        const long destination = from < to ? to - 1 : to;
        v.edit.timeline.clips.insert(v.edit.timeline.clips.begin() + destination, std::move(moved));
    });
    return true;
}

bool EditorState::deleteClip(const Uuid& id) {
    if (values_.edit.timeline.clips.size() < 2) return false;
    const auto& clips = values_.edit.timeline.clips;
    const auto found = std::find_if(clips.begin(), clips.end(), [&](const Clip& c) { return c.id == id; });
    if (found == clips.end()) return false;
    double spanStart = 0;
    for (auto it = clips.begin(); it != found; ++it) spanStart += it->headOffset + clipLength(*it);
    const double spanLength = found->headOffset + clipLength(*found);
    const auto index = found - clips.begin();

    pushUndo();
    modify([&](EditorValues& v) {
        v.edit.timeline.clips.erase(v.edit.timeline.clips.begin() + index);
        rippleRemove(v, spanStart, spanStart + spanLength);
        if (v.selectedScreenClipID == id) v.selectedScreenClipID.reset();
        if (v.selectedZoomID && !findByID(v.edit.timeline.zoomRegions, *v.selectedZoomID)) v.selectedZoomID.reset();
        if (v.selectedMuteID && !findByID(v.edit.audio.muteRegions, *v.selectedMuteID)) v.selectedMuteID.reset();
        if (v.selectedClipID && !findByID(v.edit.audio.voiceClips, *v.selectedClipID)) v.selectedClipID.reset();
        if (v.selectedVideoOverlayID && !findByID(v.edit.overlays.videoOverlays, *v.selectedVideoOverlayID)) {
            v.selectedVideoOverlayID.reset();
        }
    });
    return true;
}

bool EditorState::appendClip(const std::string& fileName, double duration) {
    if (!(duration > 0)) return false;
    pushUndo();
    modify([&](EditorValues& v) {
        Clip clip;
        clip.sourceFile = fileName;
        clip.sourceStart = 0;
        clip.sourceEnd = duration;
        clip.headOffset = 0;
        v.edit.timeline.clips.push_back(std::move(clip));
        v.edit.timeline.duration = compositionLength(v.edit.timeline.clips);
        if (v.edit.timeline.trimEnd < v.edit.timeline.duration) v.edit.timeline.trimEnd = v.edit.timeline.duration;
    });
    return true;
}

void EditorState::removeTimeRange(double a, double b) {
    if (b - a <= 0) return;
    modify([&](EditorValues& v) { rippleRemove(v, a, b); });
}

// --- Timed items --------------------------------------------------------------------------------

bool EditorState::splitVoiceClip(const Uuid& id, double t) {
    if (!canSplitPlaced(values_.edit.audio.voiceClips, id, t)) return false;
    pushUndo();
    modify([&](EditorValues& v) { splitPlaced(v.edit.audio.voiceClips, id, t); });
    return true;
}

bool EditorState::splitOverlay(const Uuid& id, double t) {
    if (!canSplitPlaced(values_.edit.overlays.videoOverlays, id, t)) return false;
    pushUndo();
    modify([&](EditorValues& v) { splitPlaced(v.edit.overlays.videoOverlays, id, t); });
    return true;
}

bool EditorState::splitAtPlayhead(double t) {
    const auto& v = values_;
    if (v.selectedClipID && findByID(v.edit.audio.voiceClips, *v.selectedClipID))
        return splitVoiceClip(*v.selectedClipID, t);
    if (v.selectedVideoOverlayID && findByID(v.edit.overlays.videoOverlays, *v.selectedVideoOverlayID)) {
        return splitOverlay(*v.selectedVideoOverlayID, t);
    }
    if (v.selectedScreenClipID && findByID(v.edit.timeline.clips, *v.selectedScreenClipID)) {
        return splitClip(*v.selectedScreenClipID, t);
    }
    const auto under = clipMapping(t, v.edit.timeline.clips);
    return under && splitClip(under->clipID, t);
}

template <typename Item>
bool EditorState::updateItem(std::vector<Item>& (*list)(Edit&), const Uuid& id,
                             const std::function<void(Item&)>& change) {
    Edit current_ = values_.edit;
    const Item* current = findByID(list(current_), id);
    if (!current) return false;
    Item next = *current;
    change(next);
    next.id = id;  // the item stays the same item
    if (next == *current) return false;
    pushUndo();
    modify([&](EditorValues& v) { *findByID(list(v.edit), id) = std::move(next); });
    return true;
}

bool EditorState::addOverlay(VideoOverlayClip overlay) {
    if (findByID(values_.edit.overlays.videoOverlays, overlay.id)) return false;
    pushUndo();
    modify([&](EditorValues& v) {
        clearSelections(v);
        v.selectedVideoOverlayID = overlay.id;
        v.edit.overlays.videoOverlays.push_back(makeVideoOverlayClip(std::move(overlay)));
    });
    return true;
}

bool EditorState::updateOverlay(const Uuid& id, const std::function<void(VideoOverlayClip&)>& change) {
    return updateItem<VideoOverlayClip>(
        [](Edit & e) -> auto& { return e.overlays.videoOverlays; }, id,
        [&](VideoOverlayClip& overlay) {
            change(overlay);
            overlay = makeVideoOverlayClip(std::move(overlay));
        });
}

bool EditorState::removeOverlay(const Uuid& id) {
    if (!findByID(values_.edit.overlays.videoOverlays, id)) return false;
    pushUndo();
    modify([&](EditorValues& v) {
        std::erase_if(v.edit.overlays.videoOverlays, [&](const VideoOverlayClip& overlay) { return overlay.id == id; });
        if (v.selectedVideoOverlayID == id) v.selectedVideoOverlayID.reset();
    });
    return true;
}

bool EditorState::addVoiceClip(AudioClip clip) {
    if (findByID(values_.edit.audio.voiceClips, clip.id)) return false;
    pushUndo();
    modify([&](EditorValues& v) {
        clearSelections(v);
        v.selectedClipID = clip.id;
        v.edit.audio.voiceClips.push_back(std::move(clip));
    });
    return true;
}

bool EditorState::updateVoiceClip(const Uuid& id, const std::function<void(AudioClip&)>& change) {
    return updateItem<AudioClip>(
        [](Edit & e) -> auto& { return e.audio.voiceClips; }, id, change);
}

bool EditorState::removeVoiceClip(const Uuid& id) {
    if (!findByID(values_.edit.audio.voiceClips, id)) return false;
    pushUndo();
    modify([&](EditorValues& v) {
        std::erase_if(v.edit.audio.voiceClips, [&](const AudioClip& clip) { return clip.id == id; });
        if (v.selectedClipID == id) v.selectedClipID.reset();
    });
    return true;
}

// --- Speed ramps and mutes ----------------------------------------------------------------------

bool EditorState::addSpeedRamp(double length, double speed) {
    const auto& v = values_;
    const double start = std::max(v.currentTime, v.edit.timeline.trimStart);
    double end = std::min(start + length, v.edit.timeline.trimEnd);
    if (end - start < kMinimumRampLength) return false;
    for (const auto& ramp : v.edit.timeline.speedRamps) {
        if (ramp.start <= start && start < ramp.end) return false;
    }
    for (const auto& ramp : v.edit.timeline.speedRamps) {
        if (ramp.start > start && ramp.start < end) end = ramp.start;
    }
    if (end - start < kMinimumRampLength) return false;

    pushUndo();
    SpeedRamp ramp;
    ramp.start = start;
    ramp.end = end;
    ramp.speed = std::clamp(speed, kMinimumRampSpeed, kMaximumRampSpeed);
    modify([&](EditorValues& values) {
        values.edit.timeline.speedRamps.push_back(ramp);
        sortByStart(values.edit.timeline.speedRamps);
        values.selectedSpeedRampID = ramp.id;
    });
    return true;
}

bool EditorState::addMute(double start, double end) {
    if (!(start < end)) return false;
    pushUndo();
    MuteRegion mute;
    mute.start = start;
    mute.end = end;
    modify([&](EditorValues& v) {
        v.edit.audio.muteRegions.push_back(mute);
        sortByStart(v.edit.audio.muteRegions);
        clearSelections(v);
        v.selectedMuteID = mute.id;
    });
    return true;
}

bool EditorState::removeSelectedMute() {
    if (!values_.selectedMuteID || !findByID(values_.edit.audio.muteRegions, *values_.selectedMuteID)) return false;
    pushUndo();
    modify([&](EditorValues& v) {
        const Uuid id = *v.selectedMuteID;
        std::erase_if(v.edit.audio.muteRegions, [&](const MuteRegion& mute) { return mute.id == id; });
        v.selectedMuteID.reset();
    });
    return true;
}

// --- Styling ------------------------------------------------------------------------------------

void EditorState::setBackground(BackgroundStyle style) {
    undoableSet([&](EditorValues& v) { v.edit.frame.background = style; });
}

void EditorState::setCustomBackground(const std::filesystem::path& image) {
    undoableSet([&](EditorValues& v) {
        v.edit.frame.background = BackgroundStyle::customImage;
        v.edit.frame.customBackgroundPath = image;
    });
}

void EditorState::setInset(double inset) {
    undoableSet([&](EditorValues& v) { v.edit.frame.inset = inset; });
}

void EditorState::setCornerRadius(double radius) {
    undoableSet([&](EditorValues& v) { v.edit.frame.cornerRadius = std::max(radius, 0.0); });
}

void EditorState::setCursorVisualStyle(CursorVisualStyle style) {
    undoableSet([&](EditorValues& v) { applyCursorVisualStyle(v.edit.cursor, style); });
}

void EditorState::setCursorClickAnimationStyle(CursorClickAnimationStyle style) {
    undoableSet(
        [&](EditorValues& v) { v.edit.cursor.cursorClickAnimationStyle = normalizedClickAnimationStyle(style); });
}

void EditorState::setCursorIconSymbol(const std::string& symbol) {
    undoableSet([&](EditorValues& v) { v.edit.cursor.cursorIconSymbol = normalizedCursorIconSymbol(symbol); });
}

void EditorState::setShowCursorRing(bool show) {
    undoableSet([&](EditorValues& v) { v.edit.cursor.showCursorRing = show; });
}

void EditorState::setShowWindowChrome(bool show) {
    undoableSet([&](EditorValues& v) { v.edit.frame.showWindowChrome = show; });
}

void EditorState::setChromeStyle(WindowChromeStyle style) {
    undoableSet([&](EditorValues& v) { v.edit.frame.chromeStyle = style; });
}

void EditorState::setWindowTitle(const std::string& title) {
    undoableSet([&](EditorValues& v) { v.edit.frame.windowTitle = title; });
}

void EditorState::setExportAspect(ExportAspectRatio aspect) {
    undoableSet([&](EditorValues& v) { v.edit.frame.exportAspect = aspect; });
}

void EditorState::setCropRect(std::optional<Rect> crop) {
    undoableSet([&](EditorValues& v) { v.edit.frame.cropRect = crop; });
}

void EditorState::setRecordingFrame(std::optional<Rect> frame) {
    undoableSet([&](EditorValues& v) { v.edit.frame.recordingFrame = frame; });
}

void EditorState::setAnnotationEnabled(const Uuid& id, bool enabled) {
    undoableSet([&](EditorValues& v) {
        if (auto* annotation = findByID(v.edit.cursor.annotations, id)) annotation->enabled = enabled;
    });
}

void EditorState::setShowCaptions(bool show) {
    modify([&](EditorValues& v) { v.edit.captions.showCaptions = show; });
}

// --- Media import -------------------------------------------------------------------------------

bool EditorState::insertImportedMedia(ImportedMediaKind kind, const std::filesystem::path& file, double duration) {
    switch (kind) {
        case ImportedMediaKind::video:
            return appendClip(file.filename().string(), duration);
        case ImportedMediaKind::audio: {
            if (!(duration > 0)) return false;
            AudioClip clip;
            clip.startTime = values_.currentTime;
            clip.duration = duration;
            clip.path = file;
            clip.label = file.stem().string();
            return addVoiceClip(std::move(clip));
        }
        case ImportedMediaKind::image: {
            VideoOverlayClip overlay;
            overlay.startTime = values_.currentTime;
            overlay.duration = duration > 0 ? duration : kDefaultPictureDuration;
            overlay.path = file;
            overlay.label = "Logo";
            overlay.mediaKind = VideoOverlayClip::MediaKind::image;
            // A logo sits small in the top-right corner until the user moves it.
            overlay.normalizedFrame = Rect{0.8, 0.05, 0.15, 0.15};
            return addOverlay(std::move(overlay));
        }
    }
    return false;
}

// --- Loading ------------------------------------------------------------------------------------

void EditorState::setMeasuredDuration(double duration) {
    modify(
        [&](EditorValues& v) {
            v.edit.timeline.duration = duration;
            // The clip placed at opening could not know the video's length; it stands for the whole
            // video, so it grows with the measurement. Clips the user shaped are left alone.
            if (v.edit.timeline.clips.size() == 1) {
                Clip& clip = v.edit.timeline.clips.front();
                if (clip.sourceStart == 0 && clip.headOffset == 0 && clip.sourceEnd <= kUnmeasuredClipLength &&
                    clip.sourceFile == v.videoPath.filename().string() && clip.sourceEnd < duration) {
                    clip.sourceEnd = duration;
                }
            }
            if (v.edit.timeline.trimEnd == 0) v.edit.timeline.trimEnd = duration;
        },
        ChangeSource::loading);
    durationKnown.emit(duration);
}

void EditorState::setMeasuredVideoSize(Size size) {
    modify([&](EditorValues& v) { v.edit.frame.videoSize = size; }, ChangeSource::loading);
}

}  // namespace orvane
