#include "editor/remote_edit_apply.h"

#include <algorithm>

#include "base/log.h"
#include "base/log_areas.h"
#include "model/edit_fields.h"

namespace orvane {

void applyRemoteEdits(const VideoEditsOut& edits, Edit& edit) {
    const auto applies = [&](std::string_view key) { return edits.applies.contains(key); };
    // A custom background needs a picture; without one the local background stays.
    const auto localBackground = edit.frame.background;
    const bool keepBackground =
        edits.values.frame.background == BackgroundStyle::customImage && !edit.frame.customBackgroundPath;
    forEachEditField(
        [&](const auto& field, const auto& from, auto& to) {
            if (!field.traits.remoteKey.empty() && applies(field.traits.remoteKey)) field.of(to) = field.of(from);
        },
        edits.values, edit);
    if (keepBackground) edit.frame.background = localBackground;

    // Styles go through the same rules as the toolbar: the ring follows the visual style, a retired
    // animation is replaced, an unknown symbol becomes the default one.
    auto& cursor = edit.cursor;
    if (applies("cursor_visual_style")) applyCursorVisualStyle(cursor, cursor.cursorVisualStyle);
    if (applies("cursor_click_animation_style")) {
        cursor.cursorClickAnimationStyle = normalizedClickAnimationStyle(cursor.cursorClickAnimationStyle);
    }
    if (applies("cursor_icon_symbol")) cursor.cursorIconSymbol = normalizedCursorIconSymbol(cursor.cursorIconSymbol);
    const auto byStart = [](const auto& a, const auto& b) { return a.start < b.start; };
    if (applies("cursor_style_overrides")) {
        std::stable_sort(cursor.cursorStyleOverrides.begin(), cursor.cursorStyleOverrides.end(),
                         [](const auto& a, const auto& b) { return a.startTime < b.startTime; });
    }
    if (applies("speed_ramps"))
        std::stable_sort(edit.timeline.speedRamps.begin(), edit.timeline.speedRamps.end(), byStart);
}

void applyRemoteEdits(EditorState& state, const VideoEditsOut& edits) {
    const double length = state.clipsDuration();
    state.modify([&](EditorValues& values) {
        applyRemoteEdits(edits, values.edit);
        // Remote times are kept within the composition once its length is known, as saved ones are.
        if (values.edit.timeline.duration > 0) keepEditWithin(values.edit, length);
    });
    log::info(log_area::kRemoteEdits, "applied remote edits of video %s", edits.videoID.c_str());
}

}  // namespace orvane
