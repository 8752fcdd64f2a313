#pragma once

// Applying a remote edit record to the open editor. A scalar replaces the local value when the
// sender named it in set_fields or when it differs from its neutral value (so a record that merely
// echoes defaults never undoes a local setting); lists replace the local list when named or
// non-empty. Remote edits are not undoable: they replace values without an undo step.

#include "editor/editor_state.h"
#include "editor/remote_edit_record.h"

namespace orvane {

// Numbers compared "within tolerance" with their neutral value use this.
inline constexpr double kRemoteEditTolerance = 1e-6;

// One change of the editor state (observers hear of it once, and only if something changed).
void applyRemoteEdits(EditorState& state, const VideoEditsOut& edits);

// The rules over the values themselves; `drawsSyntheticCursor` is the editor's plain flag.
void applyRemoteEdits(const VideoEditsOut& edits, EditorValues& values, bool& drawsSyntheticCursor);

}  // namespace orvane
