#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/iso8601.h"
#include "base/signal.h"
#include "base/uuid.h"
#include "editor/auto_zoom_status.h"
#include "model/cursor_telemetry.h"
#include "model/edit.h"
#include "model/recording_meta.h"

namespace orvane {

// Held by the automatic-zoom code; the editor only keeps it alive.
class CinematicTracker;

// Every observable value of the editor: the edit itself, and how it is being edited (playhead,
// selection, progress). Views read it through EditorState::values() and every change goes through
// EditorState::modify() (or an operation built on it), which notifies observers once. Defaults are
// the values before the recording is loaded.
struct EditorValues {
    Edit edit;
    std::filesystem::path videoPath;  // the screen video

    double currentTime = 0;  // playhead, composition time
    bool isPlaying = false;
    std::optional<Uuid> seekRequestID;  // set to a new id to ask the player to seek
    std::optional<std::string> loadError;
    double nominalFrameRate = 30;

    std::optional<Uuid> selectedZoomID;
    std::optional<Uuid> selectedSpeedRampID;
    std::optional<Uuid> selectedMuteID;
    std::optional<Uuid> selectedClipID;  // selected audio clip
    std::optional<Uuid> selectedScreenClipID;
    std::optional<Uuid> selectedVideoOverlayID;
    bool isRecordingFrameSelected = false;

    bool isGeneratingCaptions = false;
    bool audioEnhancementBusy = false;
    std::optional<SystemTime> lastSavedAt;
    bool isSaving = false;
    bool sidecarApplied = false;
    // The newest remote edit applied; saved with the project so a reopened editor does not apply it again.
    std::optional<SystemTime> lastAppliedRemoteUpdatedAt;

    bool isCinematic = false;
    bool autoZoomsApplied = false;
    AutoZoomStatus autoZoomStatus;

    bool operator==(const EditorValues&) const = default;
};

// True when two value sets differ in anything the project sidecar stores, so the playhead,
// selection and status indicators do not trigger saves.
bool persistedValuesDiffer(const EditorValues& a, const EditorValues& b);

// Where a change came from. Loading (the default clip, the sidecar, the measured duration) is not
// the user's work, so autosave may decline to overwrite a sidecar it could not read because of it.
enum class ChangeSource { edit, loading };

// What the change notification says.
struct EditorChange {
    bool persisted = false;  // a value stored in the sidecar changed
    ChangeSource source = ChangeSource::edit;
};

// What can be selected on the timeline or canvas (at most one at a time).
enum class EditorSelectionKind { zoom, mute, audioClip, screenClip, overlay, recordingFrame };

// What an imported file became after conversion.
enum class ImportedMediaKind { video, audio, image };

// The single observable object behind the editor window for one recording. Lives on the main
// executor; every method is called there.
class EditorState {
public:
    static constexpr std::size_t maxUndoDepth = 80;
    // Length of the default clip placed before the screen video has been measured.
    static constexpr double kUnmeasuredClipLength = 0.1;

    // What undo restores: the undoable fields of the edit (the others stay at their defaults), and
    // each annotation's enabled flag. Speed ramps, cuts, captions, volumes, music, cursor overrides,
    // the ring style, camera smoothing and the face-camera settings are deliberately not part of it.
    struct Snapshot {
        Edit edit;
        std::vector<std::pair<Uuid, bool>> annotationsEnabled;  // one per annotation, in order

        bool operator==(const Snapshot&) const = default;
    };

    EditorState(Uuid recordingID, std::filesystem::path videoPath);
    EditorState(const EditorState&) = delete;
    EditorState& operator=(const EditorState&) = delete;

    const Uuid& recordingID() const { return recordingID_; }
    const EditorValues& values() const { return values_; }

    // The one way to change observable values: `change` edits them in place, then observers hear
    // of it once, and only when something actually changed. Records no undo step; undoable
    // callers call pushUndo() first. Must not be called from inside an observer.
    void modify(const std::function<void(EditorValues&)>& change, ChangeSource source = ChangeSource::edit);

    // Fires after every effective modify().
    Signal<EditorChange> changed;

    // Plain values: changing them notifies nobody.
    double requestedSeekTime = 0;  // target of the last seek request
    bool sourceCursorCanBeReplaced = false;
    std::optional<RecordingSourceKind> sourceKind;
    bool resumePlaybackAfterTimelineScrub = false;
    std::optional<CursorTelemetry> cursorTrack;
    std::shared_ptr<CinematicTracker> cinematicTracker;
    bool suppressesBackgroundPreRender = false;

    // --- Undo ---------------------------------------------------------------------------------
    Snapshot snapshot() const;
    // Records the current state unless it equals the last entry; keeps at most maxUndoDepth
    // entries (dropping the oldest) and empties the redo stack.
    void pushUndo();
    void undo();
    void redo();
    bool canUndo() const { return !undoStack_.empty(); }
    bool canRedo() const { return !redoStack_.empty(); }
    const std::vector<Snapshot>& undoStack() const { return undoStack_; }
    const std::vector<Snapshot>& redoStack() const { return redoStack_; }

