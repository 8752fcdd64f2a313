#include "editor/editor_session.h"

#include <algorithm>
#include <map>
#include <stdexcept>

#include "base/log.h"
#include "base/log_areas.h"
#include "editor/editor_autosave.h"
#include "editor/scene_snapshot_builder.h"
#include "media/media_probe.h"

namespace orvane {

namespace fs = std::filesystem;

EditorSession::EditorSession(const RecordingFolder& folder, const RecordingMeta& meta, const EditorSettings& settings,
                             Access access)
    : folder_(folder),
      editLock_(access == Access::edit ? std::optional<FileLock>(folder.editLockFile()) : std::nullopt),
      settings_(settings),
      state_(std::make_unique<EditorState>(meta.id, folder.screenVideoFile(meta))) {
    state_->sourceKind = meta.sourceKind;
    // With telemetry and no cursor burned into the video, the renderer draws the cursor itself; a saved
    // edit may still say otherwise when its sidecar is applied below.
    state_->sourceCursorCanBeReplaced = meta.hasCursor && !meta.capturedSystemCursor.value_or(false);
    state_->modify([&](EditorValues& v) { v.edit.cursor.drawsSyntheticCursor = state_->sourceCursorCanBeReplaced; },
                   ChangeSource::loading);
    loadResult_ = loadEditorProject(*state_);

    auto fields = autoZoomFields();
    const bool hasTelemetryFile = meta.hasCursor && fs::exists(folder_.cursorFile());
    fields.autoZoomStatus = openingAutoZoomStatus(hasTelemetryFile, meta.clickCaptureActive);

    if (auto telemetry = readCursorTelemetry(folder_, meta)) {
        state_->cursorTrack = *telemetry;
        // Zooms restored from the saved edit are the user's: the track is installed without making
        // new ones, and the status reports the zooms that are there.
        const auto& v = state_->values();
        if (v.sidecarApplied && !v.edit.timeline.zoomRegions.empty()) {
            fields = adoptCursorTrack(std::move(fields), telemetry->points, telemetry->sampleHz, folder_.cursorFile());
        } else {
            fields.cursorTrackPath = folder_.cursorFile();
            fields = afterTelemetryLoaded(std::move(fields), deriveFromTelemetry(telemetry->points),
                                          autoZoomPreferences(), v.edit.timeline.cameraSmoothing);
        }
    }
    apply(fields);

    // Linux has no cinematic-video service, so only the measurements remain to arrive: the size the
    // frame is laid out with, and the duration.
    const auto info = probeMedia(state_->values().videoPath);
    if (info && info->displaySize) state_->setMeasuredVideoSize(*info->displaySize);
    if (const auto duration = info ? playableDuration(*info) : std::nullopt) {
        state_->setMeasuredDuration(*duration);
        keepWithinSources(*duration);
        apply(afterDurationKnown(autoZoomFields(), *duration, autoZoomPreferences(),
                                 state_->values().edit.timeline.cameraSmoothing));
    } else {
        log::warning(log_area::kEditor, "could not measure %s", state_->values().videoPath.c_str());
    }
}

void EditorSession::keepWithinSources(double screenLength) {
    // Each clip plays at most what its file holds; a file that cannot be measured is left to the
    // overall limit.
    std::map<std::string, double, std::less<>> lengths{{state_->values().videoPath.filename().string(), screenLength}};
    const auto lengthOf = [&](const std::string& name) {
        auto found = lengths.find(name);
        if (found == lengths.end()) {
            const auto info = probeMedia(folder_.directory / name);
            const auto measured = info ? playableDuration(*info) : std::nullopt;
            found = lengths.emplace(name, measured.value_or(kMaximumEditLength)).first;
        }
        return found->second;
    };
    state_->modify(
        [&](EditorValues& v) {
            for (auto& clip : v.edit.timeline.clips) {
                const double length = lengthOf(clip.sourceFile);
                clip.sourceStart = std::clamp(clip.sourceStart, 0.0, length);
                clip.sourceEnd = std::clamp(clip.sourceEnd, 0.0, length);
            }
        },
        ChangeSource::loading);
    const double length = state_->clipsDuration();
    state_->modify([&](EditorValues& v) { keepEditWithin(v.edit, length); }, ChangeSource::loading);
}

AutoZoomPreferences EditorSession::autoZoomPreferences() const {
    return {settings_.autoZoomOnClicks, settings_.autoZoomCinematic};
}

AutoZoomFields EditorSession::autoZoomFields() const {
    const auto& v = state_->values();
    AutoZoomFields fields;
    fields.zoomRegions = v.edit.timeline.zoomRegions;
    fields.selectedZoomID = v.selectedZoomID;
    fields.annotations = v.edit.cursor.annotations;
    fields.cursorInteractions = v.edit.cursor.cursorInteractions;
    if (state_->cursorTrack) fields.cursorTrack = state_->cursorTrack->points;
    fields.cursorTrackPath = v.edit.cursor.cursorTrackPath;
    fields.cinematicTracker = state_->cinematicTracker;
    fields.isCinematic = v.isCinematic;
    fields.duration = v.edit.timeline.duration;
    fields.clips = v.edit.timeline.clips;
    fields.automaticZoomsSuppressed = v.edit.timeline.automaticZoomsSuppressed;
    fields.autoZoomsApplied = v.autoZoomsApplied;
    fields.autoZoomStatus = v.autoZoomStatus;
    return fields;
}

void EditorSession::apply(const AutoZoomFields& fields) {
    if (fields.cursorTrack) {
        const auto sampleHz = state_->cursorTrack ? state_->cursorTrack->sampleHz : 60;
        state_->cursorTrack = CursorTelemetry{*fields.cursorTrack, sampleHz};
    }
    state_->modify([&](EditorValues& v) {
        v.edit.cursor.cursorTrackPath = fields.cursorTrackPath;
        v.edit.timeline.zoomRegions = fields.zoomRegions;
        v.selectedZoomID = fields.selectedZoomID;
        v.edit.cursor.annotations = fields.annotations;
        v.edit.cursor.cursorInteractions = fields.cursorInteractions;
        v.isCinematic = fields.isCinematic;
        v.edit.timeline.duration = fields.duration;
        v.edit.timeline.clips = fields.clips;
        v.edit.timeline.automaticZoomsSuppressed = fields.automaticZoomsSuppressed;
        v.autoZoomsApplied = fields.autoZoomsApplied;
        v.autoZoomStatus = fields.autoZoomStatus;
    });
}

bool EditorSession::rerunAutoZooms() {
    const auto file = folder_.cursorFile();
    const auto telemetry = readCursorTelemetryFile(file);
    auto result = reloadCursorTelemetry(autoZoomFields(), telemetry, file, autoZoomPreferences(),
                                        state_->values().edit.timeline.cameraSmoothing);
    if (!result) return false;
    state_->cursorTrack = telemetry;
    apply(*result);
    return true;
}

CameraInputs EditorSession::cameraInputs() const {
    const auto& v = state_->values();
    CameraInputs inputs;
    inputs.zoomRegions = v.edit.timeline.zoomRegions;
    if (state_->cursorTrack) inputs.cursorTrack = state_->cursorTrack->points;
    inputs.clips = v.edit.timeline.clips;
    inputs.cameraSmoothing = v.edit.timeline.cameraSmoothing;
    return inputs;
}

bool EditorSession::save(std::string* error) {
    if (!editLock_) throw std::logic_error("a recording opened for viewing was asked to save its edit");
    return saveEditorProject(*state_, settings_.unifiedLayerModel, std::chrono::system_clock::now(), true, error);
}

void EditorSession::saveOrThrow() {
    std::string reason;
    if (save(&reason)) return;
    std::string message = "Couldn't save the edit to " + folder_.sidecarFile().string();
    if (!reason.empty()) message += ": " + reason;
    throw std::runtime_error(message);
}

SceneRenderSnapshot EditorSession::renderSnapshot(std::optional<std::filesystem::path> aiVoiceoverPath) const {
    return makeSceneRenderSnapshot(*state_, std::move(aiVoiceoverPath), screenTrackSource(settings_));
}

}  // namespace orvane
