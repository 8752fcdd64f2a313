#include "editor/editor_sidecar.h"

#include "editor/editor_state.h"

namespace orvane {

ProjectSidecar makeProjectSidecar(const EditorState& state, std::string_view exportKind) {
    const auto& values = state.values();
    return makeProjectSidecar(values.edit, values.videoPath, values.lastAppliedRemoteUpdatedAt, exportKind);
}

void applyProjectSidecar(const ProjectSidecar& sidecar, EditorState& state) {
    state.modify(
        [&](EditorValues& values) {
            applyProjectSidecar(sidecar, values.edit);
            if (sidecar.lastAppliedRemoteUpdatedAt) {
                values.lastAppliedRemoteUpdatedAt = sidecar.lastAppliedRemoteUpdatedAt;
            }
            values.sidecarApplied = true;
        },
        ChangeSource::loading);
}

}  // namespace orvane