    // --- Selection ------------------------------------------------------------------------------
    // Clears every other selection (not the speed-ramp one) and selects `id` of that kind; the
    // recording frame takes no id.
    void select(EditorSelectionKind kind, std::optional<Uuid> id = std::nullopt);
    void selectSpeedRamp(std::optional<Uuid> id);

    // --- Playhead -------------------------------------------------------------------------------
    // Moves the playhead and asks the player to seek there.
    void seek(double time);

    // --- Zooms ----------------------------------------------------------------------------------
    // A 10%-of-duration zoom (1.5...3 s) centred on the playhead, pushed past overlapping zooms.
    // Answers whether a zoom was added.
    bool addZoomAtPlayhead();
    // Not undoable (drag gestures record their own step). An unknown id changes nothing.
    void updateZoom(const Uuid& id, const std::function<void(ZoomRegion&)>& change);
    bool removeSelectedZoom();

    // --- Screen clips ---------------------------------------------------------------------------
    bool splitClip(const Uuid& id, double compositionTime);
    // Not undoable. Answer whether the value was accepted.
    bool setClipSourceStart(const Uuid& id, double sourceStart);
    bool setClipSourceEnd(const Uuid& id, double sourceEnd);
    bool setClipHeadOffset(const Uuid& id, double headOffset);
    bool moveClip(long from, long to);
    bool deleteClip(const Uuid& id);
    bool appendClip(const std::string& fileName, double duration);
    // Ripple-removes a composition range from every timed item; records no undo step itself.
    void removeTimeRange(double a, double b);

    // --- Timed items ----------------------------------------------------------------------------
    bool splitVoiceClip(const Uuid& id, double compositionTime);
    bool splitOverlay(const Uuid& id, double compositionTime);
    // Splits the selected audio clip, overlay or screen clip, else the screen clip under `t`.
    bool splitAtPlayhead(double compositionTime);

    // Undoable edits of one overlay or audio clip (move, resize, volume, ...). A change that leaves
    // the item as it was, or an unknown id, records nothing. Drag gestures call pushUndo() when they
    // begin and then use modify() directly.
    bool addOverlay(VideoOverlayClip overlay);
    bool updateOverlay(const Uuid& id, const std::function<void(VideoOverlayClip&)>& change);
    bool removeOverlay(const Uuid& id);
    bool addVoiceClip(AudioClip clip);
    bool updateVoiceClip(const Uuid& id, const std::function<void(AudioClip&)>& change);
    bool removeVoiceClip(const Uuid& id);

    // --- Speed ramps and mutes ------------------------------------------------------------------
    // The toolbar's "Add 2× at playhead" passes 5.0 s and 2.0.
    bool addSpeedRamp(double length, double speed);
    // Adds a mute over start...end (ignored unless start < end), selects it. Undoable.
    bool addMute(double start, double end);
    bool removeSelectedMute();

    // --- Styling (undoable setters; setting the current value records nothing) -------------------
    void setBackground(BackgroundStyle style);
    void setCustomBackground(const std::filesystem::path& image);
    void setInset(double inset);
    void setCornerRadius(double radius);
    void setCursorVisualStyle(CursorVisualStyle style);
    void setCursorClickAnimationStyle(CursorClickAnimationStyle style);
    void setCursorIconSymbol(const std::string& symbol);
    void setShowCursorRing(bool show);
    void setShowWindowChrome(bool show);
    void setChromeStyle(WindowChromeStyle style);
    void setWindowTitle(const std::string& title);
    void setExportAspect(ExportAspectRatio aspect);
    void setCropRect(std::optional<Rect> crop);
    void setRecordingFrame(std::optional<Rect> frame);
    void setAnnotationEnabled(const Uuid& id, bool enabled);
    // Not part of a snapshot, so not undoable.
    void setShowCaptions(bool show);

    // --- Media import ---------------------------------------------------------------------------
    // The last step of an import: `file` is already converted into the recording folder and
    // `duration` measured. A video is appended as a clip, an audio file becomes an audio clip at the
    // playhead, a picture becomes a "Logo" overlay at the playhead (shown for `duration`, 5 s when
    // not positive). Answers whether anything was inserted.
    bool insertImportedMedia(ImportedMediaKind kind, const std::filesystem::path& file, double duration);

    // --- Loading --------------------------------------------------------------------------------
    // The measured duration of the screen video arrived: sets `duration`, widens a default clip
    // that was placed before the length was known, and turns a trimEnd of 0 into the duration.
    // Hands the automatic-zoom code its turn through `durationKnown`.
    void setMeasuredDuration(double duration);
    // The screen video's size as decoded frames have it: the frame layout keeps its shape.
    void setMeasuredVideoSize(Size size);
    Signal<double> durationKnown;

    // The composition length of the clips: sum of headOffset + max(length, 0).
    double clipsDuration() const;

private:
    void restore(const Snapshot& snapshot);
    template <typename Apply>
    void undoableSet(Apply apply);
    template <typename Item>
    bool updateItem(std::vector<Item>& (*list)(Edit&), const Uuid& id, const std::function<void(Item&)>& change);

    Uuid recordingID_;
    EditorValues values_;
    std::vector<Snapshot> undoStack_;
    std::vector<Snapshot> redoStack_;
};

}  // namespace orvane
