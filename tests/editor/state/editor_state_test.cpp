#include "editor/editor_state.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

TEST(EditorStateUndo, KeepsTheNewestEightyStepsAndDropsDuplicates) {
    EditorState state(Uuid::random(), "/rec/screen.mp4");
    for (int i = 1; i <= 81; ++i) state.setInset(0.01 * i);
    EXPECT_EQ(state.undoStack().size(), EditorState::maxUndoDepth);
    state.pushUndo();
    state.pushUndo();
    EXPECT_EQ(state.undoStack().size(), EditorState::maxUndoDepth);
}

}  // namespace
}  // namespace orvane
