#include "model/edit.h"

namespace orvane {

void applyCursorVisualStyle(CursorEdit& cursor, CursorVisualStyle style) {
    cursor.cursorVisualStyle = style;
    cursor.showCursorRing = style == CursorVisualStyle::ring;
}

CursorClickAnimationStyle normalizedClickAnimationStyle(CursorClickAnimationStyle style) {
    return style == CursorClickAnimationStyle::brush ? CursorClickAnimationStyle::pulse : style;
}

}  // namespace orvane
