#pragma once

#include <filesystem>
#include <optional>
#include <vector>

#include "model/scene_render_snapshot.h"

namespace orvane {

struct EditorValues;
class EditorState;

// What the editor values do not hold but a snapshot needs.
struct SceneSnapshotSources {
    std::filesystem::path clipBaseDirectory;
    std::optional<std::filesystem::path> aiVoiceoverPath;
    std::vector<CameraSample> cameraSamples;  // the 60 Hz camera path over the trim
    std::vector<CursorSample> cursorSamples;  // the 60 Hz cursor path over the trim
};

// Copies the edit into a snapshot. The caller supplies the sampled paths.
SceneRenderSnapshot makeSceneRenderSnapshot(const EditorValues& values, SceneSnapshotSources sources);

// Copies the open edit and samples its camera and cursor at 60 Hz over the trim, as an export does
// when it starts. Clip sources resolve against the screen video's folder.
SceneRenderSnapshot makeSceneRenderSnapshot(const EditorState& state,
                                            std::optional<std::filesystem::path> aiVoiceoverPath = std::nullopt);

}  // namespace orvane
