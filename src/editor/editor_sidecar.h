#pragma once

#include <string_view>

#include "model/project_sidecar.h"

namespace orvane {

class EditorState;

// The record of the editor's current edit.
ProjectSidecar makeProjectSidecar(const EditorState& state, std::string_view exportKind = kDraftExportKind);

// Replaces the editor's values with those the sidecar holds (one change notification, marked as
// loading, no undo step) and sets `sidecarApplied`.
void applyProjectSidecar(const ProjectSidecar& sidecar, EditorState& state);

}  // namespace orvane
