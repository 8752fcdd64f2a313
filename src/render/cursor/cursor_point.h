#pragma once

#include <optional>
#include <span>

#include "model/camera/cursor_lookup.h"
#include "model/scene_render_snapshot.h"
#include "render/cursor/cursor_canvas.h"

namespace orvane {

// The cursor at `t`: the bracketing samples found by binary search and interpolated linearly (a gap
// shorter than a millisecond counts as one), held at the first and last sample. Nothing without
// samples.
std::optional<CursorPosition> cursorSampleAt(std::span<const CursorSample> samples, double t);

// A normalised point of the recorded frame on the canvas. With a set crop (width and height above
// 0) a point outside it has no place, because that part of the recording is not shown; a point
// inside is taken relative to the crop first.
std::optional<CanvasPoint> mapToContent(CursorPosition point, const std::optional<Rect>& cropRect,
                                        const CursorLayerFrame& frame);

// Both steps at once: where the cursor is drawn at `t`, if anywhere.
std::optional<CanvasPoint> cursorCanvasPoint(const SceneRenderSnapshot& inputs, double t,
                                             const CursorLayerFrame& frame);

}  // namespace orvane
