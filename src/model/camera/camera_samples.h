#pragma once

#include <cstdint>
#include <vector>

#include "model/camera/zoom_camera.h"

namespace orvane {

// Camera and cursor paths are sampled this many times per second of edit for rendering.
inline constexpr double kCameraSampleRate = 60.0;

// A camera state with the composition time it was evaluated at.
struct CameraSample {
    double t = 0;
    double scale = 1;
    double focusX = 0.5;
    double focusY = 0.5;

    bool operator==(const CameraSample&) const = default;
};

// A raw (unsmoothed) cursor position with its composition time.
struct CursorSample {
    double t = 0;
    double x = 0;
    double y = 0;

    bool operator==(const CursorSample&) const = default;
};

// Grid intervals over the trim: max(ceil(max(trimEnd - trimStart, 0) × 60), 1). The grid has one
// more point than this, both ends included.
std::int64_t cameraSampleIntervals(double trimStart, double trimEnd);

// The camera at trimStart + i / 60 for every grid point, sorted by t.
std::vector<CameraSample> cameraSamples(const CameraInputs& inputs, double trimStart, double trimEnd);

// The linearly interpolated cursor at every grid point whose time maps to a recording time with a
// cursor position; other points are skipped.
std::vector<CursorSample> cursorSamples(const CameraInputs& inputs, double trimStart, double trimEnd);

}  // namespace orvane
