#pragma once

#include <memory>

#include "editor/scene_snapshot_builder.h"
#include "model/scene_render_snapshot.h"

namespace orvane {

class EditorState;

// The scene the preview draws: the open edit over its whole clip layout rather than the export's
// trim window (the user can play and scrub outside the trim), with the camera and cursor sampled
// over that range. `track` is the screen track the export of the same edit would use.
std::shared_ptr<const SceneRenderSnapshot> makePreviewScene(const EditorState& state, ScreenTrackSource track);

}  // namespace orvane
