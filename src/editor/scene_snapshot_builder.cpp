#include "editor/scene_snapshot_builder.h"

#include <algorithm>
#include <utility>

#include "editor/editor_state.h"
#include "model/camera/zoom_camera.h"
#include "model/composition_resolver.h"
#include "model/time_mapping.h"

namespace orvane {

SceneRenderSnapshot makeSceneRenderSnapshot(const EditorValues& v, SceneSnapshotSources sources) {
    SceneRenderSnapshot s;
    s.edit = v.edit;
    s.videoPath = v.videoPath;
    s.clipBaseDirectory = std::move(sources.clipBaseDirectory);
    s.aiVoiceoverPath = std::move(sources.aiVoiceoverPath);
    s.cameraSamples = std::move(sources.cameraSamples);
    s.cursorSamples = std::move(sources.cursorSamples);
    return s;
}

ScreenTrackSource screenTrackSource(const EditorSettings& settings) {
    return settings.unifiedLayerModel ? ScreenTrackSource::resolvedScreenLayer : ScreenTrackSource::clipList;
}

SceneRenderSnapshot makeSceneRenderSnapshot(const EditorState& state,
                                            std::optional<std::filesystem::path> aiVoiceoverPath,
                                            ScreenTrackSource track, SnapshotRange range) {
    EditorValues v = state.values();
    if (track == ScreenTrackSource::resolvedScreenLayer) {
        v.edit.timeline.clips = clipsFromResolvedScreenLayer(v.edit.timeline.clips);
    }
    if (range == SnapshotRange::wholeLayout) {
        double end = 0;
        for (const ClipRange& clip : clipLayout(v.edit.timeline.clips)) end = std::max(end, clip.compositionEnd);
        v.edit.timeline.trimStart = 0;
        v.edit.timeline.trimEnd = end;
    }
    CameraInputs inputs;
    inputs.zoomRegions = v.edit.timeline.zoomRegions;
    if (state.cursorTrack) inputs.cursorTrack = state.cursorTrack->points;
    inputs.clips = v.edit.timeline.clips;
    inputs.cameraSmoothing = v.edit.timeline.cameraSmoothing;
    inputs.cinematicTracker = state.cinematicTracker.get();

    SceneSnapshotSources sources;
    sources.clipBaseDirectory = v.videoPath.parent_path();
    sources.aiVoiceoverPath = std::move(aiVoiceoverPath);
    sources.cameraSamples = cameraSamples(inputs, v.edit.timeline.trimStart, v.edit.timeline.trimEnd);
    sources.cursorSamples = cursorSamples(inputs, v.edit.timeline.trimStart, v.edit.timeline.trimEnd);
    return makeSceneRenderSnapshot(v, std::move(sources));
}

}  // namespace orvane
