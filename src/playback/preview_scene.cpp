#include "playback/preview_scene.h"

#include "editor/editor_state.h"
#include "editor/scene_snapshot_builder.h"

namespace orvane {

std::shared_ptr<const SceneRenderSnapshot> makePreviewScene(const EditorState& state) {
    return std::make_shared<const SceneRenderSnapshot>(
        makeSceneRenderSnapshot(state, std::nullopt, ScreenTrackSource::clipList, SnapshotRange::wholeLayout));
}

}  // namespace orvane
