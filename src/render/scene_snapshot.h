#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "editor/camera_samples.h"
#include "model/edit.h"

namespace orvane {

struct EditorValues;
class EditorState;

// Everything one render job reads, copied once when the job starts so later edits never reach
// frames already queued: the edit, and the camera and cursor paths sampled from it. Normalised values
// (focus points, cursor samples, overlay frames, crops) are fractions of the recorded frame with the
// origin at the top-left.
struct SceneRenderSnapshot {
    Edit edit;
    std::filesystem::path videoPath;
    std::filesystem::path clipBaseDirectory;  // clip source files resolve against it
    std::optional<std::filesystem::path> aiVoiceoverPath;
    std::vector<CameraSample> cameraSamples;  // composition time, sorted by t
    std::vector<CursorSample> cursorSamples;  // composition time, sorted by t

    bool operator==(const SceneRenderSnapshot&) const = default;
};

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

// A rectangle or crop counts only when present with positive width and height.
bool isSet(const std::optional<Rect>& rect);

}  // namespace orvane
