#pragma once

#include <filesystem>
#include <memory>

#include "editor/auto_zoom.h"
#include "editor/editor_loading.h"
#include "editor/editor_state.h"
#include "model/camera/zoom_camera.h"
#include "model/recording_files.h"

namespace orvane {

class Preferences;

// One recording opened for editing the way the editor window opens it, without a window: the
// default clip, the sidecar and captions, the cursor telemetry with its clicks, the measured
// duration and the automatic zooms. Headless commands change the state, then save().
class EditorSession {
public:
    EditorSession(const RecordingFolder& folder, const RecordingMeta& meta, const Preferences& preferences);
    EditorSession(const EditorSession&) = delete;
    EditorSession& operator=(const EditorSession&) = delete;

    EditorState& state() { return *state_; }
    const EditorState& state() const { return *state_; }
    const EditorLoadResult& loadResult() const { return loadResult_; }
    const RecordingFolder& folder() const { return folder_; }

    // Re-runs automatic zooms from cursor.json (lifting a suppression). Answers false, changing
    // nothing, when the track holds no clicks. Throws CursorTelemetryFileError.
    bool rerunAutoZooms();

    // The inputs the camera reads, pointing into the current state.
    CameraInputs cameraInputs() const;

    // Writes sidecar.json (and composition.json when that preference is on). Answers whether it was written.
    bool save();

private:
    AutoZoomFields autoZoomFields() const;
    void apply(const AutoZoomFields& fields);
    AutoZoomPreferences autoZoomPreferences() const;

    RecordingFolder folder_;
    const Preferences& preferences_;
    std::unique_ptr<EditorState> state_;
    EditorLoadResult loadResult_;
};

}  // namespace orvane
