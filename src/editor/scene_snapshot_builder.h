#pragma once

#include <filesystem>
#include <optional>
#include <vector>

#include "editor/editor_settings.h"
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

// Where the screen track that frames and sound are laid out by comes from: the edit's clip list, or
// (with the layer-model setting on) the resolved screen layer of a composition document built
// from it, which floors negative head gaps and empties reversed clips.
enum class ScreenTrackSource { clipList, resolvedScreenLayer };
ScreenTrackSource screenTrackSource(const EditorSettings& settings);

// The stretch of the edit a snapshot covers: the export's trim, or the whole clip layout for the
// preview, which plays and scrubs outside the trim too.
enum class SnapshotRange { trim, wholeLayout };

// Copies the open edit and samples its camera and cursor at 60 Hz over `range`, as an export does
// when it starts (a whole-layout snapshot's trim is set to the layout). Clip sources resolve
// against the screen video's folder. The snapshot's clips are the screen track `track` gives, so
// exports, single frames and the audio mix all lay out the same track.
SceneRenderSnapshot makeSceneRenderSnapshot(const EditorState& state,
                                            std::optional<std::filesystem::path> aiVoiceoverPath = std::nullopt,
                                            ScreenTrackSource track = ScreenTrackSource::clipList,
                                            SnapshotRange range = SnapshotRange::trim);

}  // namespace orvane
