#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "editor/editor_sidecar.h"

namespace orvane {

class EditorState;

enum class SidecarLoadOutcome {
    absent,      // no sidecar.json: a fresh recording
    applied,     // read, decoded and applied
    unreadable,  // present but unreadable or undecodable: ignored, and left on disk as it is
};

struct EditorLoadResult {
    SidecarLoadOutcome sidecar = SidecarLoadOutcome::absent;
    std::string sidecarProblem;  // why an unreadable sidecar was ignored
    bool captionsLoaded = false;
};

// sidecar.json of a recording folder; nothing when it is missing, unreadable or undecodable.
std::optional<ProjectSidecar> loadProjectSidecar(const std::filesystem::path& recordingFolder);

// Opens the edit of the recording in the screen video's folder: one default clip covering the
// screen video (0.1 s until its length is known), then sidecar.json, then captions.json. Problems
// with either file are logged and leave the values loaded so far.
EditorLoadResult loadEditorProject(EditorState& state);

}  // namespace orvane
