#include "playback/preview_scene.h"

#include <algorithm>

#include "editor/editor_state.h"
#include "editor/scene_snapshot_builder.h"
#include "model/camera/camera_samples.h"
#include "model/camera/zoom_camera.h"
#include "model/time_mapping.h"

namespace orvane {

std::shared_ptr<const SceneRenderSnapshot> makePreviewScene(const EditorState& state) {
    EditorValues v = state.values();
    double end = 0;
    for (const ClipRange& range : clipLayout(v.edit.timeline.clips)) end = std::max(end, range.compositionEnd);
    v.edit.timeline.trimStart = 0;
    v.edit.timeline.trimEnd = end;

    CameraInputs inputs;
    inputs.zoomRegions = v.edit.timeline.zoomRegions;
    if (state.cursorTrack) inputs.cursorTrack = state.cursorTrack->points;
    inputs.clips = v.edit.timeline.clips;
    inputs.cameraSmoothing = v.edit.timeline.cameraSmoothing;
    inputs.cinematicTracker = state.cinematicTracker.get();

    SceneSnapshotSources sources;
    sources.clipBaseDirectory = v.videoPath.parent_path();
    sources.cameraSamples = cameraSamples(inputs, 0, end);
    sources.cursorSamples = cursorSamples(inputs, 0, end);
    return std::make_shared<const SceneRenderSnapshot>(makeSceneRenderSnapshot(v, std::move(sources)));
}

}  // namespace orvane
