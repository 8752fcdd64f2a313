#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "base/folder_lock.h"

#include "editor/auto_zoom.h"
#include "editor/editor_loading.h"
#include "editor/editor_settings.h"
#include "editor/editor_state.h"
#include "model/camera/zoom_camera.h"
#include "model/recording_files.h"
#include "model/scene_render_snapshot.h"

namespace orvane {

// One recording opened for editing the way the editor window opens it, without a window: the
// default clip, the sidecar and captions, the cursor telemetry with its clicks, the measured
// duration and the automatic zooms. Headless commands change the state, then save().
class EditorSession {
public:
    // `edit` holds the recording's edit lock from before the sidecar is read until the session
    // ends, so a change made through it is applied to what is on disk and no other writer's change
    // made meanwhile is lost. `view` takes no lock and never writes.
    enum class Access { view, edit };

    EditorSession(const RecordingFolder& folder, const RecordingMeta& meta, const EditorSettings& settings,
                  Access access = Access::view);
    EditorSession(const EditorSession&) = delete;
    EditorSession& operator=(const EditorSession&) = delete;

    EditorState& state() { return *state_; }
    const EditorState& state() const { return *state_; }
    const EditorLoadResult& loadResult() const { return loadResult_; }
    const RecordingFolder& folder() const { return folder_; }
    const EditorSettings& settings() const { return settings_; }

    // Re-runs automatic zooms from cursor.json (lifting a suppression). Answers false, changing
    // nothing, when the track holds no clicks. Throws CursorTelemetryFileError.
    bool rerunAutoZooms();

    // The inputs the camera reads, pointing into the current state.
    CameraInputs cameraInputs() const;

    // The edit as frames, exports and the audio mix render it, with the screen track the
    // settings choose (see ScreenTrackSource).
    SceneRenderSnapshot renderSnapshot(std::optional<std::filesystem::path> aiVoiceoverPath = std::nullopt) const;

    // Writes sidecar.json (and composition.json with the layer model on). Answers whether it was
    // written, with the reason in `error` when it was not and one is known. A session opened for
    // viewing throws std::logic_error.
    bool save(std::string* error = nullptr);
    // save(), throwing std::runtime_error "Couldn't save the edit to <file>: <reason>" when it
    // was not written.
    void saveOrThrow();

private:
    // Once the screen video is measured: clips within their files, every time within the composition.
    void keepWithinSources(double screenLength);
    AutoZoomFields autoZoomFields() const;
    void apply(const AutoZoomFields& fields);
    AutoZoomPreferences autoZoomPreferences() const;

    RecordingFolder folder_;
    // Taken first: it must be held while the sidecar is read.
    std::optional<FileLock> editLock_;
    EditorSettings settings_;
    std::unique_ptr<EditorState> state_;
    EditorLoadResult loadResult_;
};

}  // namespace orvane
