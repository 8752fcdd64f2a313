#pragma once

// Applying a remote edit record to the open editor: the fields the record applies (see
// VideoEditsOut::applies) replace the local values. Remote edits are not undoable: they replace
// values without an undo step.

#include "editor/editor_state.h"
#include "editor/remote_edit_record.h"

namespace orvane {

// One change of the editor state (observers hear of it once, and only if something changed).
void applyRemoteEdits(EditorState& state, const VideoEditsOut& edits);

// The rules over the values themselves.
void applyRemoteEdits(const VideoEditsOut& edits, Edit& edit);

}  // namespace orvane
