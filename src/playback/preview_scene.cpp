#include "playback/preview_scene.h"

#include "editor/editor_state.h"

namespace orvane {

std::shared_ptr<const SceneRenderSnapshot> makePreviewScene(const EditorState& state, ScreenTrackSource track) {
    return std::make_shared<const SceneRenderSnapshot>(
        makeSceneRenderSnapshot(state, std::nullopt, track, SnapshotRange::wholeLayout));
}

}  // namespace orvane
