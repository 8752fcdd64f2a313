#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "model/camera/camera_samples.h"
#include "model/edit.h"

namespace orvane {

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

// A rectangle or crop counts only when present with positive width and height.
inline bool isSet(const std::optional<Rect>& rect) { return rect && rect->width > 0 && rect->height > 0; }

}  // namespace orvane
